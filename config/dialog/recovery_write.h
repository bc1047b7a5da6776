// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the settings dialog writes back of the recovery sections
// (config/recovery_settings.h reads them).

#include "config/ini_file.h"
#include "config/recovery_settings.h"

#include <string>
#include <utility>
#include <vector>

namespace pingvard {

// The keys of an action's own settings that the settings dialog edits, with
// their values as the file spells them; secrets are not among them.
std::vector<std::pair<std::string, std::string>> ActionKeys(const TActionConfig& action);
// What the settings dialog edits: the quorum, the guard, and each action
// (name, kind, times, its keys and its password). Equal when none differs.
bool SameDialogRecoverySettings(const TRecoverySettings& a, const TRecoverySettings& b);
// The settings dialog's write: [Recovery] Actions and Quorum, [Guard], and of
// each [Action.NAME] Kind, TimeLimit and Verify (seconds) and the keys that
// differ from previous (all of an action previous lacks). A changed password
// goes to its PasswordFile (mode 0600) when the action names one, else into
// pingvard.ini, which is made private (0600) first. Every other key stays as
// written. Throws EIniFileException.
void SaveDialogRecoverySettings(TCustomIniFile& ini, const TRecoverySettings& settings,
                                const TRecoverySettings& previous, const std::string& programDir);
} // namespace pingvard
