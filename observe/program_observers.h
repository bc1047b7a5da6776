// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The observers as both programs run them: built from the monitor's settings
// once it has started, subscribed to its events, told READY once the workers
// run, and stopped after the monitor, within their own bounds.
//
//     monitor.Start();
//     TProgramObservers observers(monitor, dispatcher, consoleLine);
//     ...                      // the program runs
//     monitor.Shutdown();
//     observers.Stop();

#include "config/settings.h"
#include "monitor/gui_dispatcher.h"
#include "monitor/host_monitor.h"
#include "observe/observers.h"
#include "observe/web/monitor_web_source.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pingvard {

class TProgramObservers {
public:
    // consoleLine shows one line on the console or stderr; it runs on the GUI
    // thread. A consumer's problem (a full disk, a failing hook) goes there and
    // to the status line, once.
    TProgramObservers(THostMonitor& monitor, TGuiDispatcher& dispatcher,
                      std::function<void(const std::string&)> consoleLine);
    ~TProgramObservers(); // Stop()
    TProgramObservers(const TProgramObservers&) = delete;
    TProgramObservers& operator=(const TProgramObservers&) = delete;

    TObservers& Observers() noexcept { return *m_observers; }
    // Unsubscribes, then stops every consumer (bounded; see TObservers::Stop).
    // After the monitor's Shutdown, so that no event is lost at the exit.
    void Stop() noexcept;

    // The longest a slot may go without a report before the service watchdog
    // starves: two passes of the slowest host and some slack.
    static uint32_t WatchdogStaleMs(const TSettings& settings);
    // What a hook or a notification must never show: the script's answers to
    // challenges that ask for a password, and the recovery actions' passwords.
    static std::vector<std::string> Secrets(const TSettings& settings);
    // The machine's name, as notifications name the site.
    static std::string SiteName();

private:
    THostMonitor& m_monitor;
    std::unique_ptr<TMonitorWebSource> m_webSource; // [Web]: before the listener that serves it
    std::unique_ptr<TObservers> m_observers;
    bool m_stopped = false;
};

} // namespace pingvard
