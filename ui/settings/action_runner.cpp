// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/action_runner.h"

namespace pingvard {

namespace {

class TForwardedReport final : public TActionReport {
public:
    TForwardedReport(TActionRunner::TText step, TActionRunner::TText transcript)
        : m_step(std::move(step)), m_transcript(std::move(transcript)) {}
    void Step(const std::string& text) override {
        if (m_step) {
            m_step(text);
        }
    }
    void Transcript(const std::string& entry) override {
        if (m_transcript) {
            m_transcript(entry);
        }
    }

private:
    TActionRunner::TText m_step;
    TActionRunner::TText m_transcript;
};

} // namespace

TActionRunner::TActionRunner(std::unique_ptr<TRecoveryAction> action, TText step, TText transcript,
                             TDone done)
    : m_action(std::move(action)) {
    TRecoveryAction* run = m_action.get();
    m_thread = std::thread([this, run, step = std::move(step), transcript = std::move(transcript),
                            done = std::move(done)]() mutable {
        TForwardedReport report(std::move(step), std::move(transcript));
        const TRecoveryOutcome outcome = run->Run(report);
        m_finished.store(true);
        if (done) {
            done(outcome);
        }
    });
}

TActionRunner::~TActionRunner() {
    Stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void TActionRunner::Stop() noexcept {
    m_action->Abort();
}

} // namespace pingvard
