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
                   TResetHandOff& handOff, TEvent& resetIdleEvent)
    : m_action(std::move(action)), m_dispatcher(dispatcher), m_handOff(handOff),
      m_resetIdleEvent(resetIdleEvent) {
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

void TThReset::Execute() {
    try {
        // comm.log keeps the dialogue of the latest action that has one.
        const bool dialogue = m_action->HasDialogue();
        if (dialogue) {
            DeleteCommLog();
        }
        m_dispatcher.Send([this] { m_handOff.SessionStarting(); });
        TCommLogReport commLog;
        TNullActionReport none;
        const TRecoveryOutcome outcome =
            m_action->Run(dialogue ? static_cast<TActionReport&>(commLog) : none);
        m_dispatcher.Send([this, &outcome] { m_handOff.SessionEnded(outcome); });
    } catch (...) {
        // Nothing may leave the thread; the token below is given back regardless.
    }
    m_resetIdleEvent.Set();
    m_ended.Set();
}

} // namespace pingvard
