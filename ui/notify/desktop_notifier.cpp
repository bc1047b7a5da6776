// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/notify/desktop_notifier.h"

namespace pingvard {

namespace {

bool Notifiable(TMonitorEventKind kind) noexcept {
    return kind == TMonitorEventKind::RuleFired || kind == TMonitorEventKind::ActionOutcome ||
           kind == TMonitorEventKind::HostDown || kind == TMonitorEventKind::HostUp;
}

QString HostName(const TMonitorEvent& event) {
    if (!event.DisplayName.empty()) {
        return QString::fromStdString(event.DisplayName);
    }
    if (!event.Host.empty()) {
        return QString::fromStdString(event.Host);
    }
    return TDesktopNotifier::tr("Host %1").arg(event.Slot + 1);
}

// "plug (http)", "telnet", or empty when the event names no action.
QString ActionName(const TMonitorEvent& event) {
    const QString name = QString::fromStdString(event.Action);
    const QString kind = QString::fromStdString(event.ActionKind);
    if (name.isEmpty() || kind.isEmpty() || name == kind) {
        return name.isEmpty() ? kind : name;
    }
    return QStringLiteral("%1 (%2)").arg(name, kind);
}

} // namespace

TDesktopNotifier::TDesktopNotifier(const TNotificationSettings& settings,
                                   std::unique_ptr<TNotificationChannel> channel, QObject* parent)
    : QObject(parent), m_settings(settings), m_channel(std::move(channel)) {}

void TDesktopNotifier::Publish(const TMonitorEvent& event) noexcept {
    if (!Notifiable(event.Kind)) {
        return; // echoes, four every interval: not even a copy
    }
    if (m_pending.fetch_add(1) >= kMaxPending) {
        m_pending.fetch_sub(1);
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    try {
        QMetaObject::invokeMethod(
            this,
            [this, event] {
                m_pending.fetch_sub(1);
                Deliver(event);
            },
            Qt::QueuedConnection);
    } catch (...) { // out of memory for the copy: one notification fewer
        m_pending.fetch_sub(1);
        m_dropped.fetch_add(1, std::memory_order_relaxed);
    }
}

void TDesktopNotifier::Deliver(const TMonitorEvent& event) {
    if (const auto notification = Compose(event, m_settings)) {
        m_channel->Show(*notification);
    }
}

std::optional<TDesktopNotification> TDesktopNotifier::Compose(const TMonitorEvent& event,
                                                              const TNotificationSettings& s) {
    TDesktopNotification n;
    const QString text = QString::fromStdString(event.Text);
    switch (event.Kind) {
    case TMonitorEventKind::RuleFired:
        if (!s.RuleFired) {
            return std::nullopt;
        }
        n.Summary = tr("Sledované hosty neodpovídají");
        n.Body = tr("Spouští se obnova přístupového bodu.");
        if (!text.isEmpty()) {
            n.Body += '\n' + text;
        }
        return n;
    case TMonitorEventKind::ActionOutcome: {
        if (!s.ActionOutcome) {
            return std::nullopt;
        }
        const QString action = ActionName(event);
        if (action.isEmpty()) {
            n.Summary = event.Ok ? tr("Obnova proběhla") : tr("Obnova selhala");
        } else {
            n.Summary = (event.Ok ? tr("Obnova %1 proběhla") : tr("Obnova %1 selhala")).arg(action);
        }
        n.Body = text;
        n.Critical = !event.Ok;
        return n;
    }
    case TMonitorEventKind::HostDown:
        if (!s.HostDown) {
            return std::nullopt;
        }
        n.Summary = tr("%1 neodpovídá").arg(HostName(event));
        n.Body = tr("Host %1 přestal odpovídat na ozvěny.").arg(QString::fromStdString(event.Host));
        n.Slot = event.Slot;
        return n;
    case TMonitorEventKind::HostUp:
        if (!s.HostUp) {
            return std::nullopt;
        }
        n.Summary = tr("%1 opět odpovídá").arg(HostName(event));
        n.Body = tr("Host %1 znovu odpovídá na ozvěny.").arg(QString::fromStdString(event.Host));
        n.Slot = event.Slot;
        return n;
    default:
        return std::nullopt;
    }
}

} // namespace pingvard
