// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The incidents and the watched time in history.db, written by the history
// store on its connection inside each batch's transaction.
//
// An incident's row is keyed by its start (StartMs, unique): every event
// that carries the incident as it stands (site-down, the rule and the steps
// while it is open, restarts-paused, site-back) replaces the row and its
// steps, so the table always holds the incident as far as it got. A program
// killed with an incident open leaves the row open (no end). The next run,
// in its first batch that is committed (before any row of its own), ends
// such a row at the last moment that program was watching and marks it
// unfinished; an incident taken up again after a restart (the same StartMs)
// reopens its row and goes on in it.
//
// Watched time: echoes no further apart than kWatchedGapMs make one span;
// each run starts a span of its own, so the time a program was not running
// never counts as watched.

#include "events/monitor_event.h"
#include "observe/history/incident_types.h"
#include "observe/history/sqlite_db.h"

#include <map>
#include <memory>
#include <optional>
#include <string_view>

namespace pingvard {

class TIncidentWriter {
public:
    // A batch's transaction has begun: the tables on a new connection, and
    // until a batch of this run is committed, the incidents an earlier run
    // left open are ended (so a batch rolled back does it again, and one
    // committed never finds a row of this run to end).
    bool BeginBatch(TSqliteDb& db);
    // One event of the batch.
    bool Write(TSqliteDb& db, const TMonitorEvent& event);
    // After the batch's events: the watched span.
    bool EndBatch(TSqliteDb& db);
    // The batch's transaction was committed.
    void Committed() noexcept;
    // Incidents that ended and watched spans that ended before beforeMs;
    // inside the caller's transaction.
    bool Prune(TSqliteDb& db, int64_t beforeMs);
    // The incident the monitor took up again at its start: the ending of
    // those an earlier run left open writes it back as open.
    void KeepOpen(std::shared_ptr<const TIncident> incident) { m_keepOpen = std::move(incident); }
    // The connection closes: its statements go, the tables are looked at
    // again on the next (the spans stay in memory).
    void Forget() noexcept;

private:
    TSqliteStatement& Stmt(TSqliteDb& db, std::string_view sql);
    static bool CreateTables(TSqliteDb& db);
    bool WriteIncident(TSqliteDb& db, const TIncident& incident);
    bool WriteSpan(TSqliteDb& db);
    void Watched(int64_t ms);

    std::map<std::string_view, TSqliteStatement> m_stmts;
    bool m_tablesMade = false;     // on this connection, committed
    bool m_closedLeftOpen = false; // committed, this run
    std::shared_ptr<const TIncident> m_keepOpen;
    std::optional<TWatchedSpan> m_span; // this run's current span
    bool m_touched = false;             // echoes of this batch went into m_span
};

} // namespace pingvard
