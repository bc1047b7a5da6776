// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/tray/tray_backend.h"
#include "ui/tray/tray_host_watch.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <memory>

namespace pingvard {

// The notification area of the desktop, through QSystemTrayIcon. The icon is
// made only once a notification area is there (see TTrayHostWatch), so that
// Qt picks the D-Bus tray whenever the desktop offers one, also when the
// panel starts after the program. The menu is Qt's to show: exported over
// D-Bus, or popped up by Qt itself on an XEmbed tray.
class TSystemTrayBackend : public QObject, public TTrayBackend {
    Q_OBJECT
public:
    explicit TSystemTrayBackend(QObject* parent = nullptr);
    ~TSystemTrayBackend() override;

    bool Available() const override { return m_available; }
    bool Add(const QIcon& icon, const QString& tip) override;
    bool Modify(const QIcon& icon, const QString& tip) override;
    bool Remove() override;
    void SetMenu(QMenu* menu) override;
    std::optional<QPoint> CursorPos() const override;
    bool ShowMessage(const QString& title, const QString& text, bool critical) override;

private:
    void Show();
    void HostAppeared();
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    TTrayHostWatch m_watch;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    QPointer<QMenu> m_menu;
    QIcon m_image;
    QString m_tip;
    bool m_available = false;
    bool m_added = false;
};

} // namespace pingvard
