// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/command_line.h"

#include <ostream>

namespace pingvard {

// pingvard --incidents: lists the incidents and the uptime from the database
// that pingvard.ini's [History] section names (read only; nothing is
// written), and returns the exit status: 0, or 1 with a line on err when
// there is no history.
int RunIncidentsCommand(const TCommandLine& options, std::ostream& out, std::ostream& err);

} // namespace pingvard
