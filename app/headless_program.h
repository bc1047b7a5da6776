// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/console_view.h"

#include <functional>
#include <iosfwd>

namespace pingvard {

struct THeadlessConsole {
    std::ostream& Out;
    std::ostream& Err;
    TConsoleMode Mode;
    std::function<int()> Columns; // terminal width, 0 when unknown
    bool Debug = false;           // --debug: the monitor's details on Err
};

// The monitor with a console front end, in the current directory, until
// SIGINT or SIGTERM; SIGHUP reloads pingvard.ini (app/settings_reload.h),
// SIGUSR1 restarts now. Returns the process exit status (app/exit_status.h).
// Call it before any other thread has been started: it blocks those signals
// so that only its own watcher takes them.
int RunHeadless(bool debug = false);
int RunHeadless(const THeadlessConsole& console);

} // namespace pingvard
