// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The service manager's notification protocol (sd_notify): READY=1 once the
// monitor runs, STATUS= with the status line, WATCHDOG=1 at half the interval
// systemd asks for (WATCHDOG_USEC) but only after READY and only while the
// health check passes, so a hung Pingvard is restarted. RELOADING=1 while
// pingvard.ini is read again (READY=1 when done); STOPPING=1 at the exit.
// Messages go out on a thread of its own in the order they were made
// (a newer status replaces one not yet sent); without NOTIFY_SOCKET nothing
// runs at all.

#include "events/monitor_event.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace pingvard {

class TSystemdNotifier final : public TEventSink {
public:
    // health runs on the notifier's thread before each WATCHDOG=1; it must be
    // thread-safe and quick. Null = always healthy.
    explicit TSystemdNotifier(std::function<bool()> health = {});
    ~TSystemdNotifier() override; // Stop()
    TSystemdNotifier(const TSystemdNotifier&) = delete;
    TSystemdNotifier& operator=(const TSystemdNotifier&) = delete;

    bool Active() const noexcept { return m_active; } // started by a service manager
    // Zero when systemd asked for no watchdog.
    std::chrono::microseconds WatchdogInterval() const noexcept { return m_watchdog; }

    void Ready() noexcept;
    // A reload of the settings begins; Ready() again when it is done.
    void Reloading() noexcept;
    void Status(const std::string& text) noexcept;
    void Stopping() noexcept;
    // StatusText and SiteState events become STATUS=, the site first.
    void Publish(const TMonitorEvent& event) noexcept override;
    // "Site down since 03:12 (uplink), 0 of 4 hosts answer; Reset OK - ...":
    // the service status tells the site's state beside the status line.
    static std::string StatusLine(const std::string& site, const std::string& status);
    // Sends what is queued, then ends the thread. Idempotent.
    void Stop() noexcept;

private:
    void Queue(std::string message, bool isStatus) noexcept;
    void Run();

    const std::function<bool()> m_health;
    // The last site line and status line, on the publishing (GUI) thread.
    std::string m_site;
    std::string m_status;
    bool m_active = false;
    std::string m_socket; // NOTIFY_SOCKET as it was at the start
    std::chrono::microseconds m_watchdog{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<std::string, bool>> m_pending; // message, is a STATUS
    bool m_ready = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace pingvard
