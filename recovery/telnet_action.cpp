// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/telnet_action.h"

#include "net/socket_errors.h"

#include <algorithm>
#include <utility>

namespace pingvard {

TRecoveryOutcome TelnetResetOk() {
    return Outcome(true, "Reset OK");
}

TRecoveryOutcome TelnetConnectFailed(const std::string& host) {
    TRecoveryOutcome outcome = Outcome(false, "Unable to reset, cannot connect to " + host);
    outcome.ConnectFailed = true;
    return outcome;
}

TRecoveryOutcome TelnetFailedStep(int32_t step) {
    return Outcome(false, "Unable to reset, invalid response in step #" +
                              std::to_string(int64_t{step} + 1));
}

std::unique_ptr<TRecoveryAction> MakeTelnetAction(const TActionConfig& config,
                                                  const TActionContext& context) {
    TTelnetActionSettings telnet;
    telnet.Name = config.Name;
    telnet.Host = context.ResetHost;
    telnet.Port = context.ResetPort;
    telnet.LimitMs = context.TelnetLimitMs > 0 ? context.TelnetLimitMs : config.TimeLimitMs;
    telnet.Clock = context.Clock;
    telnet.Challenges = context.Challenges;
    telnet.Answers = context.Answers;
    return std::make_unique<TTelnetAction>(std::move(telnet));
}

TTelnetAction::TTelnetAction(TTelnetActionSettings settings)
    : m_settings(std::move(settings)),
      m_clock(m_settings.Clock != nullptr ? *m_settings.Clock : SystemTickClock()) {
    m_telnet.RemoteHost = m_settings.Host;
    m_telnet.RemotePort = m_settings.Port;
    m_telnet.Timeout = kTelnetTimeoutMs;
    m_telnet.SetClock(m_clock);
}

void TTelnetAction::Abort() noexcept {
    m_aborted.store(true);
    m_telnet.Abort();
}

bool TTelnetAction::WithinLimit() const {
    return int64_t{TickDifference(m_startTick, m_clock.Now())} < m_settings.LimitMs;
}

uint32_t TTelnetAction::Deadline() const {
    return m_startTick + static_cast<uint32_t>(m_settings.LimitMs);
}

TRecoveryOutcome TTelnetAction::Run(TActionReport& report) {
    m_startTick = m_clock.Now();
    m_step.store(0);
    try {
        return Session(report);
    } catch (...) {
        // Nothing may leave Run; what the script reached is the outcome.
        return TelnetFailedStep(Step());
    }
}

TRecoveryOutcome TTelnetAction::Session(TActionReport& report) {
    report.Step("Connecting to " + m_settings.Host + " port " + m_settings.Port);
    m_telnet.TcpSocket.SendDeadlineTick = Deadline();
    bool opened = false;
    try {
        opened = m_telnet.OpenSession();
    } catch (...) {
        opened = false;
    }
    if (!opened) {
        return TelnetConnectFailed(m_settings.Host);
    }
    const auto steps = static_cast<int32_t>(m_settings.Challenges.size());
    try {
        PlayScript(report);
        if (steps > 0 && Step() == steps) {
            HoldLine(report);
        }
    } catch (...) {
        // An exception while waiting ends the script; the outcome names the step.
    }
    try {
        m_telnet.CloseSession();
    } catch (...) {
    }
    return Step() == steps ? TelnetResetOk() : TelnetFailedStep(Step());
}

void TTelnetAction::PlayScript(TActionReport& report) {
    const auto steps = static_cast<int32_t>(m_settings.Challenges.size());
    while (!m_aborted.load() && Step() < steps && WithinLimit()) {
        const auto step = static_cast<std::size_t>(Step());
        const std::string& challenge = m_settings.Challenges[step];
        const std::string received = m_telnet.ReadUntil(challenge, Deadline());
        const int error = m_telnet.TcpSocket.LastErrorCode();
        if (error == kWsaEtimedout) {
            continue; // the same step again, until the limit
        }
        if (error != 0) {
            return; // closed or broken: the challenge can no longer arrive
        }
        const std::string answer =
            step < m_settings.Answers.size() ? m_settings.Answers[step] : std::string();
        report.Transcript("Step #" + std::to_string(step + 1));
        report.Transcript(received + challenge);
        report.Transcript("-> " + answer);
        m_telnet.SendEscaped(answer + "\r\n");
        if (m_telnet.TcpSocket.LastErrorCode() != 0) {
            return; // the answer did not (wholly) go out: the step is not done
        }
        m_step.store(static_cast<int32_t>(step) + 1);
        report.Step("Step #" + std::to_string(step + 1) + " answered");
    }
}

void TTelnetAction::HoldLine(TActionReport& report) {
    const auto used = static_cast<int64_t>(TickDifference(m_startTick, m_clock.Now()));
    const int64_t hold = std::min<int64_t>(m_settings.HoldLimitMs, m_settings.LimitMs - used);
    const uint32_t until = m_clock.Now() + static_cast<uint32_t>(std::max<int64_t>(hold, 0));
    const std::string said = m_telnet.ReadRemaining(m_settings.SettleMs, until);
    if (!said.empty()) {
        report.Transcript(said);
    }
}

} // namespace pingvard
