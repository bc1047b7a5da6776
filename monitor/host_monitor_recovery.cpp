// SPDX-License-Identifier: GPL-3.0-or-later
// The host monitor's escalation and guard: which hosts must be down, the
// rounds of recovery actions, the hold-off, the pause and manual restarts.

#include "logs/event_log.h"
#include "monitor/host_monitor.h"
#include "monitor/reset_outcomes.h"
#include "recovery/action_factory.h"
#include "recovery/telnet_action.h"
#include "rounds/recovery_run.h"

#include <algorithm>

namespace pingvard {

namespace {

// What the status line says while a step runs; the telnet kind keeps the
// historic text.
std::string StartingText(const TActionConfig& config) {
    switch (config.Kind) {
    case TActionKind::Telnet:
        return "Trying to reset...";
    case TActionKind::Ssh:
        return "Trying to reset (" + config.Name + ")...";
    case TActionKind::Http:
        return config.Http.Preset == TPlugPreset::None
                   ? "Trying to reset (" + config.Name + ")..."
                   : "Trying to power cycle (" + config.Name + ")...";
    case TActionKind::Program:
        return "Running " + config.Name + "...";
    }
    return "Trying to reset...";
}

} // namespace

std::unique_ptr<TRecoveryAction>
MakeConfiguredAction(const TActionConfig& config, const TSettings& settings,
                     const std::string& resetHost, const std::string& resetPort,
                     int32_t telnetLimitMs, const TTickClock* clock) {
    if (config.Kind != TActionKind::Telnet) {
        return MakeRecoveryAction(config, clock);
    }
    TTelnetActionSettings telnet;
    telnet.Name = config.Name;
    telnet.Host = resetHost;
    telnet.Port = resetPort;
    telnet.LimitMs = telnetLimitMs > 0 ? telnetLimitMs : config.TimeLimitMs;
    telnet.Clock = clock;
    telnet.Challenges = settings.Challenges;
    telnet.Answers = settings.Answers;
    return std::make_unique<TTelnetAction>(std::move(telnet));
}

void THostMonitor::TakeRecoveryIntoUse() {
    const int rounds = m_recovery ? m_recovery->Round : 0; // the count goes on over edits
    m_recovery = std::make_unique<TRecoveryRun>(m_settings.Recovery, Clock());
    m_recovery->Round = rounds;
}

int THostMonitor::MarkedHostsNeeded() const {
    const auto marked = static_cast<int>(std::count_if(
        m_pingObjs.begin(), m_pingObjs.end(), [](const TPingObj& o) { return o.DoReset; }));
    const int quorum = m_settings.Recovery.Quorum;
    return quorum <= 0 ? marked : std::min(quorum, marked);
}

bool THostMonitor::RestartRuleHolds() const {
    const auto failed =
        std::count_if(m_pingObjs.begin(), m_pingObjs.end(), [this](const TPingObj& o) {
            return o.DoReset && o.Failures >= m_maxTimeouts;
        });
    return failed >= MarkedHostsNeeded();
}

void THostMonitor::RestartNow() {
    if (!m_created || m_destroyed || !m_recovery) {
        return;
    }
    BeginRecoveryRound("manual");
}

// The restart rule fired (reason "rule") or the operator asked ("manual"):
// a round starts with the first action, unless one runs or the guard pauses.
void THostMonitor::BeginRecoveryRound(const std::string& reason) {
    TRecoveryRun& run = *m_recovery;
    if (run.Escalation.Active() || ResetSessionRunning()) {
        if (reason == "manual") {
            m_fe.SetStatusText(kRestartUnderWayText);
        }
        return;
    }
    const bool paused = run.Guard.Verdict() == TGuardVerdict::Paused;
    ShowGuardChange(paused);
    if (paused) {
        return;
    }
    if (run.Escalation.Begin().Kind != TEscalationCommand::TKind::RunAction) {
        return;
    }
    run.Guard.RoundStarted();
    run.Event = {};
    run.Event.Reason = reason;
    run.Event.Round = ++run.Round;
    // A manual round waits for every marked host that is failing now.
    const int32_t downAt = std::max(reason == "rule" ? m_maxTimeouts : 1, 1);
    for (std::size_t slot = 0; slot < m_pingObjs.size(); ++slot) {
        const TPingObj& obj = m_pingObjs[slot];
        run.Down[slot] = obj.DoReset && obj.Failures >= downAt;
        if (run.Down[slot]) {
            run.Event.HostsDown.push_back(obj.IP);
        }
    }
    run.Watching = true;
    RunRecoveryStep(0);
}

// Starts action index on the session thread, or keeps it pending while the
// previous session still holds the token.
void THostMonitor::RunRecoveryStep(std::size_t index) {
    TRecoveryRun& run = *m_recovery;
    if (m_destroyed || !m_resetIdleEvent->WaitFor(0)) {
        run.Pending = index;
        return;
    }
    run.Pending.reset();
    run.Answered = {};
    const TActionConfig& config = m_settings.Recovery.Actions.at(index);
    std::unique_ptr<TRecoveryAction> action;
    try {
        action = MakeRecoveryStepAction(config);
    } catch (...) {
        m_resetIdleEvent->Set();
        throw;
    }
    run.Event.Step = static_cast<int>(index) + 1;
    action->SetEvent(run.Event);
    run.StartingText = StartingText(config);
    StartResetSession(std::move(action));
    if (!std::any_of(run.Down.begin(), run.Down.end(), [](bool down) { return down; })) {
        run.Escalation.HostsBack(); // nobody to wait for: the round ends with this step
    }
}

std::unique_ptr<TRecoveryAction> THostMonitor::MakeRecoveryStepAction(const TActionConfig& config) {
    if (m_options.ActionFactory) {
        if (auto action = m_options.ActionFactory(config)) {
            return action;
        }
    }
    return MakeConfiguredAction(config, m_settings, m_resetHost, m_options.ResetPort,
                                m_options.SessionLimitMs, m_options.Clock);
}

// A step's outcome has been shown: the hold-off starts, and the escalation
// says what follows.
void THostMonitor::EndRecoveryStep(bool ok) {
    if (!m_recovery) {
        return;
    }
    m_recovery->Guard.ActionEnded();
    FollowEscalation(m_recovery->Escalation.ActionEnded(ok));
}

void THostMonitor::FollowEscalation(const TEscalationCommand& command) {
    switch (command.Kind) {
    case TEscalationCommand::TKind::RunAction:
        RunRecoveryStep(command.Action);
        break;
    case TEscalationCommand::TKind::Cured:
        EndRecoveryRound(true);
        break;
    case TEscalationCommand::TKind::Uncured:
        EndRecoveryRound(false);
        break;
    case TEscalationCommand::TKind::None:
        break;
    }
}

void THostMonitor::EndRecoveryRound(bool cured) {
    TRecoveryRun& run = *m_recovery;
    run.Guard.RoundEnded(cured);
    if (cured) {
        RecoveryHostsBack();
    }
}

void THostMonitor::ApplyRecovery(const TRecoverySettings& edited) {
    TRecoverySettings& current = m_settings.Recovery;
    current.Quorum = edited.Quorum;
    current.Guard = edited.Guard;
    for (std::size_t i = 0; i < current.Actions.size() && i < edited.Actions.size(); ++i) {
        current.Actions[i].TimeLimitMs = edited.Actions[i].TimeLimitMs;
        current.Actions[i].VerifyMs = edited.Actions[i].VerifyMs;
    }
    if (!m_recovery || !m_recovery->Escalation.Active()) {
        TakeRecoveryIntoUse();
    } else {
        m_recovery->Replace = true;
    }
}

// The hosts the last round waited for answer again: back-off, rounds and a
// pause reset.
void THostMonitor::RecoveryHostsBack() {
    TRecoveryRun& run = *m_recovery;
    run.Watching = false;
    run.Guard.HostsBack();
    if (run.PausedShown) {
        ShowGuardChange(false);
    }
}

void THostMonitor::ShowGuardChange(bool paused) {
    TRecoveryRun& run = *m_recovery;
    if (run.PausedShown == paused) {
        return;
    }
    run.PausedShown = paused;
    const std::string text = paused ? run.Guard.PausedText() : std::string(kRestartsResumedText);
    ShowLogged(m_fe, m_eventLog, text, text);
    m_events.GuardChanged(!paused, text);
}

// After each report: failures during the hold-off don't count, an answer may
// end the outage, a pending step may start, a verify time may run out, and
// the window may allow restarts again.
void THostMonitor::FollowRecoveryAfterReport(int slot, int32_t ms) {
    if (!m_recovery) {
        return;
    }
    // Edited settings wait for the round to end; replaced here, where no
    // reference to the old state is held.
    if (m_recovery->Replace && !m_recovery->Escalation.Active()) {
        TakeRecoveryIntoUse();
    }
    TRecoveryRun& run = *m_recovery;
    const auto i = static_cast<std::size_t>(slot);
    if (ms < 0 && !run.Guard.FailuresCount()) {
        m_pingObjs[i].Failures = 0;
    }
    if (ms >= 0 && run.Down[i]) {
        run.Answered[i] = true;
        bool allBack = true;
        for (std::size_t s = 0; s < run.Down.size(); ++s) {
            allBack = allBack && (!run.Down[s] || run.Answered[s]);
        }
        if (allBack) {
            run.Down = {};
            if (run.Escalation.Active()) {
                FollowEscalation(run.Escalation.HostsBack());
            } else if (run.Watching) {
                RecoveryHostsBack();
            }
        }
    }
    if (m_destroyed) {
        return;
    }
    if (run.Pending) {
        RunRecoveryStep(*run.Pending);
    }
    FollowEscalation(run.Escalation.Poll());
    if (run.PausedShown && run.Guard.Verdict() != TGuardVerdict::Paused) {
        ShowGuardChange(false);
    }
}

} // namespace pingvard
