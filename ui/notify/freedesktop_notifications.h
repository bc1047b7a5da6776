// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/notify/desktop_notifier.h"

#include <QDBusConnection>
#include <QObject>
#include <deque>
#include <functional>
#include <map>
#include <optional>

namespace pingvard {

// The desktop's notification service (org.freedesktop.Notifications on the
// session bus), with the tray icon's balloon in its place when the bus or
// the service is missing or does not answer.
//
// Calls are asynchronous, one at a time and in order, so the GUI thread never
// waits for the service, and a host's "up" replaces its "down" (the service's
// replaces_id) once the service has numbered the "down".
class TFreedesktopNotifications : public QObject, public TNotificationChannel {
    Q_OBJECT
public:
    // Shows one notification some other way; false when it could not either.
    using TBalloon = std::function<bool(const TDesktopNotification&)>;
    // How long the service may take to answer before the balloon stands in.
    static constexpr int kCallTimeoutMs = 5000;
    // Notifications waiting for the service beyond this are dropped.
    static constexpr std::size_t kMaxQueued = 32;

    explicit TFreedesktopNotifications(TBalloon balloon,
                                       QDBusConnection bus = QDBusConnection::sessionBus(),
                                       QObject* parent = nullptr);

    void Show(const TDesktopNotification& notification) override;

    // Told once when notifications go to the balloon, and once when the
    // service takes them again.
    std::function<void(const QString&)> OnDiagnostic;

signals:
    // The service took the notification and numbered it.
    void Delivered(uint id, const QString& summary);
    // The balloon stood in (shown says whether it could).
    void FellBack(const QString& summary, bool shown);

private:
    void SendNext();
    void Sent(const TDesktopNotification& notification, std::optional<uint> id,
              const QString& error);

    TBalloon m_balloon;
    QDBusConnection m_bus;
    std::deque<TDesktopNotification> m_queue;
    bool m_busy = false;
    std::optional<bool> m_markup; // the service reads the body as markup
    bool m_fallingBack = false;
    std::map<int, uint> m_slotIds; // the service's number of each slot's last host notification
};

} // namespace pingvard
