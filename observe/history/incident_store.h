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
// when it first opens the file, ends such a row at the last moment that
// program was watching and marks it unfinished; an incident taken up again
// after a restart (the same StartMs) reopens its row and goes on in it.
//
// Watched time: echoes no further apart than kWatchedGapMs make one span;
// each run starts a span of its own, so the time a program was not running
// never counts as watched.

#include "events/monitor_event.h"
#include "observe/history/incident_types.h"
#include "observe/history/sqlite_db.h"

#include <map>
#include <optional>
#include <string_view>

namespace pingvard {

class TIncidentWriter {
public:
    // The tables, if missing; false with the connection's error.
    static bool CreateTables(TSqliteDb& db);

    // Once a run, before its first batch: ends the incidents an earlier run
    // left open. Later calls do nothing.
    bool CloseLeftOpen(TSqliteDb& db);
    // One event of a batch, inside its transaction.
    bool Write(TSqliteDb& db, const TMonitorEvent& event);
    // After the batch's events, inside its transaction: the watched span.
    bool EndBatch(TSqliteDb& db);
    // Incidents that ended and watched spans that ended before beforeMs.
    bool Prune(TSqliteDb& db, int64_t beforeMs);
    // The connection closes: its statements go (the spans stay in memory).
    void Forget() noexcept { m_stmts.clear(); }

private:
    TSqliteStatement& Stmt(TSqliteDb& db, std::string_view sql);
    bool WriteIncident(TSqliteDb& db, const TIncident& incident);
    bool WriteSpan(TSqliteDb& db);
    void Watched(int64_t ms);

    std::map<std::string_view, TSqliteStatement> m_stmts;
    bool m_closedLeftOpen = false;
    std::optional<TWatchedSpan> m_span; // this run's current span
    bool m_touched = false;             // echoes of this batch went into m_span
};

} // namespace pingvard
