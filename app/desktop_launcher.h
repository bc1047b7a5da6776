// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace pingvard {

// The desktop front end lives in its own executable, pingvard-desktop, next to
// pingvard: linking Qt into pingvard would triple the headless program's memory.

// A display server is named in the environment (X11 or Wayland).
bool DisplayAvailable();

// Why pingvard-desktop could not open the display named in the environment,
// "" when it can. Checked the way Qt picks its platform (QT_QPA_PLATFORM, else
// "wayland" first in a Wayland session, then "xcb"): an X display must accept
// a client connection (through the system's libxcb, loaded only for this
// check, so that the headless program never maps it), a Wayland display must
// accept a connection and Qt must have a Wayland platform plugin. Other
// platforms named in QT_QPA_PLATFORM are taken as usable.
std::string DisplayUnavailableReason();

// pingvard-desktop in the directory of the running executable; empty when absent.
std::string DesktopProgramPath();

// Replaces this process by the desktop program (the directory has already been
// entered, so it gets no -C; a --lang value goes along). Returns only when exec
// failed, with the error.
std::string ExecDesktopProgram(const std::string& path, const std::string& language = {});

} // namespace pingvard
