// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/settings.h"
#include "monitor/host_monitor.h"
#include "observe/program_observers.h"

#include <functional>
#include <string>
#include <vector>

namespace pingvard {

using TLineFn = std::function<void(const std::string&)>;

// The lines a start shows for its settings: the values used at a bound and
// the invalid recovery values (the observers show their own).
std::vector<std::string> SettingsProblemLines(const TSettings& settings);

// SIGHUP in the console program: pingvard.ini read again as a start reads it,
// without writing it, its bad values said as at start, and what the settings
// dialog can apply taken into use (the intervals, MaxTimeouts, the hosts, the
// reset host, the quorum, the guard, the actions' time limits and verify
// times). The script, the actions' own settings, history, metrics and hooks
// wait for the next start. The service manager hears RELOADING=1, then
// READY=1. A file that cannot be read leaves every setting as it was. Runs
// on the loop thread; never ends the program.
void ReloadSettings(THostMonitor& monitor, TObservers& observers, const TLineFn& line);

} // namespace pingvard
