// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Queries on the history database for the graphs and `pingvard --history`. A
// reader has its own read-only connection, so it may run on any one thread
// while the writer works; a range reads one contiguous stretch of the
// (host, time) key, so 90 days of one-minute points come back in well under a
// second.

#include "observe/history/history_types.h"
#include "observe/history/sqlite_db.h"

#include <string>
#include <vector>

namespace pingvard {

// The finest resolution whose retention still covers `from` and that keeps the
// number of points reasonable for a graph: single echoes up to 6 h back within
// the last 48 h, one-minute points within the last 90 days, hours beyond.
THistoryResolution ChooseResolution(int64_t fromMs, int64_t toMs, int64_t nowMs) noexcept;

class THistoryReader {
public:
    explicit THistoryReader(std::string fileName) : m_fileName(std::move(fileName)) {}

    // False with LastError() set when there is no readable history file.
    bool Open();
    const std::string& LastError() const noexcept { return m_error; }

    // Every host ever recorded, in the order first seen.
    std::vector<THistoryHost> Hosts();
    // The host's points with times in [fromMs, toMs), oldest first. Minutes and
    // hours not yet rolled up are folded from the single echoes on the fly, so
    // the last point is always current.
    std::vector<THistoryPoint> Points(const std::string& host, int64_t fromMs, int64_t toMs,
                                      THistoryResolution resolution);
    // Recovery events with times in [fromMs, toMs), oldest first.
    std::vector<THistoryRecord> Events(int64_t fromMs, int64_t toMs);

private:
    bool ReadRaw(int64_t host, int64_t fromMs, int64_t toMs, std::vector<THistorySample>& out);
    bool Fail();

    std::string m_fileName;
    std::string m_error;
    TSqliteDb m_db;
    bool m_hasSpread = false; // the aggregates have their percentile columns
};

} // namespace pingvard
