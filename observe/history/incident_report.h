// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The output of `pingvard --incidents [--since 30d] [--csv]`: each incident
// still open or ended within the span, oldest first, with its steps, then
// the share of time up over the last 24 hours, 7 days and 30 days, in local
// time.

#include "observe/history/incident_reader.h"

#include <chrono>
#include <ostream>
#include <string>

namespace pingvard {

struct TIncidentReportRequest {
    std::chrono::seconds Since{std::chrono::hours(30 * 24)};
    bool Csv = false;
};

// False, with error set and nothing written, when there is no history file.
//
// Text:  one line per incident (start, end or how it stands, duration, cause
//        with the hosts down, what cured it), one indented line per step,
//        and "Uptime while watched: 99.31% last 24 h, ..." last.
// CSV:   header "record,start,end,duration_s,state,cause,link,hosts,cured_by,
//        action,kind,ok,text,watched_s,down_s,up_percent"; record is
//        "incident", "step" (after its incident) or "uptime" (three rows:
//        the last 24 h, 7 d, 30 d); state is "ended", "open" or "unfinished";
//        hosts separated by blanks; times in ISO 8601 with the UTC offset;
//        empty fields where a value does not apply (cured_by when not cured,
//        up_percent when nothing was watched); quoted as RFC 4180 says.
bool WriteIncidentReport(TIncidentReader& reader, const TIncidentReportRequest& request,
                         int64_t nowMs, std::ostream& out, std::string& error);

// "99.31%", "100%", or "no data" when nothing was watched: the summary's and
// the history window's figure.
std::string UptimeText(const TUptime& uptime);

} // namespace pingvard
