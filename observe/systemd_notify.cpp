// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/systemd_notify.h"

#include "observe/notify_datagram.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace pingvard {

namespace {

constexpr std::size_t kMaxPending = 32; // beyond it the oldest status goes

} // namespace

TSystemdNotifier::TSystemdNotifier(std::function<bool()> health) : m_health(std::move(health)) {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    m_active = socket != nullptr && *socket != '\0';
    if (!m_active) {
        return;
    }
    m_socket = socket;
    m_watchdog = pingvard::WatchdogInterval(std::getenv("WATCHDOG_USEC"),
                                            std::getenv("WATCHDOG_PID"), ::getpid())
                     .value_or(std::chrono::microseconds{0});
    m_thread = std::thread([this] { Run(); });
}

TSystemdNotifier::~TSystemdNotifier() {
    Stop();
}

void TSystemdNotifier::Queue(std::string message, bool isStatus) noexcept {
    if (!m_active) {
        return;
    }
    try {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        if (isStatus && !m_pending.empty() && m_pending.back().second) {
            m_pending.back().first = std::move(message);
        } else {
            if (m_pending.size() >= kMaxPending) {
                auto oldest = std::find_if(m_pending.begin(), m_pending.end(),
                                           [](const auto& p) { return p.second; });
                m_pending.erase(oldest == m_pending.end() ? m_pending.begin() : oldest);
            }
            m_pending.emplace_back(std::move(message), isStatus);
        }
    } catch (...) { // out of memory: a lost status line, never a stopped monitor
        return;
    }
    m_wake.notify_one();
}

void TSystemdNotifier::Ready() noexcept {
    Queue("READY=1", false);
}

void TSystemdNotifier::Reloading() noexcept {
    Queue("RELOADING=1", false);
}

void TSystemdNotifier::Stopping() noexcept {
    Queue("STOPPING=1", false);
}

void TSystemdNotifier::Status(const std::string& text) noexcept {
    try {
        std::string line = "STATUS=" + text;
        // A line break would end the assignment and start a bogus one.
        std::replace_if(
            line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        Queue(std::move(line), true);
    } catch (...) {
    }
}

void TSystemdNotifier::Publish(const TMonitorEvent& event) noexcept {
    try {
        if (event.Kind == TMonitorEventKind::StatusText) {
            m_status = event.Text;
        } else if (event.Kind == TMonitorEventKind::SiteState) {
            m_site = event.Text;
        } else {
            return;
        }
        Status(StatusLine(m_site, m_status));
    } catch (...) { // out of memory: a lost status line, never a stopped monitor
    }
}

std::string TSystemdNotifier::StatusLine(const std::string& site, const std::string& status) {
    if (site.empty()) {
        return status;
    }
    return "Site " + site + (status.empty() ? "" : "; " + status);
}

void TSystemdNotifier::Stop() noexcept {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void TSystemdNotifier::Run() {
    using Clock = std::chrono::steady_clock;
    const auto period = m_watchdog / 2; // systemd's own advice: ping at half the interval
    Clock::time_point nextPing = Clock::now() + period;
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto wakeUp = [this] { return !m_pending.empty() || m_stopping; };
        if (m_watchdog.count() > 0 && m_ready) {
            m_wake.wait_until(lock, nextPing, wakeUp);
        } else {
            m_wake.wait(lock, wakeUp);
        }
        while (!m_pending.empty()) {
            const std::string message = std::move(m_pending.front().first);
            m_pending.pop_front();
            if (message == "READY=1") {
                m_ready = true;
                nextPing = Clock::now() + period;
            }
            lock.unlock();
            SendNotifyDatagram(m_socket, message);
            lock.lock();
        }
        if (m_stopping) {
            return;
        }
        if (m_watchdog.count() > 0 && m_ready && Clock::now() >= nextPing) {
            nextPing = Clock::now() + period;
            lock.unlock();
            if (!m_health || m_health()) {
                SendNotifyDatagram(m_socket, "WATCHDOG=1");
            }
            lock.lock();
        }
    }
}

} // namespace pingvard
