// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The notification channels: a sink of the monitor's events that keeps
// nothing but a short in-memory hand-off, and a worker of its own that first
// writes each notification to the outbox (observe/notify/outbox.h), then
// sends what waits, in order per channel, one message at a time. A message
// the server does not take stays queued and is tried again with a growing
// pause; the site coming back tries again at once. A change between working
// and failing is said once per channel through the report callback. Stop
// aborts a send under way, so it ends within the program's stop budget;
// what is queued stays for the next start. The same worker makes the daily
// report (observe/notify/daily_report.h) for the channels that want it,
// reading the history itself, so no monitoring thread waits on it.

#include "config/notify/notify_settings.h"
#include "events/monitor_event.h"
#include "observe/notify/outbox.h"
#include "observe/notify/transport.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {

struct TNotifierOptions {
    std::vector<TNotifyChannel> Channels;
    std::string OutboxFile;
    int32_t MaxQueued = 1000;
    std::string Site; // the machine's name in titles
    std::function<void(const std::string&)> Report;
    std::vector<std::string> Secrets; // masked in every reported line
    std::unique_ptr<TNotifyTransport> Transport;
    std::chrono::milliseconds FirstRetry{5000};
    std::chrono::milliseconds LongestRetry{60000};
    int32_t DailyReportMinute = 8 * 60; // local time of day
    std::string HistoryFile;            // empty: the history is off
    // Wall-clock ms since 1970; tests set it. Empty: the system clock.
    std::function<int64_t()> WallClock;
};

class TNotifier final : public TEventSink {
public:
    explicit TNotifier(TNotifierOptions options); // starts the worker
    ~TNotifier() override;                        // Stop()
    TNotifier(const TNotifier&) = delete;
    TNotifier& operator=(const TNotifier&) = delete;

    void Publish(const TMonitorEvent& event) noexcept override;
    // Aborts a send under way and joins the worker; the events handed over
    // before are written to the outbox first. Idempotent.
    void Stop() noexcept;

    // For tests: waits until the worker has queued every event handed over
    // and made one pass since (the daily report seen to, what is due sent).
    void Flush();

private:
    struct TChannelState {
        std::chrono::steady_clock::time_point NextTry{};
        std::chrono::milliseconds Pause{0};
        bool Failing = false;
        bool DropSaid = false; // the queue's overflow, said once until it sends again
    };

    void Run();
    void QueueIncoming(std::deque<TMonitorEvent>& events);
    // True when the channel sent or has nothing to send.
    bool SendNext(std::size_t channel);
    void Say(const std::string& line);
    int64_t WallNow() const;
    // Queues the day's report once it is due; returns the wall-clock ms to
    // look again at.
    int64_t QueueDailyReport();

    TNotifierOptions m_options;
    TOutbox m_outbox;
    std::vector<TChannelState> m_states;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<TMonitorEvent> m_incoming;
    bool m_retryNow = false;
    bool m_poked = false;
    uint64_t m_passesBegun = 0; // the worker's passes, for Flush
    uint64_t m_passesDone = 0;
    int64_t m_reportDone = 0; // the report moment last queued by this run
    bool m_stopping = false;
    bool m_stopped = false;
    uint64_t m_handedOver = 0;
    uint64_t m_queued = 0;
    std::thread m_worker;
};

} // namespace pingvard
