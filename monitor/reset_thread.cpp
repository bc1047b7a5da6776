#include "monitor/reset_thread.h"

#include "monitor/event_log.h"
#include "net/socket_errors.h"

#include <algorithm>
#include <utility>

namespace pingvard {

TThReset::TThReset(TResetSessionSettings settings, TGuiDispatcher& dispatcher,
                   TResetOutcomes& outcomes, TEvent& resetIdleEvent)
    : m_settings(std::move(settings)),
      m_clock(m_settings.Clock != nullptr ? *m_settings.Clock : SystemTickClock()),
      m_dispatcher(dispatcher), m_outcomes(outcomes), m_resetIdleEvent(resetIdleEvent) {
    m_telnet.RemoteHost = m_settings.Host;
    m_telnet.RemotePort = m_settings.Port;
    m_telnet.Timeout = kTelnetTimeoutMs;
    m_telnet.SetClock(m_clock);
    m_thread = std::thread([this] { Execute(); });
}

TThReset::~TThReset() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void TThReset::RequestTerminate() noexcept {
    m_terminated.store(true);
    m_telnet.Abort();
}

bool TThReset::WaitForEnd(int32_t ms) {
    return m_ended.WaitFor(ms < 0 ? 0 : ms);
}

bool TThReset::WithinLimit() const {
    return int64_t{TickDifference(StartTick(), m_clock.Now())} < m_settings.LimitMs;
}

void TThReset::Execute() {
    m_startTick.store(m_clock.Now());
    try {
        RunSession();
    } catch (...) {
        // Nothing may leave the thread; the token below is given back regardless.
    }
    m_resetIdleEvent.Set();
    m_ended.Set();
}

uint32_t TThReset::Deadline() const {
    return StartTick() + static_cast<uint32_t>(m_settings.LimitMs);
}

void TThReset::RunSession() {
    DeleteCommLog();
    m_dispatcher.Send([this] { m_outcomes.ShowResetStarting(); });
    m_telnet.TcpSocket.SendDeadlineTick = Deadline();
    bool opened = false;
    try {
        opened = m_telnet.OpenSession();
    } catch (...) {
        opened = false;
    }
    if (!opened) {
        m_dispatcher.Send([this] { m_outcomes.ShowConnectFailed(); });
        return;
    }
    const auto steps = static_cast<int32_t>(m_settings.Challenges.size());
    try {
        PlayScript();
        if (steps > 0 && Step() == steps) {
            HoldLine();
        }
    } catch (...) {
        // An exception while waiting ends the script; the outcome names the step.
    }
    try {
        m_telnet.CloseSession();
    } catch (...) {
    }
    if (Step() == steps) {
        m_dispatcher.Send([this] { m_outcomes.ShowResetOk(); });
    } else {
        m_dispatcher.Send([this] { m_outcomes.ShowResetFailedStep(Step()); });
    }
}

void TThReset::PlayScript() {
    const auto steps = static_cast<int32_t>(m_settings.Challenges.size());
    while (!Terminated() && Step() < steps && WithinLimit()) {
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
        WriteCommLog("Step #" + std::to_string(step + 1));
        WriteCommLog(received + challenge);
        WriteCommLog("-> " + answer);
        m_telnet.SendEscaped(answer + "\r\n");
        if (m_telnet.TcpSocket.LastErrorCode() != 0) {
            return; // the answer did not (wholly) go out: the step is not done
        }
        m_step.store(static_cast<int32_t>(step) + 1);
    }
}

void TThReset::HoldLine() {
    const auto used = static_cast<int64_t>(TickDifference(StartTick(), m_clock.Now()));
    const int64_t hold = std::min<int64_t>(m_settings.HoldLimitMs, m_settings.LimitMs - used);
    const uint32_t until = m_clock.Now() + static_cast<uint32_t>(std::max<int64_t>(hold, 0));
    const std::string said = m_telnet.ReadRemaining(m_settings.SettleMs, until);
    if (!said.empty()) {
        WriteCommLog(said);
    }
}

} // namespace pingvard
