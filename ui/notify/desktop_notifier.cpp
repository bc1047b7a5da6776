// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/notify/desktop_notifier.h"

#include "rounds/site_text.h"
#include "ui/tray/site_tooltip.h"

#include <QStringList>

namespace pingvard {

namespace {

// The rule firing is no kind of its own here: it is said by the incident it
// begins and by the action it starts, never as "recovery is starting" when
// no action follows.
bool Notifiable(TMonitorEventKind kind) noexcept {
    return kind == TMonitorEventKind::ActionStarted || kind == TMonitorEventKind::ActionOutcome ||
           kind == TMonitorEventKind::HostDown || kind == TMonitorEventKind::HostUp ||
           kind == TMonitorEventKind::SiteDown || kind == TMonitorEventKind::SiteBack ||
           kind == TMonitorEventKind::RestartsPaused;
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

QString Clock(int64_t ms) {
    return QString::fromStdString(LocalClockText(ms));
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
    switch (event.Kind) {
    case TMonitorEventKind::SiteDown:
    case TMonitorEventKind::SiteBack:
    case TMonitorEventKind::RestartsPaused:
        return s.RuleFired ? std::optional(Incident(event)) : std::nullopt;
    case TMonitorEventKind::ActionStarted:
    case TMonitorEventKind::ActionOutcome:
        return s.ActionOutcome ? std::optional(Step(event)) : std::nullopt;
    case TMonitorEventKind::HostDown:
        return s.HostDown ? std::optional(Host(event)) : std::nullopt;
    case TMonitorEventKind::HostUp:
        return s.HostUp ? std::optional(Host(event)) : std::nullopt;
    default:
        return std::nullopt;
    }
}

// Once when the site goes down, once per pause, once when it is back.
TDesktopNotification TDesktopNotifier::Incident(const TMonitorEvent& event) {
    TDesktopNotification n;
    const TIncident none;
    const TIncident& incident = event.Incident ? *event.Incident : none;
    QStringList hosts;
    for (const std::string& host : incident.HostsDown) {
        hosts << QString::fromStdString(host);
    }
    const QString cause = TSiteToolTip::CauseText(incident.Cause);
    switch (event.Kind) {
    case TMonitorEventKind::SiteDown:
        n.Summary = tr("Výpadek sítě (%1)").arg(cause);
        n.Body = tr("Neodpovídá: %1").arg(hosts.join(QStringLiteral(", ")));
        n.Critical = true;
        break;
    case TMonitorEventKind::RestartsPaused:
        n.Summary = tr("Restarty pozastaveny do %1").arg(Clock(event.UntilMs));
        n.Body = tr("Mimo provoz od %1: %2").arg(Clock(incident.StartMs), cause);
        n.Critical = true;
        break;
    default: {
        const QString elapsed =
            QString::fromStdString(ElapsedText(incident.DurationMs(incident.EndMs)));
        const QString how = incident.CuredBy.empty()
                                ? tr("bez obnovy")
                                : tr("obnovil %1").arg(QString::fromStdString(incident.CuredBy));
        n.Summary = tr("Síť opět funguje po %1 (%2)").arg(elapsed, how);
        n.Body = tr("Příčina: %1, kroků obnovy: %2").arg(cause).arg(incident.Steps.size());
        break;
    }
    }
    return n;
}

// Each action's start and outcome.
TDesktopNotification TDesktopNotifier::Step(const TMonitorEvent& event) {
    TDesktopNotification n;
    const QString action = ActionName(event);
    if (event.Kind == TMonitorEventKind::ActionStarted) {
        n.Summary =
            action.isEmpty() ? tr("Spouští se obnova") : tr("Spouští se obnova %1").arg(action);
        if (event.Incident) {
            n.Body = tr("Mimo provoz od %1: %2")
                         .arg(Clock(event.Incident->StartMs),
                              TSiteToolTip::CauseText(event.Incident->Cause));
        }
        return n;
    }
    if (action.isEmpty()) {
        n.Summary = event.Ok ? tr("Obnova proběhla") : tr("Obnova selhala");
    } else {
        n.Summary = (event.Ok ? tr("Obnova %1 proběhla") : tr("Obnova %1 selhala")).arg(action);
    }
    n.Body = QString::fromStdString(event.Text);
    n.Critical = !event.Ok;
    return n;
}

TDesktopNotification TDesktopNotifier::Host(const TMonitorEvent& event) {
    TDesktopNotification n;
    const QString address = QString::fromStdString(event.Host);
    if (event.Kind == TMonitorEventKind::HostDown) {
        n.Summary = tr("%1 neodpovídá").arg(HostName(event));
        n.Body = tr("Host %1 přestal odpovídat na ozvěny.").arg(address);
    } else {
        n.Summary = tr("%1 opět odpovídá").arg(HostName(event));
        n.Body = tr("Host %1 znovu odpovídá na ozvěny.").arg(address);
    }
    n.Slot = event.Slot;
    return n;
}

} // namespace pingvard
