// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/dialog/hook_write.h"

#include <algorithm>
#include <string>

namespace pingvard {

void WriteHookSettings(TCustomIniFile& ini, const std::vector<THookConfig>& hooks,
                       const std::vector<THookConfig>& previous) {
    std::string names;
    for (const THookConfig& hook : hooks) {
        names += (names.empty() ? "" : ",") + hook.Name;
    }
    ini.WriteText("Hooks", "Names", names);
    for (const THookConfig& hook : hooks) {
        const std::string section = "Hook." + hook.Name;
        ini.WriteText(section, "Program", hook.Program);
        std::size_t had = 0;
        if (const auto old =
                std::find_if(previous.begin(), previous.end(),
                             [&](const THookConfig& p) { return p.Name == hook.Name; });
            old != previous.end()) {
            had = old->Args.size();
        }
        for (std::size_t i = 0; i < hook.Args.size(); ++i) {
            ini.WriteText(section, "Arg" + std::to_string(i + 1), hook.Args[i]);
        }
        for (std::size_t i = hook.Args.size(); i < had; ++i) {
            ini.DeleteKey(section, "Arg" + std::to_string(i + 1));
        }
        std::string events;
        for (const TMonitorEventKind kind : hook.Events) {
            events += (events.empty() ? "" : ",") + std::string(KindName(kind));
        }
        ini.WriteText(section, "Events", events);
        ini.WriteNumber(section, "TimeLimit", hook.TimeLimitMs / 1000);
    }
}

} // namespace pingvard
