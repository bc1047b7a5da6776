// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/headless_program.h"

#include "app/console_front_end.h"
#include "app/exit_status.h"
#include "app/settings_reload.h"
#include "app/signal_watcher.h"
#include "app/terminal.h"
#include "config/ini_file.h"
#include "config/program_dir.h"
#include "monitor/gui_dispatcher.h"
#include "monitor/host_monitor.h"
#include "net/socket_library.h"
#include "observe/program_observers.h"

#include <atomic>
#include <csignal>
#include <exception>
#include <functional>
#include <iostream>
#include <unistd.h>

namespace pingvard {
namespace {

struct TSignalFlags {
    std::atomic<bool> ExitRequested{false};
    std::atomic<bool> RestartRequested{false};
    std::atomic<bool> ReloadRequested{false};
};

// How long the loop sleeps when nothing happens; a hand-off or a signal
// wakes it at once (a stop request is kept until the loop takes it), so the
// wait only bounds a wake-up that never came. Each idle wake costs CPU time
// on a small board: one a minute, not one a second.
constexpr int kIdleWaitMs = 60'000;

// The message loop: runs hand-offs until an exit request, drawing after each
// batch. An error escaping a hand-off ends only that hand-off, as an error in
// a window's event handler does.
// SIGUSR1 asks for "Restart now" (signals that come while one is handled are
// one request), SIGHUP for a reload of pingvard.ini.
void RunLoop(TLoopDispatcher& dispatcher, TConsoleFrontEnd& frontEnd, THostMonitor& monitor,
             TSignalFlags& signals, const std::function<void()>& reload) {
    dispatcher.OnHandOffError = [&frontEnd](const std::string& what) { frontEnd.ReportLine(what); };
    while (!signals.ExitRequested) {
        dispatcher.RunOnce(kIdleWaitMs);
        if (signals.ReloadRequested.exchange(false) && !signals.ExitRequested) {
            reload();
        }
        if (signals.RestartRequested.exchange(false) && !signals.ExitRequested) {
            monitor.RestartNow();
        }
        frontEnd.Flush();
    }
}

std::string ArmCommand() {
    std::string dir = GetProgramDir();
    dir.pop_back();
    return "'pingvard -C " + dir + " --arm'";
}

// A first start in this directory wrote the defaults, which ping public hosts
// and restart a device over telnet: say where, and that nothing is restarted
// before the operator has confirmed them.
std::string FirstRunNotice(const THostMonitor& monitor) {
    return "no pingvard.ini was here: wrote " + ConfigFileName() +
           " with the defaults, in which the device at " + monitor.ResetHost() +
           " is restarted over telnet when every marked host has failed " +
           std::to_string(monitor.MaxTimeouts()) +
           " times in a row; restarts are held until you confirm: edit the file and reload "
           "(SIGHUP), or confirm it as it is with " +
           ArmCommand() + " and reload";
}

std::string HeldNotice() {
    return "restarts are held: the settings a first start wrote to " + ConfigFileName() +
           " are not confirmed yet; edit the file and reload (SIGHUP), or confirm it as it is "
           "with " +
           ArmCommand() + " and reload";
}

int Monitor(TLoopDispatcher& dispatcher, TSignalFlags& signals, const THeadlessConsole& console) {
    TSocketLibrary socketLibrary;
    TConsoleFrontEnd frontEnd(console.Out, console.Err, console.Mode, console.Columns);
    frontEnd.Debug = console.Debug;
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
    } else if (monitor.AwaitingConfirmation()) {
        frontEnd.ReportLine(HeldNotice());
    }
    // Each value used at its bound and each invalid recovery value once, with
    // what is used instead.
    for (const std::string& problem : SettingsProblemLines(monitor.Settings())) {
        frontEnd.ReportLine(problem);
    }
    const TLineFn line = [&frontEnd](const std::string& text) { frontEnd.ReportLine(text); };
    TProgramObservers observers(monitor, dispatcher, line);
    frontEnd.Flush();
    RunLoop(dispatcher, frontEnd, monitor, signals,
            [&] { ReloadSettings(monitor, observers.Observers(), line); });

    monitor.Shutdown(); // the exit command
    observers.Stop();   // after the monitor: its last events are written
    frontEnd.Flush();
    return kExitOk;
}

} // namespace

int RunHeadless(const THeadlessConsole& console) {
    TLoopDispatcher dispatcher;
    TSignalFlags flags;
    const TSignalWatcher signals({SIGINT, SIGTERM, SIGUSR1, SIGHUP}, [&](int signal) {
        (signal == SIGUSR1  ? flags.RestartRequested
         : signal == SIGHUP ? flags.ReloadRequested
                            : flags.ExitRequested) = true;
        dispatcher.Stop(); // wakes the loop
    });
    return Monitor(dispatcher, flags, console);
}

int RunHeadless(bool debug) {
    // A reader that goes away (pingvard | head) must not end the watchdog.
    std::signal(SIGPIPE, SIG_IGN);
    const auto mode =
        IsCursorTerminal(STDOUT_FILENO) ? TConsoleMode::Terminal : TConsoleMode::Lines;
    return RunHeadless(
        {std::cout, std::cerr, mode, [] { return TerminalColumns(STDOUT_FILENO); }, debug});
}

} // namespace pingvard
