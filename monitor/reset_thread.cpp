// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/reset_thread.h"

#include "logs/event_log.h"

#include <utility>

namespace pingvard {

namespace {

// The action's dialogue goes to comm.log, entry by entry.
class TCommLogReport final : public TActionReport {
public:
    void Step(const std::string&) override {}
    void Transcript(const std::string& entry) override { WriteCommLog(entry); }
};

} // namespace

TThReset::TThReset(std::unique_ptr<TRecoveryAction> action, TGuiDispatcher& dispatcher,
                   TResetHandOff& handOff, TEvent& resetIdleEvent, int32_t limitMs,
                   const TTickClock* clock)
    : m_action(std::move(action)), m_dispatcher(dispatcher), m_handOff(handOff),
      m_resetIdleEvent(resetIdleEvent), m_limitMs(limitMs),
      m_clock(clock != nullptr ? *clock : SystemTickClock()), m_startTick(m_clock.Now()) {
    m_thread = std::thread([this] { Execute(); });
}

TThReset::~TThReset() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void TThReset::RequestTerminate() noexcept {
    m_terminated.store(true);
    m_action->Abort();
}

bool TThReset::WaitForEnd(int32_t ms) {
    return m_ended.WaitFor(ms < 0 ? 0 : ms);
}

bool TThReset::Overdue() {
    return m_limitMs > 0 && !m_ended.WaitFor(0) &&
           int64_t{TickDifference(m_startTick, m_clock.Now())} >=
               int64_t{m_limitMs} + kOverdueGraceMs;
}

TRecoveryOutcome InternalError(const std::string& action, const std::string& what) {
    return Outcome(false, "Unable to reset, internal error in " + action + ": " + what);
}

// An action that throws has still ended its step: the round must go on.
TRecoveryOutcome TThReset::RunAction() {
    try {
        // comm.log keeps the dialogue of the latest action that has one.
        const bool dialogue = m_action->HasDialogue();
        if (dialogue) {
            DeleteCommLog();
        }
        m_dispatcher.Send([this] { m_handOff.SessionStarting(); });
        TCommLogReport commLog;
        TNullActionReport none;
        return m_action->Run(dialogue ? static_cast<TActionReport&>(commLog) : none);
    } catch (const std::exception& e) {
        return InternalError(m_action->Name(), e.what());
    } catch (...) {
        return InternalError(m_action->Name(), "unknown exception");
    }
}

void TThReset::Execute() {
    const TRecoveryOutcome outcome = RunAction();
    if (!m_handedOver.exchange(true)) {
        try {
            m_dispatcher.Send([this, &outcome] { m_handOff.SessionEnded(outcome); });
        } catch (...) {
            // Nothing may leave the thread; the token below is given back regardless.
        }
        m_resetIdleEvent.Set();
    }
    m_ended.Set();
}

} // namespace pingvard
