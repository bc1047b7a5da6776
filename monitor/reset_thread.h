// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/event.h"
#include "monitor/gui_dispatcher.h"
#include "net/tick_clock.h"
#include "recovery/recovery_action.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
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

// A step that ended without an outcome of the action's own.
TRecoveryOutcome InternalError(const std::string& action, const std::string& what);

// One reset session: the thread that runs one recovery action while it holds
// the one-session token. It deletes comm.log, hands "starting" to the GUI
// thread, runs the action (its transcript entries go to comm.log), hands the
// outcome over, and gives resetIdleEvent back on every path. An action that
// throws ends as a failure: "Unable to reset, internal error in NAME: WHAT".
// Starts at construction. The owner keeps dispatcher, handOff and
// resetIdleEvent alive until this object is destroyed; the destructor waits
// for the thread to end.
//
// The outcome is handed over once: by the thread, or by the owner when the
// action has not returned kOverdueGraceMs after its time limit (Abandon),
// whichever comes first; the one who hands it over gives the token back.
class TThReset {
public:
    static constexpr int32_t kOverdueGraceMs = 5000;

    // limitMs: the action's time limit (0: none is watched); clock null =
    // SystemTickClock().
    TThReset(std::unique_ptr<TRecoveryAction> action, TGuiDispatcher& dispatcher,
             TResetHandOff& handOff, TEvent& resetIdleEvent, int32_t limitMs = 0,
             const TTickClock* clock = nullptr);
    ~TThReset();
    TThReset(const TThReset&) = delete;
    TThReset& operator=(const TThReset&) = delete;

    // Shutdown: the action is aborted (a connect or wait in progress returns
    // at once). Thread-safe.
    void RequestTerminate() noexcept;
    bool Terminated() const noexcept { return m_terminated.load(); }
    // True when the thread has ended within ms.
    bool WaitForEnd(int32_t ms);

    // The action has run kOverdueGraceMs past its time limit, without an outcome.
    bool Overdue();
    // For the owner of an overdue session: true when the thread has not
    // handed its outcome over yet and now never will, nor give the token
    // back; the owner does both (and aborts the action).
    bool Abandon() noexcept { return !m_handedOver.exchange(true); }
    const std::string& ActionName() const { return m_action->Name(); }
    int32_t LimitMs() const { return m_limitMs; }

private:
    void Execute();
    TRecoveryOutcome RunAction();

    const std::unique_ptr<TRecoveryAction> m_action;
    TGuiDispatcher& m_dispatcher;
    TResetHandOff& m_handOff;
    TEvent& m_resetIdleEvent;

    const int32_t m_limitMs;
    const TTickClock& m_clock;
    const uint32_t m_startTick;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_handedOver{false};
    TEvent m_ended{true, false};
    std::thread m_thread; // last: starts once everything above exists
};

} // namespace pingvard
