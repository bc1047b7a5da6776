// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/history_reader.h"

#include <algorithm>
#include <sqlite3.h>

namespace pingvard {

namespace {

constexpr int64_t kHourMs = 3'600'000;

int64_t FloorTo(int64_t value, int64_t step) noexcept {
    const int64_t q = value / step;
    return (value % step < 0 ? q - 1 : q) * step;
}

} // namespace

THistoryResolution ChooseResolution(int64_t fromMs, int64_t toMs, int64_t nowMs) noexcept {
    if (toMs - fromMs <= 6 * kHourMs && fromMs >= nowMs - 48 * kHourMs) {
        return THistoryResolution::Raw;
    }
    if (fromMs >= nowMs - 90 * 24 * kHourMs) {
        return THistoryResolution::Minute;
    }
    return THistoryResolution::Hour;
}

bool THistoryReader::Fail() {
    m_error = m_db.Error();
    m_db.Exec("ROLLBACK");
    return false;
}

bool THistoryReader::Open() {
    if (m_db.IsOpen()) {
        return true;
    }
    m_error = m_db.OpenForReading(m_fileName, "SELECT count(*) FROM host");
    if (!m_error.empty()) {
        return false;
    }
    // A file of an older version (no writer has upgraded it yet) has no spread.
    m_hasSpread = m_db.QueryInt("SELECT count(*) FROM pragma_table_info('hour') WHERE name = 'p90'")
                      .value_or(0) > 0;
    return true;
}

std::vector<THistoryHost> THistoryReader::Hosts() {
    std::vector<THistoryHost> hosts;
    if (!Open()) {
        return hosts;
    }
    TSqliteStatement q = m_db.Prepare("SELECT address, name FROM host ORDER BY id");
    while (q.Step() == SQLITE_ROW) {
        hosts.push_back({q.Text(0), q.Text(1)});
    }
    return hosts;
}

bool THistoryReader::ReadRaw(int64_t host, int64_t fromMs, int64_t toMs,
                             std::vector<THistorySample>& out) {
    TSqliteStatement q =
        m_db.Prepare("SELECT t, rtt FROM sample WHERE host = ?1 AND t >= ?2 AND t < ?3 ORDER BY t");
    q.Bind(1, host).Bind(2, fromMs * 1000).Bind(3, toMs * 1000);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        out.push_back({q.Int(0), q.OptionalInt(1)});
    }
    return rc == SQLITE_DONE;
}

std::vector<THistoryPoint> THistoryReader::Points(const std::string& address, int64_t fromMs,
                                                  int64_t toMs, THistoryResolution resolution) {
    std::vector<THistoryPoint> points;
    if (!Open() || !m_db.Exec("BEGIN")) { // one snapshot: the mark and the rows agree
        return points;
    }
    TSqliteStatement hostQuery = m_db.Prepare("SELECT id FROM host WHERE address = ?1");
    if (hostQuery.Bind(1, address).Step() != SQLITE_ROW) {
        m_db.Exec("COMMIT");
        return points;
    }
    const int64_t host = hostQuery.Int(0);
    hostQuery.Reset();
    std::vector<THistorySample> samples;
    const int64_t bucketMs = BucketMs(resolution);
    if (resolution == THistoryResolution::Raw) {
        if (!ReadRaw(host, fromMs, toMs, samples)) {
            Fail();
            return {};
        }
        m_db.Exec("COMMIT");
        return Aggregate(samples, 1);
    }
    const bool hourly = resolution == THistoryResolution::Hour;
    const int64_t start = FloorTo(fromMs, bucketMs);
    TSqliteStatement markQuery = m_db.Prepare("SELECT value FROM meta WHERE key = ?1");
    int64_t mark = start;
    if (markQuery.Bind(1, hourly ? "hour_done" : "minute_done").Step() == SQLITE_ROW) {
        mark = std::clamp(markQuery.Int(0), start, std::max(start, toMs));
        markQuery.Reset();
    }
    const std::string columns =
        m_hasSpread ? "t, n, lost, lo, med, hi, p10, p25, p75, p90" : "t, n, lost, lo, med, hi";
    TSqliteStatement q =
        m_db.Prepare("SELECT " + columns + (hourly ? " FROM hour" : " FROM minute") +
                     " WHERE host = ?1 AND t >= ?2 AND t < ?3");
    q.Bind(1, host).Bind(2, start / 1000).Bind(3, mark / 1000);
    points.reserve(static_cast<std::size_t>(std::max<int64_t>(0, toMs - start) / bucketMs + 1));
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        THistoryPoint& p = points.emplace_back();
        p.TimeMs = q.Int(0) * 1000;
        p.Count = static_cast<uint32_t>(q.Int(1));
        p.Lost = static_cast<uint32_t>(q.Int(2));
        p.MinUs = q.OptionalInt(3);
        p.MedianUs = q.OptionalInt(4);
        p.MaxUs = q.OptionalInt(5);
        if (m_hasSpread) {
            const auto p10 = q.OptionalInt(6);
            const auto p25 = q.OptionalInt(7);
            const auto p75 = q.OptionalInt(8);
            const auto p90 = q.OptionalInt(9);
            if (p10 && p25 && p75 && p90) {
                p.Spread = THistorySpread{*p10, *p25, *p75, *p90};
            }
        }
    }
    if (rc != SQLITE_DONE || !ReadRaw(host, mark, toMs, samples)) {
        Fail();
        return {};
    }
    m_db.Exec("COMMIT");
    const std::vector<THistoryPoint> recent = Aggregate(samples, bucketMs);
    points.insert(points.end(), recent.begin(), recent.end());
    return points;
}

std::vector<THistoryRecord> THistoryReader::Events(int64_t fromMs, int64_t toMs) {
    std::vector<THistoryRecord> records;
    if (!Open()) {
        return records;
    }
    TSqliteStatement q =
        m_db.Prepare("SELECT t, kind, host, action, action_kind, ok, text FROM event "
                     "WHERE t >= ?1 AND t < ?2 ORDER BY t");
    q.Bind(1, fromMs).Bind(2, toMs);
    while (q.Step() == SQLITE_ROW) {
        THistoryRecord r;
        r.TimeMs = q.Int(0);
        r.Kind = KindFromName(q.Text(1)).value_or(TMonitorEventKind::StatusText);
        r.Host = q.Text(2);
        r.Action = q.Text(3);
        r.ActionKind = q.Text(4);
        r.Ok = q.Int(5) != 0;
        r.Text = q.Text(6);
        records.push_back(std::move(r));
    }
    return records;
}

} // namespace pingvard
