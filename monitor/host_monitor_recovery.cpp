// SPDX-License-Identifier: GPL-3.0-or-later
// The host monitor's side of the recovery rounds: what the recovery policy
// (rounds/recovery_policy.h) sees of the slots and the session, and how its
// decisions are carried out.

#include "logs/event_log.h"
#include "monitor/host_monitor.h"
#include "monitor/reset_outcomes.h"
#include "rounds/site_text.h"

#include <ctime>
#include <variant>

namespace pingvard {

void THostMonitor::RestartNow() {
    if (!m_created || m_destroyed || !m_policy) {
        return;
    }
    if (m_awaitingConfirmation) {
        Carry(TRefuseRequest{kHeldRefusedText, std::nullopt, !m_heldRefusalLogged});
        m_heldRefusalLogged = true;
        return;
    }
    Follow(m_policy->Begin(TRoundTrigger::Manual, RoundView()));
    ShowSite();
}

TRoundView THostMonitor::RoundView() {
    TRoundView view;
    for (std::size_t slot = 0; slot < m_pingObjs.size(); ++slot) {
        const TPingObj& obj = m_pingObjs[slot];
        view.Hosts[slot] = {obj.DoReset, obj.Failures, obj.IP};
    }
    view.MaxTimeouts = m_maxTimeouts;
    view.SessionFree = !m_destroyed && !ResetSessionRunning();
    return view;
}

void THostMonitor::Follow(const TRoundDecisions& decisions) {
    for (const TRoundDecision& decision : decisions) {
        std::visit([this](const auto& each) { Carry(each); }, decision);
    }
}

void THostMonitor::Carry(const TRuleFired&) {
    m_events.RuleFired(RuleFiredText(RoundView()), m_site.IncidentSnapshot());
}

void THostMonitor::Carry(const TForgetFailures& forget) {
    if (forget.Slot) {
        PingObj(*forget.Slot).Failures = 0;
    } else {
        ZeroFailures();
    }
}

// The view said the token was free, and only this thread takes it: it is
// still free.
void THostMonitor::Carry(const TStartStep& step) {
    if (!m_resetIdleEvent->WaitFor(0)) {
        return;
    }
    const TActionConfig& config = m_policy->Actions().at(step.Step);
    std::unique_ptr<TRecoveryAction> action;
    try {
        action = MakeStepAction(config);
    } catch (...) {
        m_resetIdleEvent->Set();
        throw;
    }
    action->SetEvent(step.Event);
    m_session.StartingText = KindInfo(config.Kind).StartingText(config);
    m_session.VerifyMs = config.VerifyMs;
    const bool telnet = config.Kind == TActionKind::Telnet && m_options.SessionLimitMs > 0;
    StartResetSession(std::move(action), telnet ? m_options.SessionLimitMs : config.TimeLimitMs);
}

void THostMonitor::Carry(const TShowGuardChange& change) {
    ShowLogged(m_fe, m_eventLog, change.Text, change.Text);
    m_events.GuardChanged(!change.Paused, change.Text);
    if (change.Paused) {
        Follow(m_site.GuardPaused(m_policy->Status()));
    } else {
        m_site.GuardResumed();
    }
}

void THostMonitor::Carry(const TRefuseRequest& refusal) {
    std::string text = refusal.Text;
    if (refusal.ForMs) {
        // Rounded up, so "until" is never earlier than the moment it lifts.
        const std::time_t until = std::time(nullptr) + (*refusal.ForMs + 999) / 1000;
        text += ", until " + LocalTimestampAt(until);
    }
    m_fe.SetStatusText(text);
    if (refusal.Log) {
        WriteLog(text);
    }
}

std::unique_ptr<TRecoveryAction> THostMonitor::MakeStepAction(const TActionConfig& config) const {
    if (m_options.ActionFactory) {
        if (auto action = m_options.ActionFactory(config)) {
            return action;
        }
    }
    TActionContext context;
    context.ResetHost = m_resetHost;
    context.ResetPort = m_options.ResetPort;
    context.TelnetLimitMs = m_options.SessionLimitMs;
    context.Challenges = m_settings.Challenges;
    context.Answers = m_settings.Answers;
    context.Clock = m_options.Clock;
    return MakeAction(config, context);
}

void THostMonitor::ApplyRecovery(const TRecoverySettings& edited) {
    TRecoverySettings& current = m_settings.Recovery;
    current.Quorum = edited.Quorum;
    current.Guard = edited.Guard;
    // The round under way keeps its actions (the policy's copy) until it ends.
    current.Actions = edited.Actions;
    if (m_policy) {
        m_policy->Reconfigure(current);
    } else {
        m_policy = std::make_unique<TRecoveryPolicy>(current, Clock());
    }
}

} // namespace pingvard
