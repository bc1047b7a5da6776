// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>
#include <string>

namespace pingvard {

// pingvard --test-action NAME: runs the recovery action NAME of pingvard.ini
// in the current directory once, printing each step and then the outcome on
// out. Secrets never reach either stream. Returns the exit status: 0 when the
// action succeeded, 1 when it failed or cannot be run.
int RunTestAction(const std::string& name, std::ostream& out, std::ostream& err);

} // namespace pingvard
