// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/abort_signal.h"
#include "recovery/action_kinds.h"
#include "recovery/recovery_action.h"

namespace pingvard {

// One HTTP(S) request: a smart plug's power cycle (a preset) or a request
// given by hand. Certificates are checked unless a key is pinned; proxies
// from the environment are never used (the device is on the site's own network).
class THttpAction : public TRecoveryAction {
public:
    explicit THttpAction(TActionConfig config);

    const std::string& Name() const override { return m_config.Name; }
    std::string_view Kind() const override { return ActionKindName(TActionKind::Http); }
    TRecoveryOutcome Run(TActionReport& report) override;
    void Abort() noexcept override { m_abort.Raise(); }

private:
    TActionConfig m_config;
    TAbortSignal m_abort;
};

} // namespace pingvard
