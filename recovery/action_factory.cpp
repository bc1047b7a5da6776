// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/action_factory.h"

#include "recovery/http_action.h"
#include "recovery/program_action.h"
#include "recovery/ssh_action.h"

namespace pingvard {

std::unique_ptr<TRecoveryAction> MakeRecoveryAction(const TActionConfig& config,
                                                    const TTickClock* clock) {
    switch (config.Kind) {
    case TActionKind::Ssh:
        return std::make_unique<TSshAction>(config, clock);
    case TActionKind::Http:
        return std::make_unique<THttpAction>(config);
    case TActionKind::Program:
        return std::make_unique<TProgramAction>(config, clock);
    case TActionKind::Telnet:
        break;
    }
    return nullptr;
}

std::vector<std::unique_ptr<TRecoveryAction>>
BuildRecoveryActions(const std::vector<TActionConfig>& configs,
                     const TTelnetActionFactory& makeTelnet, const TTickClock* clock) {
    std::vector<std::unique_ptr<TRecoveryAction>> actions;
    for (const TActionConfig& config : configs) {
        std::unique_ptr<TRecoveryAction> action = config.Kind == TActionKind::Telnet
                                                      ? (makeTelnet ? makeTelnet(config) : nullptr)
                                                      : MakeRecoveryAction(config, clock);
        if (action) {
            actions.push_back(std::move(action));
        }
    }
    return actions;
}

} // namespace pingvard
