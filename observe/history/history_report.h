// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The output of `pingvard --history [HOST] [--since 24h] [--csv]`: one row per
// point of each host at the resolution the range calls for, with the recovery
// events in between, oldest first, in local time.

#include "observe/history/history_reader.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace pingvard {

struct THistoryReportRequest {
    std::string Host{}; // an address or a display name (any case); empty = every host
    std::chrono::seconds Since{std::chrono::hours(24)};
    bool Csv = false;
};

// One CSV field: as it is, or quoted with its quotes doubled when it holds a
// comma, a quote or a line break.
std::string CsvField(const std::string& value);

// "90s", "30m", "24h", "7d", "2w", or plain seconds; nullopt for anything else
// (also zero, negative or absurdly large values).
std::optional<std::chrono::seconds> ParseSince(std::string_view text);

// Writes the report for [nowMs - Since, nowMs). False, with error set and
// nothing written, when there is no history file or no such host.
//
// Text:  time, host, echoes, lost, min/median/max round trip in ms, aligned;
//        an event row names its kind and what happened.
// CSV:   header "time,kind,host,name,echoes,lost,min_ms,median_ms,max_ms,action,ok,text,
//        p10_ms,p25_ms,p75_ms,p90_ms" (the percentiles of a minute or an hour, empty
//        for single echoes and for aggregates written before they were kept);
//        time in ISO 8601 with the UTC offset; kind is "echo", "minute" or
//        "hour" for figures and the event's name otherwise (host-down, host-up,
//        rule-fired, action-started, action-outcome, guard-changed); empty
//        fields where a value does not apply; quoted as RFC 4180 says.
bool WriteHistoryReport(THistoryReader& reader, const THistoryReportRequest& request, int64_t nowMs,
                        std::ostream& out, std::string& error);

} // namespace pingvard
