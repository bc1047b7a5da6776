// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/recovery_policy.h"

#include <algorithm>
#include <cctype>

namespace pingvard {

namespace {

constexpr std::size_t kRefusedPrefix = sizeof "Restart refused: " - 1;

} // namespace

TRecoveryPolicy::TRecoveryPolicy(const TRecoverySettings& settings, const TTickClock& clock)
    : m_clock(&clock), m_quorum(settings.Quorum), m_guard(settings.Guard, clock),
      m_escalation(VerifyTimes(settings), clock), m_actions(settings.Actions),
      m_keptMemory(m_guard.Revision()) {}

void TRecoveryPolicy::Restore(const TGuardMemory& memory) {
    m_guard.Restore(memory);
    m_keptMemory = m_guard.Revision(); // it came from the disk
}

void TRecoveryPolicy::Reconfigure(const TRecoverySettings& settings) {
    m_quorum = settings.Quorum;
    m_edited = settings;
    TakeEditsWhenIdle();
}

// Starts afresh with the edits, where no reference to the round's state is
// held. The guard keeps what it remembers, under its new limits: an edit
// (or a reload) never undoes a limit.
void TRecoveryPolicy::TakeEditsWhenIdle() {
    if (!m_edited || m_escalation.Active()) {
        return;
    }
    const int rounds = m_round;
    const TGuardMemory memory = m_guard.Memory();
    *this = TRecoveryPolicy(*m_edited, *m_clock);
    m_round = rounds;
    Restore(memory);
}

bool RestartRuleHolds(const TRoundView& view, int32_t quorum) {
    const auto& hosts = view.Hosts;
    const auto marked = std::count_if(hosts.begin(), hosts.end(),
                                      [](const TRoundHost& host) { return host.Marked; });
    const auto failed = std::count_if(hosts.begin(), hosts.end(), [&](const TRoundHost& host) {
        return host.Marked && host.Failures >= view.MaxTimeouts;
    });
    const auto needed = quorum <= 0 ? marked : std::min<decltype(marked)>(quorum, marked);
    return failed >= needed;
}

TRoundDecisions TRecoveryPolicy::RestartRuleArmed(const TRoundView& view) {
    TakeEditsWhenIdle();
    const int roundsBefore = m_round;
    if (!m_guard.FailuresCount()) {
        return {TForgetFailures{}};
    }
    if (!RestartRuleHolds(view, m_quorum)) {
        return {};
    }
    // Fired only when a round begins: while the guard pauses or a round runs
    // the rule holds as before, but nothing follows from it.
    TRoundDecisions out = Begin(TRoundTrigger::Rule, view);
    if (m_round != roundsBefore) {
        out.insert(out.begin(), TRuleFired{});
    }
    // Whether or not a round began, another one needs MaxTimeouts fresh failures.
    out.push_back(TForgetFailures{});
    return out;
}

TRoundDecisions TRecoveryPolicy::Begin(TRoundTrigger trigger, const TRoundView& view) {
    TakeEditsWhenIdle();
    m_sessionFree = view.SessionFree;
    TRoundDecisions out;
    const bool manual = trigger == TRoundTrigger::Manual;
    if (m_escalation.Active() || !m_sessionFree) {
        if (manual) {
            Refuse(kRestartUnderWayText, 0, out);
        }
        return out;
    }
    const TGuardVerdict verdict = m_guard.Verdict();
    if (verdict == TGuardVerdict::Paused && manual) {
        std::string text = "Restart refused: " + m_guard.PausedText();
        text[kRefusedPrefix] = static_cast<char>(std::tolower(text[kRefusedPrefix]));
        if (!m_pausedShown) {
            ShowGuardChange(true, out); // logged there: the refusal goes to the status line
            m_refused = text;
        }
        Refuse(text, m_guard.PausedForMs(), out);
        return out;
    }
    ShowGuardChange(verdict == TGuardVerdict::Paused, out);
    // The device restarted by the last action may still be starting: a
    // request now is merged into that action.
    if (verdict == TGuardVerdict::HoldingOff && manual) {
        Refuse(kHoldOffRefusedText, m_guard.HoldOffLeftMs(), out);
        return out;
    }
    if (verdict == TGuardVerdict::Paused ||
        m_escalation.Begin().Kind != TEscalationCommand::TKind::RunAction) {
        return out;
    }
    m_guard.RoundStarted();
    m_refused.clear();
    m_event = {};
    m_event.Reason = trigger == TRoundTrigger::Rule ? "rule" : "manual";
    m_event.Round = ++m_round;
    // A manual round waits for every marked host that is failing now.
    const int32_t downAt = std::max(trigger == TRoundTrigger::Rule ? view.MaxTimeouts : 1, 1);
    for (std::size_t slot = 0; slot < m_down.size(); ++slot) {
        const TRoundHost& host = view.Hosts[slot];
        m_down[slot] = host.Marked && host.Failures >= downAt;
        if (m_down[slot]) {
            m_event.HostsDown.push_back(host.Address);
        }
    }
    m_watching = true;
    m_waitsForNobody = std::none_of(m_down.begin(), m_down.end(), [](bool down) { return down; });
    RunStep(0, out);
    return out;
}

// Starts step now, or keeps it waiting while a session holds the token.
void TRecoveryPolicy::RunStep(std::size_t step, TRoundDecisions& out) {
    if (!m_sessionFree) {
        m_pending = step;
        return;
    }
    m_sessionFree = false;
    m_pending.reset();
    m_answered = {};
    m_event.Step = static_cast<int>(step) + 1;
    KeepGuardMemory(out); // the round's start is on disk before its step runs
    out.push_back(TStartStep{step, m_event});
    if (std::none_of(m_down.begin(), m_down.end(), [](bool down) { return down; })) {
        m_escalation.HostsBack(); // nobody to wait for: the round ends with this step
    }
}

TRoundDecisions TRecoveryPolicy::StepEnded(const TRecoveryOutcome& outcome,
                                           const TRoundView& view) {
    m_sessionFree = view.SessionFree;
    TRoundDecisions out;
    m_guard.ActionEnded();
    Follow(m_escalation.ActionEnded(outcome.Ok), out);
    KeepGuardMemory(out);
    return out;
}

void TRecoveryPolicy::Follow(const TEscalationCommand& command, TRoundDecisions& out) {
    switch (command.Kind) {
    case TEscalationCommand::TKind::RunAction:
        RunStep(command.Action, out);
        break;
    case TEscalationCommand::TKind::Cured:
        EndRound(true, out);
        break;
    case TEscalationCommand::TKind::Uncured:
        EndRound(false, out);
        break;
    case TEscalationCommand::TKind::None:
        break;
    }
}

void TRecoveryPolicy::EndRound(bool cured, TRoundDecisions& out) {
    m_refused.clear();
    if (m_waitsForNobody) {
        m_watching = false;
        return;
    }
    m_guard.RoundEnded(cured);
    if (cured) {
        HostsBack(out);
    }
}

// The hosts the last round waited for answer again: back-off, rounds and a
// pause reset.
void TRecoveryPolicy::HostsBack(TRoundDecisions& out) {
    m_watching = false;
    m_guard.HostsBack();
    if (m_pausedShown) {
        ShowGuardChange(false, out);
    }
}

TRoundDecisions TRecoveryPolicy::PingReport(int slot, bool answered, const TRoundView& view) {
    TakeEditsWhenIdle();
    m_sessionFree = view.SessionFree;
    TRoundDecisions out;
    if (!answered && !m_guard.FailuresCount()) {
        out.push_back(TForgetFailures{slot});
    }
    const auto i = static_cast<std::size_t>(slot);
    if (answered && i < m_down.size() && m_down[i]) {
        HostAnswered(i, out);
    }
    if (m_pending) {
        RunStep(*m_pending, out);
    }
    Follow(m_escalation.Poll(), out);
    if (m_pausedShown && m_guard.Verdict() != TGuardVerdict::Paused) {
        ShowGuardChange(false, out);
    }
    KeepGuardMemory(out);
    return out;
}

TRoundStatus TRecoveryPolicy::Status() const {
    TRoundStatus status;
    status.Active = m_escalation.Active();
    status.Round = m_guard.RoundsInWindow();
    status.MaxRounds = m_guard.MaxRounds();
    status.Step = m_escalation.Current();
    status.Verifying = m_escalation.Verifying();
    status.NextStep = status.Verifying && m_escalation.HasNext();
    status.NextInMs = m_escalation.VerifyLeftMs();
    status.PausedForMs = m_guard.PausedForMs();
    status.HoldOffForMs = m_guard.HoldOffLeftMs();
    return status;
}

void TRecoveryPolicy::HostAnswered(std::size_t slot, TRoundDecisions& out) {
    m_answered[slot] = true;
    for (std::size_t s = 0; s < m_down.size(); ++s) {
        if (m_down[s] && !m_answered[s]) {
            return;
        }
    }
    m_down = {};
    if (m_escalation.Active()) {
        Follow(m_escalation.HostsBack(), out);
    } else if (m_watching) {
        HostsBack(out);
    }
}

void TRecoveryPolicy::ShowGuardChange(bool paused, TRoundDecisions& out) {
    if (m_pausedShown == paused) {
        return;
    }
    m_pausedShown = paused;
    m_refused.clear();
    out.push_back(TShowGuardChange{paused, paused ? m_guard.PausedText()
                                                  : std::string(kRestartsResumedText)});
}

// The status line shows every refusal; pingvard.log the first of each kind.
void TRecoveryPolicy::Refuse(const std::string& text, uint32_t forMs, TRoundDecisions& out) {
    TRefuseRequest refusal{text, std::nullopt, text != m_refused};
    if (forMs > 0) {
        refusal.ForMs = forMs;
    }
    m_refused = text;
    out.push_back(std::move(refusal));
}

void TRecoveryPolicy::KeepGuardMemory(TRoundDecisions& out) {
    if (m_guard.Revision() == m_keptMemory) {
        return;
    }
    m_keptMemory = m_guard.Revision();
    out.push_back(TKeepGuardMemory{m_guard.Memory()});
}

} // namespace pingvard
