// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/notifier.h"

#include "net/tick_clock.h"
#include "observe/notify/daily_report.h"
#include "observe/notify/requests.h"
#include "recovery/secret_mask.h"

#include <algorithm>
#include <limits>

namespace pingvard {

namespace {

// Events waiting for the worker; far beyond what an outage publishes.
constexpr std::size_t kHandOffLimit = 4096;

bool Wanted(const std::vector<TNotifyChannel>& channels, TMonitorEventKind kind) {
    return std::any_of(channels.begin(), channels.end(),
                       [kind](const TNotifyChannel& c) { return c.Wants(kind); });
}

} // namespace

TNotifier::TNotifier(TNotifierOptions options)
    : m_options(std::move(options)), m_outbox(m_options.MaxQueued),
      m_states(m_options.Channels.size()) {
    m_worker = std::thread([this] { Run(); });
}

TNotifier::~TNotifier() {
    Stop();
}

void TNotifier::Publish(const TMonitorEvent& event) noexcept {
    const bool back = event.Kind == TMonitorEventKind::SiteBack ||
                      (event.Kind == TMonitorEventKind::SiteState && event.Site == TSiteState::Up);
    const bool wanted = Wanted(m_options.Channels, event.Kind);
    if (!back && !wanted) {
        return;
    }
    try {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_retryNow = m_retryNow || back; // the line is back: what waits goes now
        if (wanted && m_incoming.size() < kHandOffLimit) {
            m_incoming.push_back(event);
            ++m_handedOver;
        }
    } catch (...) {
        return; // out of memory: this event is not sent
    }
    m_wake.notify_one();
}

void TNotifier::Stop() noexcept {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped) {
            return;
        }
        m_stopped = true;
        m_stopping = true;
    }
    if (m_options.Transport) {
        m_options.Transport->Abort();
    }
    m_wake.notify_all();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void TNotifier::Flush() {
    std::unique_lock lock(m_mutex);
    const uint64_t target = m_passesBegun + 1; // one that begins after this call
    m_poked = true;
    m_wake.notify_one();
    m_idle.wait(lock,
                [&] { return (m_queued >= m_handedOver && m_passesDone >= target) || m_stopped; });
}

int64_t TNotifier::WallNow() const {
    if (m_options.WallClock) {
        return m_options.WallClock();
    }
    return WallClockMs();
}

int64_t TNotifier::QueueDailyReport() {
    const int64_t now = WallNow();
    const bool wanted = std::any_of(m_options.Channels.begin(), m_options.Channels.end(),
                                    [](const TNotifyChannel& c) { return c.DailyReport; });
    if (!wanted) {
        return std::numeric_limits<int64_t>::max();
    }
    const auto due = DueDailyReport(now, m_options.DailyReportMinute);
    if (due && *due != m_reportDone) {
        m_reportDone = *due;
        const TNotification report = MakeDailyReport(*due, now, m_options.Site,
                                                     ReadDailyHistory(m_options.HistoryFile, now));
        for (std::size_t i = 0; i < m_options.Channels.size(); ++i) {
            const TNotifyChannel& channel = m_options.Channels[i];
            if (!channel.DailyReport) {
                continue;
            }
            // A report queued or sent before a restart is a duplicate here.
            const TPutResult put = m_outbox.Put(channel.Name, report);
            if (put == TPutResult::Queued && !m_states[i].Failing) {
                m_states[i].NextTry = {};
            } else if (put == TPutResult::Failed) {
                Say("Notification " + report.Id + " for " + ChannelSetting(channel.Name) +
                    " not queued: " + m_outbox.Error());
            }
        }
    }
    return NextDailyReport(now, m_options.DailyReportMinute);
}

void TNotifier::Say(const std::string& line) {
    if (m_options.Report) {
        m_options.Report(MaskSecrets(line, m_options.Secrets));
    }
}

void TNotifier::QueueIncoming(std::deque<TMonitorEvent>& events) {
    for (const TMonitorEvent& event : events) {
        const TNotification message = MakeNotification(event, m_options.Site);
        for (const TNotifyChannel& channel : m_options.Channels) {
            if (!channel.Wants(event.Kind)) {
                continue;
            }
            const int64_t before = static_cast<int64_t>(m_outbox.DroppedTotal(channel.Name));
            const TPutResult put = m_outbox.Put(channel.Name, message);
            const std::size_t index =
                static_cast<std::size_t>(&channel - m_options.Channels.data());
            if (put == TPutResult::Queued && !m_states[index].Failing) {
                m_states[index].NextTry = {}; // an idle channel sends at once
            }
            if (put == TPutResult::Failed) {
                Say("Notification " + message.Id + " for " + ChannelSetting(channel.Name) +
                    " not queued: " + m_outbox.Error());
            } else if (static_cast<int64_t>(m_outbox.DroppedTotal(channel.Name)) > before &&
                       !m_states[index].DropSaid) {
                // Once per overflow: the count follows when it sends again.
                m_states[index].DropSaid = true;
                Say(ChannelSetting(channel.Name) + ": " + std::to_string(m_options.MaxQueued) +
                    " messages wait; dropping the oldest");
            }
        }
    }
    std::lock_guard lock(m_mutex);
    m_queued += events.size();
    events.clear();
    m_idle.notify_all();
}

