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
    m_resumedIncident = state.OpenIncident();
    if (m_resumedIncident) {
        m_keptIncident = IncidentText(*m_resumedIncident);
    }
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

void THostMonitor::KeepIncident() {
    const std::shared_ptr<const TIncident> open = m_site.IncidentSnapshot();
    const std::string text = open ? IncidentText(*open) : std::string();
    if (text == m_keptIncident) {
        return;
    }
    // A refused write is the guard's line's to say; the incident is then
    // only lost at a restart.
    if (TProgramStateFile(StateFileName()).SaveIncident(open.get())) {
        m_keptIncident = text;
    }
}

} // namespace pingvard
