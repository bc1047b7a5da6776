// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/notify/desktop_observers.h"

#include "config/program_dir.h"
#include "ui/main_form.h"
#include "ui/notify/freedesktop_notifications.h"

#include <QEvent>
#include <cstdio>

namespace pingvard {

TDesktopObservers::TDesktopObservers(TMainForm& form) : QObject(&form), m_form(form) {
    // A double click anywhere on a host's row opens its graph.
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (TLabel* label : form.RowLabels(slot)) {
            label->setProperty("pingvardSlot", slot);
            label->installEventFilter(this);
        }
    }
}

TDesktopObservers::~TDesktopObservers() {
    Stop();
}

void TDesktopObservers::Start() {
    THostMonitor& monitor = m_form.Monitor();
    TMainForm& form = m_form;
    m_observers = std::make_unique<TProgramObservers>(monitor, form.Dispatcher(),
                                                      [&form](const std::string& line) {
                                                          if (form.OnDiagnostic) {
                                                              form.OnDiagnostic(line);
                                                          }
                                                      });
    auto channel =
        std::make_unique<TFreedesktopNotifications>([&form](const TDesktopNotification& n) {
            return form.TrayIcon1->Backend().ShowMessage(n.Summary, n.Body, n.Critical);
        });
    channel->OnDiagnostic = [&form](const QString& text) {
        if (form.OnDiagnostic) {
            form.OnDiagnostic(text.toStdString());
        }
    };
    m_notifier = std::make_unique<TDesktopNotifier>(monitor.Settings().Observe.Notifications,
                                                    std::move(channel));
    monitor.Events().Add(*m_notifier);
}

void TDesktopObservers::Stop() noexcept {
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    if (m_notifier) {
        m_form.Monitor().Events().Remove(*m_notifier);
    }
    if (m_observers) {
        m_observers->Stop();
    }
}

void TDesktopObservers::SettingsChanged() {
    const TSettings settings = m_form.Monitor().Settings();
    if (m_notifier) {
        m_notifier->SetSettings(settings.Observe.Notifications);
    }
    if (m_observers) {
        if (TEchoLiveness* liveness = m_observers->Observers().Liveness()) {
            liveness->SetStaleMs(TProgramObservers::WatchdogStaleMs(settings));
        }
    }
    if (auto* window = m_form.findChild<THistoryForm*>(QString(), Qt::FindDirectChildrenOnly)) {
        window->SetHosts(HistoryOptions().Hosts);
    }
}

THistoryWindowOptions TDesktopObservers::HistoryOptions() const {
    const TSettings settings = m_form.Monitor().Settings();
    THistoryWindowOptions options;
    options.HistoryFile = HistoryFileName(settings.Observe.History, GetProgramDir());
    for (const THostSettings& host : settings.Hosts) {
        options.Hosts.push_back({host.Hostname, host.DisplayName});
    }
    return options;
}

void TDesktopObservers::OpenHistory(int slot) {
    THistoryWindowOptions options = HistoryOptions();
    if (slot >= 0 && slot < static_cast<int>(options.Hosts.size())) {
        options.FocusHost = options.Hosts[static_cast<std::size_t>(slot)].Address;
    }
    OpenHistoryWindow(&m_form, std::move(options));
}

bool TDesktopObservers::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        OpenHistory(watched->property("pingvardSlot").toInt());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pingvard
