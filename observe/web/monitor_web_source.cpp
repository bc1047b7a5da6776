// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/web/monitor_web_source.h"

#include "net/tick_clock.h"

#include <algorithm>

namespace pingvard {

namespace {} // namespace

void TIncidentMemory::Note(const TIncident& incident) {
    auto it = std::find_if(m_incidents.begin(), m_incidents.end(),
                           [&](const TIncident& i) { return i.StartMs == incident.StartMs; });
    if (it != m_incidents.end()) {
        *it = incident;
        return;
    }
    it = std::upper_bound(
        m_incidents.begin(), m_incidents.end(), incident,
        [](const TIncident& a, const TIncident& b) { return a.StartMs < b.StartMs; });
    m_incidents.insert(it, incident);
    if (m_incidents.size() > kWebIncidentsKept) {
        m_incidents.pop_front();
    }
}

std::vector<TIncident> TIncidentMemory::Since(int64_t fromMs) const {
    std::vector<TIncident> out;
    for (auto it = m_incidents.rbegin(); it != m_incidents.rend() && it->StartMs >= fromMs; ++it) {
        out.push_back(*it);
    }
    return out;
}

TMonitorWebSource::TMonitorWebSource(THostMonitor& monitor, TGuiDispatcher& dispatcher)
    : m_monitor(monitor), m_dispatcher(dispatcher) {
    if (const auto open = monitor.OpenIncident()) {
        m_incidents.Note(*open); // taken up again after a restart of the program
    }
    m_thread = std::thread([this] { Run(); });
}

TMonitorWebSource::~TMonitorWebSource() {
    Stop();
}

void TMonitorWebSource::Stop() noexcept {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_answered.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

TWebStatus TMonitorWebSource::Status() const {
    const std::lock_guard lock(m_mutex);
    return m_status;
}

std::vector<TIncident> TMonitorWebSource::Incidents(int64_t fromMs) const {
    const std::lock_guard lock(m_mutex);
    return m_incidents.Since(fromMs);
}

void TMonitorWebSource::Publish(const TMonitorEvent& event) noexcept {
    if (!event.Incident) {
        return;
    }
    try {
        const std::lock_guard lock(m_mutex);
        m_incidents.Note(*event.Incident);
    } catch (...) { // out of memory: the page misses one incident, the monitor goes on
    }
}

TRestartAnswer TMonitorWebSource::RestartNow() {
    std::unique_lock lock(m_mutex);
    if (m_stop) {
        return {TRestartAnswer::TResult::Busy, "the program is stopping"};
    }
    // The next request the thread takes: a pending one is this one too, and
    // one taken already was asked before this came.
    const uint64_t mine = m_asked + 1;
    m_requested = true;
    m_wake.notify_all();
    if (!m_answered.wait_for(lock, kRestartWait, [&] { return m_stop || m_done >= mine; })) {
        return {TRestartAnswer::TResult::Busy, "the program did not take the request in time"};
    }
    if (m_done < mine) {
        return {TRestartAnswer::TResult::Busy, "the program is stopping"};
    }
    return m_answer;
}

TWebStatus TMonitorWebSource::Copy() const {
    TWebStatus status;
    status.TimeMs = WallClockMs();
    const int32_t maxTimeouts = m_monitor.MaxTimeouts();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        TPingObj& obj = m_monitor.PingObj(slot);
        TWebHost host;
        host.Name = obj.DisplayName;
        host.Address = obj.IP;
        host.Watched = obj.DoReset;
        host.Figures = obj.Figures();
        host.Down = obj.Failures >= maxTimeouts;
        status.Hosts.push_back(std::move(host));
    }
    status.Site = m_monitor.SiteView();
    if (const auto open = m_monitor.OpenIncident()) {
        status.Incident = *open;
    }
    status.StatusText = m_monitor.StatusText();
    status.Held = m_monitor.AwaitingConfirmation();
    return status;
}

// What the menu's item does, and what came of it: a step that took the
// session's token is a round begun; anything else was refused, and the
// status line says why (the guard's pause, a round under way, the held
// settings), as it does for the menu.
TRestartAnswer TMonitorWebSource::AskRestart() const {
    const bool running = m_monitor.ResetSessionRunning();
    m_monitor.RestartNow();
    if (!running && m_monitor.ResetSessionRunning()) {
        return {TRestartAnswer::TResult::Started, {}};
    }
    // The refusal is on the status line (the same text again for a request
    // refused for the same reason): a round under way, the hold-off, the
    // pause, the held settings.
    const std::string reason = m_monitor.StatusText();
    return {TRestartAnswer::TResult::Refused, reason.empty() ? "refused" : reason};
}

void TMonitorWebSource::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (m_requested) {
            m_requested = false;
            ++m_asked;
            lock.unlock();
            TRestartAnswer answer{TRestartAnswer::TResult::Busy, "the program is stopping"};
            m_dispatcher.Send([&] { answer = AskRestart(); });
            lock.lock();
            m_answer = answer;
            m_done = m_asked;
            m_answered.notify_all();
            continue; // and the state after it, at once
        }
        lock.unlock();
        TWebStatus status;
        const bool copied = m_dispatcher.Send([&] { status = Copy(); });
        lock.lock();
        if (copied) {
            m_status = std::move(status);
        }
        m_wake.wait_for(lock, kRefreshInterval, [&] { return m_stop || m_requested; });
    }
}

} // namespace pingvard
