// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/headless_program.h"

#include "app/console_front_end.h"
#include "app/exit_status.h"
#include "app/signal_watcher.h"
#include "app/terminal.h"
#include "config/ini_file.h"
#include "monitor/gui_dispatcher.h"
#include "monitor/host_monitor.h"
#include "net/socket_library.h"
#include "observe/program_observers.h"

#include <atomic>
#include <csignal>
#include <exception>
#include <iostream>
#include <unistd.h>

namespace pingvard {
namespace {

struct TSignalFlags {
    std::atomic<bool> ExitRequested{false};
    std::atomic<bool> RestartRequested{false};
};

// How long the loop sleeps when nothing happens; a hand-off or an exit
// request wakes it at once.
constexpr int kIdleWaitMs = 1000;

// The message loop: runs hand-offs until an exit request, drawing after each
// batch. An error escaping a hand-off ends only that hand-off, as an error in
// a window's event handler does.
// SIGUSR1 asks for "Restart now".
void RunLoop(TLoopDispatcher& dispatcher, TConsoleFrontEnd& frontEnd, THostMonitor& monitor,
             TSignalFlags& signals) {
    dispatcher.OnHandOffError = [&frontEnd](const std::string& what) { frontEnd.ReportLine(what); };
    while (!signals.ExitRequested) {
        dispatcher.RunOnce(kIdleWaitMs);
        if (signals.RestartRequested.exchange(false) && !signals.ExitRequested) {
            monitor.RestartNow();
        }
        frontEnd.Flush();
    }
}

// A first start in this directory wrote the defaults, which ping public hosts
// and restart a device over telnet: say where, before anything is restarted.
std::string FirstRunNotice(const THostMonitor& monitor) {
    return "no pingvard.ini was here: wrote " + ConfigFileName() +
           " with the defaults; when every marked host has failed " +
           std::to_string(monitor.MaxTimeouts()) + " times in a row, the device at " +
           monitor.ResetHost() + " is restarted over telnet (edit the file to change this)";
}

int Monitor(TLoopDispatcher& dispatcher, TSignalFlags& signals, const THeadlessConsole& console) {
    TSocketLibrary socketLibrary;
    TConsoleFrontEnd frontEnd(console.Out, console.Err, console.Mode, console.Columns);
    TMonitorOptions options;
    options.LoadCancelled = [&signals] { return signals.ExitRequested.load(); };
    THostMonitor monitor(frontEnd, dispatcher, std::move(options));
    try {
        monitor.Start();
    } catch (const ELoadCancelled&) {
        // SIGTERM during the load of a huge file: nothing runs yet to stop.
        monitor.Shutdown();
        return kExitOk;
    } catch (const EIniFileException& e) {
        // Without its configuration written back the monitor has no workers;
        // a console program has nobody to show an error box to, so it ends.
        frontEnd.Flush();
        frontEnd.ReportLine(e.what());
        monitor.Shutdown();
        return kExitConfigNotWritable;
    }
    if (monitor.StartedWithoutConfigFile()) {
        frontEnd.ReportLine(FirstRunNotice(monitor));
    }
    // Each invalid recovery value once, with the default used instead.
    for (const std::string& problem : monitor.Settings().Recovery.Problems) {
        frontEnd.ReportLine(problem);
    }
    TProgramObservers observers(
        monitor, dispatcher, [&frontEnd](const std::string& line) { frontEnd.ReportLine(line); });
    frontEnd.Flush();
    RunLoop(dispatcher, frontEnd, monitor, signals);

    monitor.Shutdown(); // the exit command
    observers.Stop();   // after the monitor: its last events are written
    frontEnd.Flush();
    return kExitOk;
}

} // namespace

int RunHeadless(const THeadlessConsole& console) {
    TLoopDispatcher dispatcher;
    TSignalFlags flags;
    const TSignalWatcher signals({SIGINT, SIGTERM, SIGUSR1}, [&](int signal) {
        (signal == SIGUSR1 ? flags.RestartRequested : flags.ExitRequested) = true;
        dispatcher.Stop(); // wakes the loop
    });
    return Monitor(dispatcher, flags, console);
}

int RunHeadless() {
    // A reader that goes away (pingvard | head) must not end the watchdog.
    std::signal(SIGPIPE, SIG_IGN);
    const auto mode =
        IsCursorTerminal(STDOUT_FILENO) ? TConsoleMode::Terminal : TConsoleMode::Lines;
    return RunHeadless({std::cout, std::cerr, mode, [] { return TerminalColumns(STDOUT_FILENO); }});
}

} // namespace pingvard
