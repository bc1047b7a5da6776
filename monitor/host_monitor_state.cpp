// SPDX-License-Identifier: GPL-3.0-or-later
// The host monitor's side of pingvard.state (config/program_state.h): the
// restart guard's memory across restarts of the program, and the hold of the
// settings a first start wrote until the operator confirms them.

#include "config/ini_file.h"
#include "config/profile_store.h"
#include "logs/event_log.h"
#include "monitor/host_monitor.h"

namespace pingvard {

TClockReading THostMonitor::Clocks() const {
    return m_options.Clocks ? m_options.Clocks() : ReadClocks();
}

// After the policy exists, before any worker reports.
void THostMonitor::RestoreState() {
    RemoveStaleTempFiles(StateFileName()); // what a killed write left
    TProgramStateFile state(StateFileName());
    m_policy->Restore(state.Guard(Clocks()));
    if (m_startedWithoutConfig) {
        // The defaults ping public hosts and telnet to a device nobody has
        // named: held, at this start and the next ones, until confirmed.
        state.SaveConfirmation({true, ConfigDigest(ConfigFileName())});
        m_awaitingConfirmation = true;
    } else if (const TStartConfirmation confirmation = state.Confirmation(); confirmation.Pending) {
        m_awaitingConfirmation = ConfigDigest(ConfigFileName()) == confirmation.Fresh;
        if (!m_awaitingConfirmation) {
            state.SaveConfirmation({}); // edited since the first start: the operator's own
        }
    }
    if (m_awaitingConfirmation) {
        m_fe.SetStatusText(kAwaitingConfirmationText);
    }
}

void THostMonitor::ConfirmSettings() {
    TProgramStateFile(StateFileName()).SaveConfirmation({});
    if (!m_awaitingConfirmation) {
        return;
    }
    m_awaitingConfirmation = false;
    ZeroFailures();
    m_fe.SetStatusText(kConfirmedText);
    ShowSite();
}

bool THostMonitor::ConfirmedSinceStart() {
    if (!m_awaitingConfirmation) {
        return false;
    }
    const TStartConfirmation confirmation = TProgramStateFile(StateFileName()).Confirmation();
    if (confirmation.Pending && ConfigDigest(ConfigFileName()) == confirmation.Fresh) {
        return false;
    }
    ConfirmSettings();
    return true;
}

void THostMonitor::Carry(const TKeepGuardMemory& keep) {
    TProgramStateFile state(StateFileName());
    if (state.SaveGuard(keep.Memory, Clocks()) || m_stateWriteReported) {
        return;
    }
    // The round goes on; only its memory across a restart is lost.
    m_stateWriteReported = true;
    const std::string text = "Unable to write to " + state.FileName() +
                             ": the restart guard forgets its rounds at a restart";
    m_fe.SetStatusText(text);
    WriteLog(text);
}

void THostMonitor::ResumeSavedIncident() {
    const std::optional<TIncident> open = TProgramStateFile(StateFileName()).Incident();
    m_savedIncident = open ? TProgramStateFile::IncidentLine(*open) : "";
    if (open) {
        ResumeIncident(*open);
        SaveIncident(); // dropped when none of its hosts is watched any more
    }
}

// Only when the incident changed: it opened, a step began or ended, it ended.
void THostMonitor::SaveIncident() {
    const std::optional<TIncident>& open = m_site.Incident();
    std::string line = open ? TProgramStateFile::IncidentLine(*open) : "";
    if (line == m_savedIncident) {
        return;
    }
    TProgramStateFile state(StateFileName());
    if (state.SaveIncident(open ? &*open : nullptr)) {
        m_savedIncident = std::move(line);
        return;
    }
    if (!m_incidentWriteReported) {
        m_incidentWriteReported = true;
        WriteLog("Unable to write to " + state.FileName() +
                 ": an open incident is forgotten at a restart");
    }
}

} // namespace pingvard
