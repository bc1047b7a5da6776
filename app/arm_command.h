// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>

namespace pingvard {

// pingvard --arm: confirms the settings of the program directory as they are
// (pingvard.state [Start] Confirmed=1), so that the restart rule of the
// settings a first start wrote may act. Without a pingvard.ini it writes one
// with the defaults first, as a start would, and confirms those. Says what
// the restarts will do; a running program takes it at its next reload
// (SIGHUP) or start. Returns the exit status.
int RunArmCommand(std::ostream& out, std::ostream& err);

} // namespace pingvard
