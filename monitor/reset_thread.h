#pragma once

#include "monitor/event.h"
#include "monitor/gui_dispatcher.h"
#include "net/telnet_client.h"
#include "net/tick_clock.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {

// The GUI-thread side of a session's outcome hand-offs (the host monitor).
class TResetOutcomes {
public:
    virtual ~TResetOutcomes() = default;
    virtual void ShowResetStarting() = 0;
    virtual void ShowConnectFailed() = 0;
    virtual void ShowResetOk() = 0;
    virtual void ShowResetFailedStep(int32_t step) = 0; // the 0-based Step
};

struct TResetSessionSettings {
    std::string Host; // ResetHost when the session is created
    std::string Port = "23";
    int32_t LimitMs = 60000;           // from StartTick; also the overall deadline of every wait
    int32_t SettleMs = 1500;           // quiet that ends the hold after the last answer
    int32_t HoldLimitMs = 4000;        // longest hold after the last answer
    const TTickClock* Clock = nullptr; // null = SystemTickClock()
    std::vector<std::string> Challenges;
    std::vector<std::string> Answers; // index-aligned; a missing answer is empty
};

// One reset session: connects to the device, plays the challenge script,
// reports the outcome through the dispatcher and gives resetIdleEvent back on
// every path. Starts at construction. The owner keeps dispatcher, outcomes and
// resetIdleEvent alive until this object is destroyed; the destructor waits for
// the thread to end.
//
// Every wait for a challenge and every send is also bounded by StartTick +
// LimitMs, so a device that keeps sending bytes without the challenge, or that
// stops reading, cannot hold the session (and the token) past the limit. A
// connection the device has closed ends the script at once: no challenge can
// arrive on it any more. A send that fails leaves its step incomplete.
//
// After the last answer the session keeps the line open and reads on (through
// the telnet filter, so negotiation is still answered) until the device closes
// it, is quiet for SettleMs, HoldLimitMs have passed or the limit is reached.
// A console on a pseudo-terminal reads its input some time after the daemon
// got it; hanging up at once would kill it before it read the confirmation.
// What the device said after the last challenge becomes one transcript entry
// of its own. Only then is the line closed and the outcome reported: "Reset OK"
// stands for a script answered and a line held until the device had it.
class TThReset {
public:
    static constexpr int32_t kTelnetTimeoutMs = 1000;

    TThReset(TResetSessionSettings settings, TGuiDispatcher& dispatcher, TResetOutcomes& outcomes,
             TEvent& resetIdleEvent);
    ~TThReset();
    TThReset(const TThReset&) = delete;
    TThReset& operator=(const TThReset&) = delete;

    int32_t Step() const noexcept { return m_step.load(); } // next script step, 0-based
    uint32_t StartTick() const noexcept { return m_startTick.load(); }
    // Shutdown: the script stops before its next step, and a connect or wait in
    // progress returns at once. Thread-safe.
    void RequestTerminate() noexcept;
    bool Terminated() const noexcept { return m_terminated.load(); }
    // True when the thread has ended within ms.
    bool WaitForEnd(int32_t ms);

private:
    void Execute();
    void RunSession();
    void PlayScript();
    void HoldLine();
    uint32_t Deadline() const;
    bool WithinLimit() const;

    const TResetSessionSettings m_settings;
    const TTickClock& m_clock;
    TGuiDispatcher& m_dispatcher;
    TResetOutcomes& m_outcomes;
    TEvent& m_resetIdleEvent;

    TTelnetClient m_telnet; // only the session thread uses it, except Abort()
    std::atomic<int32_t> m_step{0};
    std::atomic<uint32_t> m_startTick{0};
    std::atomic<bool> m_terminated{false};
    TEvent m_ended{true, false};
    std::thread m_thread; // last: starts once everything above exists
};

} // namespace pingvard
