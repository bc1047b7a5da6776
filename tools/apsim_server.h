// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's main loop: listens, serves sessions one after another,
// writes the records and runs the reset command.
#pragma once

#include "tools/apsim_options.h"

#include <string>

namespace pingvard::apsim {

// Returns the process exit status: 0 after a stop request or --exit-after,
// 1 when the listening socket cannot be set up.
int RunApsimServer(const TApsimOptions& options);

} // namespace pingvard::apsim