bool TNotifier::SendNext(std::size_t index) {
    const TNotifyChannel& channel = m_options.Channels[index];
    TChannelState& state = m_states[index];
    const auto next = m_outbox.Front(channel.Name);
    if (!next) {
        return true;
    }
    const TDelivery delivery =
        channel.Kind == TNotifyKind::Email
            ? m_options.Transport->Send(BuildMail(channel, next->Message, next->DroppedBefore))
            : m_options.Transport->Send(BuildPost(channel, next->Message, next->DroppedBefore));
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping && !delivery.Accepted) {
            return false; // aborted: neither a failure to say nor a pause to grow
        }
    }
    if (delivery.Accepted) {
        if (!m_outbox.Delivered(channel.Name, next->Message.Id, next->DroppedBefore)) {
            Say(ChannelSetting(channel.Name) + ": sent " + next->Message.Id +
                " but cannot mark it sent: " + m_outbox.Error());
        }
        if (state.Failing) {
            Say(ChannelSetting(channel.Name) + ": delivering again (" + delivery.Answer + ")" +
                (next->DroppedBefore == 0 ? std::string()
                                          : "; " + std::to_string(next->DroppedBefore) +
                                                " dropped while the queue was full"));
        }
        state = TChannelState{};
        return true;
    }
    state.Pause = std::clamp(state.Pause * 2, m_options.FirstRetry, m_options.LongestRetry);
    state.NextTry = std::chrono::steady_clock::now() + state.Pause;
    if (!state.Failing) {
        state.Failing = true;
        Say(ChannelSetting(channel.Name) + ": not delivered: " + delivery.Answer + "; " +
            std::to_string(m_outbox.Waiting(channel.Name)) + " waiting, trying again");
    }
    return false;
}

void TNotifier::Run() {
    if (!m_outbox.Open(m_options.OutboxFile)) {
        Say("Notifications off: cannot open " + m_options.OutboxFile + ": " + m_outbox.Error());
        std::unique_lock lock(m_mutex);
        m_queued = m_handedOver = 0;
        m_stopped = true; // Flush returns
        m_idle.notify_all();
        m_wake.wait(lock, [this] { return m_stopping; });
        return;
    }
    std::deque<TMonitorEvent> events;
    int64_t reportAt = QueueDailyReport();
    uint64_t pass = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            const auto now = std::chrono::steady_clock::now();
            // The wall clock may be set or jump: looked at every minute at least.
            const int64_t toReport = reportAt == std::numeric_limits<int64_t>::max()
                                         ? 3'600'000
                                         : std::clamp<int64_t>(reportAt - WallNow(), 0, 60'000);
            auto wakeAt = now + std::chrono::milliseconds(toReport);
            bool due = false;
            for (const TChannelState& s : m_states) {
                due = due || s.NextTry <= now;
                wakeAt = std::min(wakeAt, s.NextTry);
            }
            if (!due) {
                m_wake.wait_until(lock, wakeAt, [this] {
                    return m_stopping || m_retryNow || m_poked || !m_incoming.empty();
                });
            }
            m_poked = false;
            pass = ++m_passesBegun;
            if (m_stopping) {
                events.swap(m_incoming);
                lock.unlock();
                QueueIncoming(events); // handed over before the stop: kept for the next start
                return;
            }
            events.swap(m_incoming);
            if (m_retryNow) {
                m_retryNow = false;
                for (TChannelState& s : m_states) {
                    s.NextTry = {};
                }
            }
        }
        QueueIncoming(events);
        reportAt = QueueDailyReport();
        const auto now = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < m_states.size(); ++i) {
            // What is due goes now, up to a batch: new events are not kept
            // waiting behind a long queue.
            for (int sent = 0; sent < 16 && m_states[i].NextTry <= now; ++sent) {
                if (m_outbox.Waiting(m_options.Channels[i].Name) == 0 || !SendNext(i)) {
                    break;
                }
            }
            if (m_outbox.Waiting(m_options.Channels[i].Name) == 0) {
                m_states[i].NextTry = std::chrono::steady_clock::time_point::max();
                m_states[i].Pause = {};
            }
        }
        std::lock_guard lock(m_mutex);
        m_passesDone = pass;
        m_idle.notify_all();
    }
}

} // namespace pingvard
