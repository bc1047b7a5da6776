// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/incident_reader.h"

#include <sqlite3.h>

namespace pingvard {

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        out.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return out;
}

} // namespace

bool TIncidentReader::Open() {
    if (m_db.IsOpen()) {
        return true;
    }
    m_error = m_db.OpenForReading(m_fileName, "SELECT count(*) FROM sqlite_master");
    return m_error.empty();
}

bool TIncidentReader::HasTables() {
    if (!m_hasTables) {
        m_hasTables = m_db.QueryInt("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                    "name IN ('incident', 'incident_step', 'watched')")
                          .value_or(0) == 3;
    }
    return *m_hasTables;
}

bool TIncidentReader::ReadSteps(TIncidentRecord& record) {
    TSqliteStatement q =
        m_db.Prepare("SELECT action, kind, start_ms, end_ms, ok, outcome FROM incident_step "
                     "WHERE incident = ?1 ORDER BY n");
    q.Bind(1, record.Id);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        record.Incident.Steps.push_back({q.Text(0), q.Text(1), q.Int(2),
                                         q.OptionalInt(3).value_or(0), q.Int(4) != 0, q.Text(5)});
    }
    return rc == SQLITE_DONE;
}

std::vector<TIncidentRecord> TIncidentReader::Query(std::string_view where, int64_t value) {
    std::vector<TIncidentRecord> out;
    if (!Open() || !HasTables()) {
        return out;
    }
    // One read transaction: the steps belong to the rows as they were read.
    m_db.Exec("BEGIN");
    TSqliteStatement q = m_db.Prepare(
        "SELECT id, start_ms, end_ms, unfinished, cause, link, hosts, cured FROM incident WHERE " +
        std::string(where) + " ORDER BY start_ms");
    q.Bind(1, value);
    while (q.Step() == SQLITE_ROW) {
        TIncidentRecord record;
        record.Id = q.Int(0);
        record.Incident.StartMs = q.Int(1);
        record.Incident.EndMs = q.OptionalInt(2).value_or(0);
        record.Unfinished = q.Int(3) != 0;
        record.Incident.Cause = CauseFromName(q.Text(4)).value_or(TSiteCause::Unknown);
        record.Incident.Link = q.Text(5);
        record.Incident.HostsDown = SplitLines(q.Text(6));
        record.Incident.CuredBy = q.Text(7); // NULL reads as empty: not cured
        out.push_back(std::move(record));
    }
    for (TIncidentRecord& record : out) {
        ReadSteps(record);
    }
    m_db.Exec("COMMIT");
    return out;
}

std::vector<TIncidentRecord> TIncidentReader::Incidents(int64_t sinceMs) {
    return Query("end_ms IS NULL OR end_ms >= ?1", sinceMs);
}

std::optional<TIncidentRecord> TIncidentReader::Incident(int64_t startMs) {
    std::vector<TIncidentRecord> found = Query("start_ms = ?1", startMs);
    if (found.empty()) {
        return std::nullopt;
    }
    return std::move(found.front());
}

std::vector<TWatchedSpan> TIncidentReader::Watched(int64_t fromMs, int64_t toMs) {
    std::vector<TWatchedSpan> out;
    if (!Open() || !HasTables()) {
        return out;
    }
    TSqliteStatement q = m_db.Prepare("SELECT start_ms, end_ms FROM watched "
                                      "WHERE end_ms >= ?1 AND start_ms < ?2 ORDER BY start_ms");
    q.Bind(1, fromMs).Bind(2, toMs);
    while (q.Step() == SQLITE_ROW) {
        out.push_back({q.Int(0), q.Int(1)});
    }
    return out;
}

TUptimeSummary TIncidentReader::Uptime(int64_t nowMs) {
    const int64_t from = nowMs - 30 * kDayMs;
    const std::vector<TIncidentRecord> incidents = Incidents(from);
    const std::vector<TWatchedSpan> watched = Watched(from, nowMs);
    return SummariseUptime(incidents, watched, nowMs);
}

std::vector<TIncidentRecord> ReadIncidents(const std::string& fileName, int64_t sinceMs,
                                           std::string& error) {
    TIncidentReader reader(fileName);
    if (!reader.Open()) {
        error = reader.LastError();
        return {};
    }
    return reader.Incidents(sinceMs);
}

} // namespace pingvard
