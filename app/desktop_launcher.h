#pragma once

#include <string>

namespace pingvard {

// The desktop front end lives in its own executable, pingvard-desktop, next to
// pingvard: linking Qt into pingvard would triple the headless program's memory.

// A display server is named in the environment (X11 or Wayland).
bool DisplayAvailable();

// pingvard-desktop in the directory of the running executable; empty when absent.
std::string DesktopProgramPath();

// Replaces this process by the desktop program (the directory has already been
// entered, so it gets no options). Returns only when exec failed, with the error.
std::string ExecDesktopProgram(const std::string& path);

} // namespace pingvard
