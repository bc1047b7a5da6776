// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/monitor_event.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pingvard {

// One event hook as [Hook.NAME] configures it (config/observe_settings.h);
// observe/hook_runner.h runs it.
struct THookConfig {
    std::string Name;
    std::string Program;
    std::vector<std::string> Args;
    std::vector<TMonitorEventKind> Events{TMonitorEventKind::HostDown, TMonitorEventKind::HostUp,
                                          TMonitorEventKind::RuleFired,
                                          TMonitorEventKind::ActionOutcome};
    int32_t TimeLimitMs = 10000;
    bool operator==(const THookConfig&) const = default;
};

// The bounds of TimeLimit, in seconds.
inline constexpr int32_t kHookMinSeconds = 1;
inline constexpr int32_t kHookMaxSeconds = 3600;

} // namespace pingvard
