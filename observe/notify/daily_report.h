// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The daily report a channel may ask for (Events=daily-report): once a day,
// at a local time of day, the site's uptime over the last 24 hours and 7
// days and each incident of the last 24 hours, from history.db. Its id names
// the local day (daily-report-2026-12-09), so a restart around the report's
// time, or a report queued again, is one message. A history that is off or
// cannot be read still gives a report, saying so.

#include "observe/history/incident_types.h"
#include "observe/history/uptime.h"
#include "observe/notify/notification.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pingvard {

// A report the program was not running for is made when it starts, up to
// this late; past that the next day's is nearer.
inline constexpr int64_t kDailyReportGraceMs = 12 * 3'600'000LL;

// The report moment (ms since 1970) of the latest local day whose report
// time is at or before nowMs, if it is at most kDailyReportGraceMs ago.
std::optional<int64_t> DueDailyReport(int64_t nowMs, int32_t minuteOfDay);
// The first report moment after nowMs.
int64_t NextDailyReport(int64_t nowMs, int32_t minuteOfDay);

struct TDailyHistory {
    std::string Problem;                    // empty: read; else why there are no figures
    std::vector<TIncidentRecord> Incidents; // open or ended in the last 24 h
    TUptimeSummary Uptime;
};

// historyFile empty: the history is off.
TDailyHistory ReadDailyHistory(const std::string& historyFile, int64_t nowMs);

// reportMs names the day; nowMs is when it is made (open incidents end there).
TNotification MakeDailyReport(int64_t reportMs, int64_t nowMs, const std::string& site,
                              const TDailyHistory& history);

} // namespace pingvard
