// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace pingvard {

// The program directory: the process's current directory at the moment of the
// call, with a trailing '/'. Every file name is this plus a fixed name, formed
// anew at each use, so the files follow the current directory.
std::string GetProgramDir();

} // namespace pingvard
