// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/event.h"
#include "monitor/gui_dispatcher.h"
#include "recovery/recovery_action.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

namespace pingvard {

// The GUI-thread side of a session's hand-offs (the host monitor): the
// action starts, and the action's outcome.
class TResetHandOff {
public:
    virtual ~TResetHandOff() = default;
    virtual void SessionStarting() = 0;
    virtual void SessionEnded(const TRecoveryOutcome& outcome) = 0;
};

// One reset session: the thread that runs one recovery action while it holds
// the one-session token. It deletes comm.log, hands "starting" to the GUI
// thread, runs the action (its transcript entries go to comm.log), hands the
// outcome over, and gives resetIdleEvent back on every path. Starts at
// construction. The owner keeps dispatcher, handOff and resetIdleEvent alive
// until this object is destroyed; the destructor waits for the thread to end.
class TThReset {
public:
    TThReset(std::unique_ptr<TRecoveryAction> action, TGuiDispatcher& dispatcher,
             TResetHandOff& handOff, TEvent& resetIdleEvent);
    ~TThReset();
    TThReset(const TThReset&) = delete;
    TThReset& operator=(const TThReset&) = delete;

    // Shutdown: the action is aborted (a connect or wait in progress returns
    // at once). Thread-safe.
    void RequestTerminate() noexcept;
    bool Terminated() const noexcept { return m_terminated.load(); }
    // True when the thread has ended within ms.
    bool WaitForEnd(int32_t ms);

private:
    void Execute();

    const std::unique_ptr<TRecoveryAction> m_action;
    TGuiDispatcher& m_dispatcher;
    TResetHandOff& m_handOff;
    TEvent& m_resetIdleEvent;

    std::atomic<bool> m_terminated{false};
    TEvent m_ended{true, false};
    std::thread m_thread; // last: starts once everything above exists
};

} // namespace pingvard
