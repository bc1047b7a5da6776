// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the challenge script out of a pingvard.ini, so that an operator can
// dry-run exactly the script the monitor will play. Standalone on purpose (the
// simulator does not link the monitor), following the same file rules.
#pragma once

#include "tools/apsim_script.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard::apsim {

// The integer rule of the configuration file: leading blanks, then a signed
// decimal in the 32-bit range, or hexadecimal of at most 32 bits after "$",
// "x", "X", "0x" or "0X".
std::optional<int32_t> ParseIniInteger(std::string_view text);

// Section ResetHost: ChallengesCount 0, absent or invalid gives the default
// script, a negative count an empty one, n the pairs Challenge1/Answer1 ..
// Challengen/Answern (absent entries empty). Nothing when the file cannot be
// read (error says why); a missing section is the default script.
std::optional<std::vector<TScriptStep>> LoadIniScript(const std::string& path, std::string& error);

} // namespace pingvard::apsim
