// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/event.h"
#include "monitor/gui_dispatcher.h"
#include "net/echo/ping_client.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pingvard {

// An answered echo's round trip: in ms as the window shows it, and in µs from
// the monotonic clock for the history and the metrics. A lost echo has none.
struct TRoundTrip {
    int32_t Ms = 0;
    int64_t Us = 0;
    bool KernelStamp = false; // Us from the kernel's receive time, not the program's clock
};
// A round trip known only in ms (-1: lost), in µs as ms * 1000.
std::optional<TRoundTrip> RoundTripOfMs(int32_t ms);

// The ping worker of one slot. It owns its echo client; it ends only when the
// owner's StopEvent is set. Created without a thread ("suspended"); Start()
// runs it. The owner keeps stopEvent, pingInterval and dispatcher alive until
// this object is destroyed; the destructor waits for the thread to end, so the
// owner sets StopEvent (and aborts, see RequestTerminate) first.
//
// Interval: each pass waits PingInterval ms on StopEvent. While PingInterval is
// negative the worker waits kNegativeIntervalWaitMs instead (the stored value is
// left as it is), so a negative setting can never stop pinging for good.
//
// Echo time-out: Timeout bounds each whole echo, the lookup of a host given as
// a name included, so a resolver that does not answer holds no echo longer. A
// negative Timeout would mean "no answer can ever count" or "wait for ever";
// it reads as kNegativeTimeoutEchoMs instead (the stored value is left as it
// is), for the echo and for the shutdown's wait alike.
class TPingTh {
public:
    static constexpr int32_t kNegativeIntervalWaitMs = 2000;
    static constexpr int32_t kNegativeTimeoutEchoMs = 1000;

    // report(Index, ms or -1) runs on the GUI thread through dispatcher.
    using TReport = std::function<void(int32_t index, int32_t ms)>;
    // The same with the whole round trip, none for a lost echo.
    using TEchoReport = std::function<void(int32_t index, std::optional<TRoundTrip> echo)>;
    // One echo with the host and time-out of this pass: ms, or -1 for a failure.
    using TPinger = std::function<int32_t(const std::string& host, int32_t timeoutMs)>;

    TPingTh(int32_t index, TEvent& stopEvent, const std::atomic<int32_t>& pingInterval,
            TGuiDispatcher& dispatcher, TReport report);
    TPingTh(int32_t index, TEvent& stopEvent, const std::atomic<int32_t>& pingInterval,
            TGuiDispatcher& dispatcher, TEchoReport report);
    ~TPingTh();
    TPingTh(const TPingTh&) = delete;
    TPingTh& operator=(const TPingTh&) = delete;

    const int32_t Index;

    // Exchanged under a lock: each echo uses one whole old or new value.
    std::string Host() const;
    void SetHost(std::string host);
    int32_t Timeout() const; // the echo client's Timeout as set, ms
    void SetTimeout(int32_t timeoutMs);
    int32_t EchoTimeout() const; // what an echo waits: Timeout, or the default for a negative one

    // Replaces the echo client for tests (exceptions count as failures, too).
    // Only before Start().
    void SetPinger(TPinger pinger);

    void Start(); // "resume"; once
    bool Started() const noexcept { return m_thread.joinable(); }
    // Sets the terminate flag and aborts the echo client: an echo in progress
    // (its name lookup too), and every later one, fails at once. Thread-safe.
    // Ending the loop is StopEvent's job.
    void RequestTerminate() noexcept;
    bool Terminated() const noexcept { return m_terminated.load(); }
    // True when the thread has ended within ms (or was never started).
    bool WaitForEnd(int32_t ms);

private:
    void Execute();
    std::optional<TRoundTrip> PingOnce();

    TEvent& m_stopEvent;
    const std::atomic<int32_t>& m_pingInterval;
    TGuiDispatcher& m_dispatcher;
    const TEchoReport m_report;
    TPinger m_pinger;

    mutable std::mutex m_settingsMutex;
    std::string m_host;
    int32_t m_timeout = 1000;

    TPingClient m_echoClient; // only the worker thread uses it, except Abort()
    std::atomic<bool> m_terminated{false};
    TEvent m_ended{true, false};
    std::thread m_thread;
};

} // namespace pingvard
