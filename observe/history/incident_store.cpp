// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/incident_store.h"

#include <algorithm>
#include <chrono>
#include <sqlite3.h>
#include <string>

namespace pingvard {

namespace {

// Times in milliseconds since 1970 UTC, as event.t. hosts: the hosts down,
// one per line (no configured name can hold a line break). cured: the
// action that cured it, NULL when none did. A step's end_ms is NULL while it
// runs (or when its program was killed during it).
constexpr const char* kTables = R"sql(
CREATE TABLE IF NOT EXISTS incident(id INTEGER PRIMARY KEY, start_ms INTEGER NOT NULL UNIQUE,
                                    end_ms INTEGER, duration_ms INTEGER,
                                    unfinished INTEGER NOT NULL DEFAULT 0,
                                    cause TEXT NOT NULL, link TEXT NOT NULL,
                                    hosts TEXT NOT NULL, cured TEXT);
CREATE INDEX IF NOT EXISTS incident_end ON incident(end_ms);
CREATE TABLE IF NOT EXISTS incident_step(incident INTEGER NOT NULL, n INTEGER NOT NULL,
                                         action TEXT NOT NULL, kind TEXT NOT NULL,
                                         start_ms INTEGER NOT NULL, end_ms INTEGER,
                                         ok INTEGER NOT NULL, outcome TEXT NOT NULL,
                                         PRIMARY KEY(incident, n)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS watched(start_ms INTEGER PRIMARY KEY, end_ms INTEGER NOT NULL);
)sql";

constexpr std::string_view kUpsertIncident =
    "INSERT INTO incident(start_ms, end_ms, duration_ms, unfinished, cause, link, hosts, cured) "
    "VALUES(?1, ?2, ?3, 0, ?4, ?5, ?6, ?7) ON CONFLICT(start_ms) DO UPDATE SET "
    "end_ms = excluded.end_ms, duration_ms = excluded.duration_ms, unfinished = 0, "
    "cause = excluded.cause, link = excluded.link, hosts = excluded.hosts, cured = excluded.cured";
constexpr std::string_view kIncidentId = "SELECT id FROM incident WHERE start_ms = ?1";
constexpr std::string_view kDeleteSteps = "DELETE FROM incident_step WHERE incident = ?1";
constexpr std::string_view kInsertStep =
    "INSERT INTO incident_step VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)";
constexpr std::string_view kUpsertSpan =
    "INSERT INTO watched(start_ms, end_ms) VALUES(?1, ?2) "
    "ON CONFLICT(start_ms) DO UPDATE SET end_ms = max(end_ms, excluded.end_ms)";
// The last moment the run that left the incident open was watching: the end
// of the latest span that reached its start, never before its start nor
// before its last step.
constexpr const char* kCloseLeftOpen = R"sql(
UPDATE incident SET unfinished = 1, end_ms = max(start_ms,
    coalesce((SELECT max(end_ms) FROM watched WHERE watched.end_ms >= incident.start_ms), 0),
    coalesce((SELECT max(max(start_ms, coalesce(end_ms, 0))) FROM incident_step
              WHERE incident_step.incident = incident.id), 0))
  WHERE end_ms IS NULL;
UPDATE incident SET duration_ms = end_ms - start_ms WHERE unfinished = 1 AND duration_ms IS NULL;
)sql";
constexpr std::string_view kPruneSteps =
    "DELETE FROM incident_step WHERE incident IN (SELECT id FROM incident WHERE end_ms < ?1)";
constexpr std::string_view kPruneIncidents = "DELETE FROM incident WHERE end_ms < ?1";
constexpr std::string_view kPruneSpans = "DELETE FROM watched WHERE end_ms < ?1";

std::optional<int64_t> OrNull(int64_t ms) {
    return ms == 0 ? std::nullopt : std::optional<int64_t>(ms);
}

std::string Lines(const std::vector<std::string>& values) {
    std::string out;
    for (const std::string& value : values) {
        out += (out.empty() ? "" : "\n") + value;
    }
    return out;
}

int64_t EventMs(const TMonitorEvent& event) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(event.Time.time_since_epoch())
        .count();
}

} // namespace

bool TIncidentWriter::CreateTables(TSqliteDb& db) {
    return db.Exec(kTables);
}

TSqliteStatement& TIncidentWriter::Stmt(TSqliteDb& db, std::string_view sql) {
    auto it = m_stmts.find(sql);
    if (it == m_stmts.end()) {
        it = m_stmts.emplace(sql, db.Prepare(sql)).first;
    }
    return it->second;
}

