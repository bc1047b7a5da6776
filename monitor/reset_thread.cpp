#include "monitor/reset_thread.h"

#include "monitor/event_log.h"
#include "net/socket_errors.h"

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

void TThReset::RunSession() {
    DeleteCommLog();
    m_dispatcher.Send([this] { m_outcomes.ShowResetStarting(); });
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
    try {
        PlayScript();
    } catch (...) {
        // An exception while waiting ends the script; the outcome names the step.
    }
    const auto steps = static_cast<int32_t>(m_settings.Challenges.size());
    if (Step() == steps) {
        m_dispatcher.Send([this] { m_outcomes.ShowResetOk(); });
    } else {
        m_dispatcher.Send([this] { m_outcomes.ShowResetFailedStep(Step()); });
    }
    try {
        m_telnet.CloseSession();
    } catch (...) {
    }
}

void TThReset::PlayScript() {
    const auto steps = static_cast<int32_t>(m_settings.Challenges.size());
    const uint32_t deadline = StartTick() + static_cast<uint32_t>(m_settings.LimitMs);
    while (!Terminated() && Step() < steps && WithinLimit()) {
        const auto step = static_cast<std::size_t>(Step());
        const std::string& challenge = m_settings.Challenges[step];
        const std::string received = m_telnet.ReadUntil(challenge, deadline);
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
        m_step.store(static_cast<int32_t>(step) + 1);
    }
}

} // namespace pingvard
