// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class QDBusServiceWatcher;

namespace pingvard {

// Whether the desktop has a notification area, and a call when one appears,
// found without Qt's tray code: Qt chooses between the D-Bus tray
// (StatusNotifierItem) and the XEmbed tray once per process, on its first
// look, so a look taken before the panel is up would tie the program to
// XEmbed for good, even on a panel that serves both.
class TTrayHostWatch : public QObject {
    Q_OBJECT
public:
    explicit TTrayHostWatch(QObject* parent = nullptr);

    // A StatusNotifierWatcher on the session bus, or an XEmbed tray on the
    // X display.
    bool Present() const;
    // Watches until a notification area appears, then calls onAppeared once.
    void WatchUntilPresent(std::function<void()> onAppeared);

private:
    static bool WatcherOnBus();
    static bool XEmbedTray();
    void Poll();
    void Found();

    std::function<void()> m_onAppeared;
    QDBusServiceWatcher* m_busWatch = nullptr;
    QTimer m_poll;
    QTimer m_grace;
};

} // namespace pingvard
