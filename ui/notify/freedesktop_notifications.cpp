// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/notify/freedesktop_notifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace pingvard {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The icon and menu entry the desktop package installs.
const QString kDesktopName = QStringLiteral("pingvard");

} // namespace

TFreedesktopNotifications::TFreedesktopNotifications(TBalloon balloon, QDBusConnection bus,
                                                     QObject* parent)
    : QObject(parent), m_balloon(std::move(balloon)), m_bus(std::move(bus)) {}

void TFreedesktopNotifications::Show(const TDesktopNotification& notification) {
    if (m_queue.size() >= kMaxQueued) {
        return; // the service stopped answering; the queued ones fall back as they time out
    }
    m_queue.push_back(notification);
    if (!m_busy) {
        SendNext();
    }
}

// One call at a time; each answer sends the next.
void TFreedesktopNotifications::SendNext() {
    while (!m_queue.empty() && !m_bus.isConnected()) {
        const TDesktopNotification n = m_queue.front();
        m_queue.pop_front();
        Sent(n, std::nullopt, QStringLiteral("no session bus"));
    }
    m_busy = !m_queue.empty();
    if (!m_busy) {
        return;
    }
    if (!m_markup) {
        // A service that reads markup would take the "<" of an outcome text
        // for a tag, one that does not would show "&lt;": ask which it is.
        const QDBusMessage ask =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, "GetCapabilities");
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, kCallTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
            watcher->deleteLater();
            const QDBusPendingReply<QStringList> reply = *watcher;
            if (reply.isError()) { // no service: the Notify would fail the same way
                const TDesktopNotification n = m_queue.front();
                m_queue.pop_front();
                Sent(n, std::nullopt, reply.error().message());
            } else {
                m_markup = reply.value().contains(QStringLiteral("body-markup"));
            }
            SendNext();
        });
        return;
    }
    const TDesktopNotification n = m_queue.front();
    m_queue.pop_front();
    const auto known = n.Slot >= 0 ? m_slotIds.find(n.Slot) : m_slotIds.end();
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(n.Critical ? 2 : 1));
    hints.insert(QStringLiteral("desktop-entry"), kDesktopName);
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    notify << QStringLiteral("Pingvard") << uint(known == m_slotIds.end() ? 0 : known->second)
           << kDesktopName << n.Summary << (*m_markup ? n.Body.toHtmlEscaped() : n.Body)
           << QStringList() << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, n] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) {
            m_markup.reset(); // perhaps another service next time
            Sent(n, std::nullopt, reply.error().message());
        } else {
            Sent(n, reply.value(), {});
        }
        SendNext();
    });
}

void TFreedesktopNotifications::Sent(const TDesktopNotification& n, std::optional<uint> id,
                                     const QString& error) {
    if (id) {
        if (n.Slot >= 0) {
            m_slotIds[n.Slot] = *id;
        }
        if (m_fallingBack) {
            m_fallingBack = false;
            if (OnDiagnostic) {
                OnDiagnostic(QStringLiteral("desktop notifications go to the notification "
                                            "service again"));
            }
        }
        emit Delivered(*id, n.Summary);
        return;
    }
    const bool shown = m_balloon && m_balloon(n);
    if (!m_fallingBack) {
        m_fallingBack = true;
        if (OnDiagnostic) {
            OnDiagnostic(QStringLiteral("no desktop notification service (%1); notifications go "
                                        "to the tray icon")
                             .arg(error));
        }
    }
    emit FellBack(n.Summary, shown);
}

} // namespace pingvard
