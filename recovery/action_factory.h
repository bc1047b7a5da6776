// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/tick_clock.h"
#include "recovery/action_config.h"
#include "recovery/recovery_action.h"

#include <functional>
#include <memory>
#include <vector>

namespace pingvard {

// Builds the action for one configured kind; null for the telnet kind, which
// the monitor provides (it owns the challenge script).
std::unique_ptr<TRecoveryAction> MakeRecoveryAction(const TActionConfig& config,
                                                    const TTickClock* clock = nullptr);

using TTelnetActionFactory =
    std::function<std::unique_ptr<TRecoveryAction>(const TActionConfig& config)>;

// The escalation's actions in the configured order; telnet entries come from
// makeTelnet. An entry that yields no action is left out.
std::vector<std::unique_ptr<TRecoveryAction>>
BuildRecoveryActions(const std::vector<TActionConfig>& configs,
                     const TTelnetActionFactory& makeTelnet, const TTickClock* clock = nullptr);

} // namespace pingvard
