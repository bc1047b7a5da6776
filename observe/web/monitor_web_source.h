// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The status page's view of a running monitor. One thread of its own copies
// the monitor's state on the GUI thread (TGuiDispatcher::Send) about once a
// second and carries "Restart now" there, so the listener's thread never waits
// for the GUI thread longer than the bound of RestartNow. Subscribed to the
// monitor's events, it keeps the incidents seen since the program started.
//
//     TMonitorWebSource source(monitor, dispatcher);
//     monitor.Events().Add(source);
//     ...                         // the listener serves it
//     monitor.Shutdown();         // cancels the dispatcher: no hand-off waits
//     source.Stop();

#include "events/monitor_event.h"
#include "monitor/gui_dispatcher.h"
#include "monitor/host_monitor.h"
#include "observe/web/web_source.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace pingvard {

// What is kept of the incidents seen since the start, oldest dropped first.
inline constexpr std::size_t kWebIncidentsKept = 200;

// The incidents an event tells of, one entry per start time: an event of a
// known incident replaces it. A pure value, so that its rule is tested alone.
class TIncidentMemory {
public:
    void Note(const TIncident& incident);
    std::vector<TIncident> Since(int64_t fromMs) const; // newest first
private:
    std::deque<TIncident> m_incidents; // by start, oldest first
};

class TMonitorWebSource final : public TWebSource, public TEventSink {
public:
    static constexpr auto kRefreshInterval = std::chrono::seconds(1);
    static constexpr auto kRestartWait = std::chrono::seconds(3);

    TMonitorWebSource(THostMonitor& monitor, TGuiDispatcher& dispatcher);
    ~TMonitorWebSource() override; // Stop()
    TMonitorWebSource(const TMonitorWebSource&) = delete;
    TMonitorWebSource& operator=(const TMonitorWebSource&) = delete;

    TWebStatus Status() const override;
    std::vector<TIncident> Incidents(int64_t fromMs) const override;
    TRestartAnswer RestartNow() override;
    void Publish(const TMonitorEvent& event) noexcept override;

    // Ends the thread; a hand-off under way returns once the monitor's
    // Shutdown has cancelled the dispatcher.
    void Stop() noexcept;

private:
    void Run();
    TWebStatus Copy() const;           // GUI thread
    TRestartAnswer AskRestart() const; // GUI thread

    THostMonitor& m_monitor;
    TGuiDispatcher& m_dispatcher;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;     // the thread: a request, or the stop
    std::condition_variable m_answered; // the askers: the request's answer
    TWebStatus m_status;
    TIncidentMemory m_incidents;
    bool m_stop = false;
    bool m_requested = false;
    uint64_t m_asked = 0, m_done = 0; // requests taken by the thread, and answered
    TRestartAnswer m_answer;
    std::thread m_thread;
};

} // namespace pingvard
