// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The incidents and the watched time as history.db holds them, for
// `pingvard --incidents`, the history window and the status page. A reader
// has its own read-only connection (as THistoryReader), so it may run on any
// one thread while the program writes; a file nobody writes is opened as it
// is, leaving nothing beside it.
//
//     TIncidentReader reader(fileName);
//     const auto incidents = reader.Incidents(nowMs - 30 * kDayMs);
//     const TUptimeSummary uptime = reader.Uptime(nowMs);   // see uptime.h

#include "observe/history/incident_types.h"
#include "observe/history/sqlite_db.h"
#include "observe/history/uptime.h"

#include <optional>
#include <string>
#include <vector>

namespace pingvard {

class TIncidentReader {
public:
    explicit TIncidentReader(std::string fileName) : m_fileName(std::move(fileName)) {}

    // False with LastError() set when there is no readable history file. A
    // file from before incidents were kept opens, and holds none.
    bool Open();
    const std::string& LastError() const noexcept { return m_error; }

    // The incidents still open or that ended at or after sinceMs, oldest
    // first, each with its steps.
    std::vector<TIncidentRecord> Incidents(int64_t sinceMs);
    // The incident that began at startMs (its row's key), if there is one.
    std::optional<TIncidentRecord> Incident(int64_t startMs);
    // The watched spans that reach into [fromMs, toMs), oldest first, as
    // recorded (they may overlap after the wall clock was set back).
    std::vector<TWatchedSpan> Watched(int64_t fromMs, int64_t toMs);
    // The day, week and month up to nowMs (uptime.h), from the same file.
    TUptimeSummary Uptime(int64_t nowMs);

private:
    bool HasTables();
    bool ReadSteps(TIncidentRecord& record);
    std::vector<TIncidentRecord> Query(std::string_view where, int64_t value);

    std::string m_fileName;
    std::string m_error;
    TSqliteDb m_db;
    std::optional<bool> m_hasTables;
};

// One call for callers that want a list and nothing else; empty when the file
// cannot be read (error says why).
std::vector<TIncidentRecord> ReadIncidents(const std::string& fileName, int64_t sinceMs,
                                           std::string& error);

} // namespace pingvard
