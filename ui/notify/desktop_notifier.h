// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/observe_settings.h"
#include "events/monitor_event.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace pingvard {

struct TDesktopNotification {
    QString Summary;
    QString Body;          // plain text
    bool Critical = false; // a failure the operator should not miss
    int Slot = -1;         // host events: a later one of the slot replaces this one
};

// Where notifications are shown: the desktop's notification service, or the
// tray icon's balloon (see TFreedesktopNotifications).
class TNotificationChannel {
public:
    virtual ~TNotificationChannel() = default;
    virtual void Show(const TDesktopNotification& notification) = 0;
};

// Tells the operator on the desktop what the incident does, as the
// [Notifications] settings choose: RuleFired switches the site going down
// (with its cause), restarts paused (until when) and the site back (after how
// long, cured by what), once each; ActionOutcome each action's start and
// outcome; HostDown and HostUp each host's. Nothing is said when the rule
// holds without an action following.
//
// It subscribes to the monitor's events like any other consumer. Publish
// runs on whichever thread publishes: it keeps only the kinds it may show and hands each to the GUI
// thread's event queue; it never waits, and when the GUI thread has fallen more than kMaxPending
// behind it drops the event and counts it.
class TDesktopNotifier : public QObject, public TEventSink {
    Q_OBJECT
public:
    static constexpr int kMaxPending = 64;

    TDesktopNotifier(const TNotificationSettings& settings,
                     std::unique_ptr<TNotificationChannel> channel, QObject* parent = nullptr);

    // On the GUI thread, e.g. after the settings dialog's OK; applies to the
    // events not yet shown.
    void SetSettings(const TNotificationSettings& settings) { m_settings = settings; }
    const TNotificationSettings& Settings() const { return m_settings; }

    void Publish(const TMonitorEvent& event) noexcept override;
    uint64_t Dropped() const noexcept { return m_dropped.load(std::memory_order_relaxed); }

    // The notification an event makes under the settings, if any.
    static std::optional<TDesktopNotification> Compose(const TMonitorEvent& event,
                                                       const TNotificationSettings& settings);

private:
    void Deliver(const TMonitorEvent& event);
    static TDesktopNotification Incident(const TMonitorEvent& event);
    static TDesktopNotification Step(const TMonitorEvent& event);
    static TDesktopNotification Host(const TMonitorEvent& event);

    TNotificationSettings m_settings;
    std::unique_ptr<TNotificationChannel> m_channel;
    std::atomic<int> m_pending{0};
    std::atomic<uint64_t> m_dropped{0};
};

} // namespace pingvard
