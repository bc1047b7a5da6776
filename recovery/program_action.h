// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recovery/action_kinds.h"
#include "recovery/child_process.h"
#include "recovery/recovery_action.h"

namespace pingvard {

// Runs a local program without a shell; success is exit status 0 within the
// time limit. The event reaches it in PINGVARD_* environment variables.
class TProgramAction : public TRecoveryAction {
public:
    explicit TProgramAction(TActionConfig config, const TTickClock* clock = nullptr);

    const std::string& Name() const override { return m_config.Name; }
    std::string_view Kind() const override { return ActionKindName(TActionKind::Program); }
    void SetEvent(const TRecoveryEvent& event) override { m_event = event; }
    TRecoveryOutcome Run(TActionReport& report) override;
    void Abort() noexcept override { m_child.Abort(); }

private:
    TActionConfig m_config;
    const TTickClock* m_clock;
    TRecoveryEvent m_event;
    TChildProcess m_child;
};

} // namespace pingvard
