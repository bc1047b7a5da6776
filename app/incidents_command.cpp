// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/incidents_command.h"

#include "app/exit_status.h"
#include "config/ini_file.h"
#include "config/observe_settings.h"
#include "config/program_dir.h"
#include "net/tick_clock.h"
#include "observe/history/history_report.h"
#include "observe/history/incident_report.h"

#include <chrono>
#include <string>
#include <vector>

namespace pingvard {

int RunIncidentsCommand(const TCommandLine& options, std::ostream& out, std::ostream& err) {
    std::vector<std::string> problems;
    THistorySettings history;
    {
        TIniFile ini(ConfigFileName());
        history = ReadObserveSettings(ini, problems).History;
    }
    TIncidentReportRequest request;
    request.Csv = options.Csv;
    if (!options.Since.empty()) {
        request.Since = *ParseSince(options.Since); // checked by the command line
    }
    TIncidentReader reader(HistoryFileName(history, GetProgramDir()));
    const int64_t nowMs = WallClockMs();
    std::string error;
    if (!WriteIncidentReport(reader, request, nowMs, out, error)) {
        err << "pingvard: " << error << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace pingvard
