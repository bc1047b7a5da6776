// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/command_line.h"

#include <cstdint>
#include <ostream>

namespace pingvard {

// pingvard --history: prints the recorded history from the database that
// pingvard.ini's [History] section names (read only; nothing is written), and
// returns the exit status: 0, or 1 with a line on err when there is no history
// or no such host.
int RunHistoryCommand(const TCommandLine& options, std::ostream& out, std::ostream& err);

} // namespace pingvard
