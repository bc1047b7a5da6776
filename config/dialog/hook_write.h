// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the settings dialog writes back of the hooks (config/observe_settings.h
// reads them): [Hooks] Names and each [Hook.NAME]'s Program, Arg1..., Events
// and TimeLimit. Arguments a hook had before and has no more are taken out.
// Throws EIniFileException.

#include "config/hook_config.h"
#include "config/ini_file.h"

#include <vector>

namespace pingvard {

void WriteHookSettings(TCustomIniFile& ini, const std::vector<THookConfig>& hooks,
                       const std::vector<THookConfig>& previous);

} // namespace pingvard
