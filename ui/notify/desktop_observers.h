// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "observe/program_observers.h"
#include "ui/history/history_form.h"
#include "ui/notify/desktop_notifier.h"

#include <QObject>
#include <memory>
#include <string>

namespace pingvard {

class TMainForm;

// What the desktop program adds to the monitor's events: the observers every
// program runs (history, metrics, hooks, the service notification), desktop
// notifications, and the history window, opened from the menus or by a
// double click on a host's row.
class TDesktopObservers : public QObject {
    Q_OBJECT
public:
    explicit TDesktopObservers(TMainForm& form);
    ~TDesktopObservers() override; // Stop()

    // After the monitor has started.
    void Start();
    // After the monitor's shutdown; idempotent.
    void Stop() noexcept;
    // The settings dialog's OK: the notification switches and the window's hosts.
    void SettingsChanged();

    // Opens the history window, or brings the open one forward; slot >= 0
    // gives that host's graph the focus.
    void OpenHistory(int slot = -1);
    TDesktopNotifier* Notifier() { return m_notifier.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    THistoryWindowOptions HistoryOptions() const;

    TMainForm& m_form;
    std::unique_ptr<TProgramObservers> m_observers;
    std::unique_ptr<TDesktopNotifier> m_notifier;
    bool m_stopped = false;
};

} // namespace pingvard