bool TIncidentWriter::BeginBatch(TSqliteDb& db) {
    return (m_tablesMade || CreateTables(db)) &&
           (m_closedLeftOpen ||
            (db.Exec(kCloseLeftOpen) && (!m_keepOpen || WriteIncident(db, *m_keepOpen))));
}

void TIncidentWriter::Committed() noexcept {
    m_tablesMade = true;
    m_closedLeftOpen = true;
}

void TIncidentWriter::Forget() noexcept {
    m_stmts.clear();
    m_tablesMade = false;
}

bool TIncidentWriter::WriteIncident(TSqliteDb& db, const TIncident& incident) {
    TSqliteStatement& upsert = Stmt(db, kUpsertIncident);
    upsert.Bind(1, incident.StartMs)
        .Bind(2, OrNull(incident.EndMs))
        .Bind(3, incident.Open() ? std::nullopt
                                 : std::optional<int64_t>(incident.DurationMs(incident.EndMs)))
        .Bind(4, CauseName(incident.Cause))
        .Bind(5, incident.Link)
        .Bind(6, Lines(incident.HostsDown));
    if (!incident.CuredBy.empty()) {
        upsert.Bind(7, incident.CuredBy);
    }
    if (upsert.Step() != SQLITE_DONE) {
        return false;
    }
    TSqliteStatement& select = Stmt(db, kIncidentId);
    if (select.Bind(1, incident.StartMs).Step() != SQLITE_ROW) {
        return false;
    }
    const int64_t id = select.Int(0);
    select.Reset();
    if (Stmt(db, kDeleteSteps).Bind(1, id).Step() != SQLITE_DONE) {
        return false;
    }
    int64_t n = 0;
    for (const TIncidentStep& step : incident.Steps) {
        if (Stmt(db, kInsertStep)
                .Bind(1, id)
                .Bind(2, n++)
                .Bind(3, step.Action)
                .Bind(4, step.Kind)
                .Bind(5, step.StartMs)
                .Bind(6, OrNull(step.EndMs))
                .Bind(7, int64_t{step.Ok})
                .Bind(8, step.Outcome)
                .Step() != SQLITE_DONE) {
            return false;
        }
    }
    return true;
}

bool TIncidentWriter::WriteSpan(TSqliteDb& db) {
    return !m_span || Stmt(db, kUpsertSpan).Bind(1, m_span->FromMs).Bind(2, m_span->ToMs).Step() ==
                          SQLITE_DONE;
}

// A batch written again after a fault brings its echoes again, and a wall
// clock set back brings earlier ones: an echo before the span starts one of
// its own, and the reader takes the union of the spans.
void TIncidentWriter::Watched(int64_t ms) {
    m_touched = true;
    if (m_span && ms >= m_span->FromMs && ms - m_span->ToMs <= kWatchedGapMs) {
        m_span->ToMs = std::max(m_span->ToMs, ms);
        return;
    }
    m_span = TWatchedSpan{ms, ms};
}

bool TIncidentWriter::Write(TSqliteDb& db, const TMonitorEvent& event) {
    if (event.Kind == TMonitorEventKind::Echo) {
        const std::optional<TWatchedSpan> before = m_span;
        Watched(EventMs(event));
        if (before && m_span->FromMs != before->FromMs) {
            // The stretch before the gap, as far as this batch took it.
            return Stmt(db, kUpsertSpan).Bind(1, before->FromMs).Bind(2, before->ToMs).Step() ==
                   SQLITE_DONE;
        }
        return true;
    }
    return !event.Incident || WriteIncident(db, *event.Incident);
}

bool TIncidentWriter::EndBatch(TSqliteDb& db) {
    if (!m_touched) {
        return true;
    }
    m_touched = false;
    return WriteSpan(db);
}

bool TIncidentWriter::Prune(TSqliteDb& db, int64_t beforeMs) {
    // Maintenance may come before the first batch of a new file.
    return (m_tablesMade || CreateTables(db)) &&
           Stmt(db, kPruneSteps).Bind(1, beforeMs).Step() == SQLITE_DONE &&
           Stmt(db, kPruneIncidents).Bind(1, beforeMs).Step() == SQLITE_DONE &&
           Stmt(db, kPruneSpans).Bind(1, beforeMs).Step() == SQLITE_DONE;
}

} // namespace pingvard
