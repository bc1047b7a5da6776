// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The share of time the site was up, from the incidents and the time the
// program was watching. Only watched time counts: a stretch without echoes
// (the program not running, the machine asleep) is neither up nor down. Of
// the watched time, what lies inside an incident is down, the rest up
// (degraded counts as up: the restart rule's condition did not hold). An
// open incident is down up to now, an unfinished one up to its end.

#include "observe/history/incident_types.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pingvard {

inline constexpr int64_t kDayMs = 24 * 3'600'000LL;

struct TUptime {
    int64_t FromMs = 0;
    int64_t ToMs = 0;
    int64_t WatchedMs = 0;
    int64_t DownMs = 0; // within the watched time
    // Up as a share of watched, 0..1; none when nothing was watched.
    std::optional<double> Share() const;
    bool operator==(const TUptime&) const = default;
};

// The last 24 hours, 7 days and 30 days up to the moment asked.
struct TUptimeSummary {
    TUptime Day;
    TUptime Week;
    TUptime Month;
};

// [fromMs, toMs); nowMs ends the open incidents.
TUptime ComputeUptime(std::span<const TIncidentRecord> incidents,
                      std::span<const TWatchedSpan> watched, int64_t fromMs, int64_t toMs,
                      int64_t nowMs);
TUptimeSummary SummariseUptime(std::span<const TIncidentRecord> incidents,
                               std::span<const TWatchedSpan> watched, int64_t nowMs);

// The local midnight that begins the day of ms (the TZ rules of the machine,
// so a day of a daylight-saving change has 23 or 25 hours).
int64_t LocalDayStart(int64_t ms);
// One entry per local day, oldest first, the last being today up to nowMs.
std::vector<TUptime> DailyUptime(std::span<const TIncidentRecord> incidents,
                                 std::span<const TWatchedSpan> watched, int days, int64_t nowMs);

} // namespace pingvard
