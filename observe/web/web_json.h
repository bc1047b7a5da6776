// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The JSON answers of the status page's API (docs/web.md has their fields):
// pure functions of plain values, so that the shapes are tested without a
// listener or a monitor.

#include "observe/history/history_types.h"
#include "observe/history/uptime.h"
#include "observe/web/web_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

// GET /api/status. canRestart: a token is set, so the page offers the button.
std::string StatusJson(const TWebStatus& status, bool canRestart);

// GET /api/incidents: newest first; coveredFromMs: since when the list is
// complete (days before it are unknown to the page's uptime); days: the
// uptime per local day as the history reckons it, oldest first (none: the
// page reckons from the incidents).
std::string IncidentsJson(const std::vector<TIncident>& incidents, int64_t coveredFromMs,
                          int64_t nowMs, const std::vector<TUptime>* days = nullptr);

struct THistoryAnswer {
    THistoryHost Host;
    std::string Since; // as asked ("24h")
    int64_t FromMs = 0, ToMs = 0;
    THistoryResolution Resolution = THistoryResolution::Minute;
    int64_t BucketMs = 0; // what one point covers
    std::vector<THistoryPoint> Points;
};
// GET /api/history.
std::string HistoryJson(const THistoryAnswer& answer);

// POST /api/restart.
std::string RestartJson(const TRestartAnswer& answer);

// "90s", "30m", "1h", "24h", "7d": the span in ms, within 1 minute and
// kMaxHistorySpanDays; nothing for anything else.
inline constexpr int64_t kMaxHistorySpanDays = 400;
std::optional<int64_t> ParseSpan(std::string_view text);

// The points folded into buckets of bucketMs (a multiple of what each point
// covers) from fromMs: counts added, the lowest minimum, the highest maximum,
// and as the median the median of the points' medians weighted by their
// answered echoes (the exact one is gone once minutes are kept).
std::vector<THistoryPoint> FoldPoints(const std::vector<THistoryPoint>& points, int64_t fromMs,
                                      int64_t bucketMs);

} // namespace pingvard
