// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/ping_thread.h"

#include <algorithm>
#include <utility>

namespace pingvard {

std::optional<TRoundTrip> RoundTripOfMs(int32_t ms) {
    if (ms < 0) {
        return std::nullopt;
    }
    return TRoundTrip{ms, int64_t{ms} * 1000};
}

TPingTh::TPingTh(int32_t index, TEvent& stopEvent, const std::atomic<int32_t>& pingInterval,
                 TGuiDispatcher& dispatcher, TReport report)
    : TPingTh(index, stopEvent, pingInterval, dispatcher,
              TEchoReport([report = std::move(report)](int32_t i, std::optional<TRoundTrip> echo) {
                  report(i, echo ? echo->Ms : -1);
              })) {}

TPingTh::TPingTh(int32_t index, TEvent& stopEvent, const std::atomic<int32_t>& pingInterval,
                 TGuiDispatcher& dispatcher, TEchoReport report)
    : Index(index), m_stopEvent(stopEvent), m_pingInterval(pingInterval), m_dispatcher(dispatcher),
      m_report(std::move(report)) {}

TPingTh::~TPingTh() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::string TPingTh::Host() const {
    std::lock_guard lock(m_settingsMutex);
    return m_host;
}

void TPingTh::SetHost(std::string host) {
    std::lock_guard lock(m_settingsMutex);
    m_host = std::move(host);
}

int32_t TPingTh::Timeout() const {
    std::lock_guard lock(m_settingsMutex);
    return m_timeout;
}

void TPingTh::SetTimeout(int32_t timeoutMs) {
    std::lock_guard lock(m_settingsMutex);
    m_timeout = timeoutMs;
}

int32_t TPingTh::EchoTimeout() const {
    const int32_t timeout = Timeout();
    return timeout < 0 ? kNegativeTimeoutEchoMs : timeout;
}

void TPingTh::SetPinger(TPinger pinger) {
    m_pinger = std::move(pinger);
}

void TPingTh::Start() {
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { Execute(); });
    }
}

void TPingTh::RequestTerminate() noexcept {
    m_terminated.store(true);
    m_echoClient.Abort();
}

bool TPingTh::WaitForEnd(int32_t ms) {
    return !Started() || m_ended.WaitFor(ms < 0 ? 0 : ms);
}

std::optional<TRoundTrip> TPingTh::PingOnce() {
    std::string host;
    int32_t timeout = 0;
    {
        std::lock_guard lock(m_settingsMutex);
        host = m_host;
        timeout = m_timeout < 0 ? kNegativeTimeoutEchoMs : m_timeout;
    }
    try {
        if (m_pinger) {
            return RoundTripOfMs(m_pinger(host, timeout));
        }
        m_echoClient.Timeout = timeout;
        if (m_echoClient.Ping(host) && m_echoClient.RoundTripMs >= 0) {
            return TRoundTrip{m_echoClient.RoundTripMs,
                              std::max<int64_t>(m_echoClient.RoundTripUs.value_or(0), 0),
                              m_echoClient.LastStampSource == TPingClient::TStampSource::Kernel};
        }
    } catch (...) {
        // An echo that throws is a failed echo; the worker carries on.
    }
    return std::nullopt;
}

void TPingTh::Execute() {
    for (;;) {
        const int32_t interval = m_pingInterval.load(std::memory_order_relaxed);
        if (m_stopEvent.WaitFor(interval < 0 ? kNegativeIntervalWaitMs : interval)) {
            break;
        }
        const std::optional<TRoundTrip> echo = PingOnce();
        try {
            // Returns false without running the report once shutdown cancelled it.
            m_dispatcher.Send([this, echo] { m_report(Index, echo); });
        } catch (...) {
            // The hand-off itself failed (out of memory): drop this report.
        }
    }
    m_ended.Set();
}

} // namespace pingvard
