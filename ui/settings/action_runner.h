// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recovery/recovery_action.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace pingvard {

// One dry run of a recovery action on a thread of its own, for the settings
// page's Test button: the action's steps and its outcome are handed to the
// callbacks on that thread (the page queues them to the GUI thread). Stop
// aborts the action; the destructor aborts it and joins the thread, so the
// run never outlives its owner. The transcript holds the device's dialogue
// and goes to Transcript only, never to the steps.
class TActionRunner {
public:
    using TText = std::function<void(const std::string& text)>;
    using TDone = std::function<void(const TRecoveryOutcome& outcome)>;

    TActionRunner(std::unique_ptr<TRecoveryAction> action, TText step, TText transcript,
                  TDone done);
    ~TActionRunner();
    TActionRunner(const TActionRunner&) = delete;
    TActionRunner& operator=(const TActionRunner&) = delete;

    void Stop() noexcept;
    bool Finished() const noexcept { return m_finished.load(); }

private:
    std::unique_ptr<TRecoveryAction> m_action;
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

} // namespace pingvard
