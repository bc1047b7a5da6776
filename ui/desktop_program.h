// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace pingvard {

enum class TDesktopEnd {
    ExitCommand,       // the exit command (menu, SIGINT or SIGTERM)
    ConfigNotWritable, // start-up could not write pingvard.ini
};

// The tray application: the application object titled "AP Pingvard", the main
// window with its tray icon, the host monitor's start-up, the event loop, and
// the shutdown when the exit command ends the loop. When the start-up cannot
// write pingvard.ini, the error has been shown in a box and nothing is being
// monitored, so the program ends rather than showing empty figures.
// language is --lang's value ("cs", "en"), or empty to take [Desktop] Language
// of pingvard.ini, else the locale's.
TDesktopEnd RunDesktop(int& argc, char** argv, const std::string& language = {});

} // namespace pingvard
