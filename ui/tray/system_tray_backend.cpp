// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tray/system_tray_backend.h"

#include <QCursor>

namespace pingvard {

TSystemTrayBackend::TSystemTrayBackend(QObject* parent) : QObject(parent) {
    m_available = m_watch.Present();
    if (!m_available) {
        m_watch.WatchUntilPresent([this] { HostAppeared(); });
    }
}

TSystemTrayBackend::~TSystemTrayBackend() {
    if (m_icon) {
        m_icon->hide();
    }
}

bool TSystemTrayBackend::Add(const QIcon& icon, const QString& tip) {
    m_image = icon;
    m_tip = tip;
    m_added = true;
    if (m_available) {
        Show();
    }
    return m_available;
}

bool TSystemTrayBackend::Modify(const QIcon& icon, const QString& tip) {
    if (!m_added) {
        return false;
    }
    // Each change is a signal on the D-Bus path: only what changed goes out.
    const bool newImage = icon.cacheKey() != m_image.cacheKey();
    const bool newTip = tip != m_tip;
    m_image = icon;
    m_tip = tip;
    if (m_icon && newImage) {
        m_icon->setIcon(icon);
    }
    if (m_icon && newTip) {
        m_icon->setToolTip(tip);
    }
    return m_available;
}

bool TSystemTrayBackend::Remove() {
    if (!m_added) {
        return false;
    }
    m_added = false;
    if (m_icon) {
        m_icon->hide();
    }
    return true;
}

void TSystemTrayBackend::SetMenu(QMenu* menu) {
    m_menu = menu;
    if (m_icon) {
        m_icon->setContextMenu(menu);
    }
}

std::optional<QPoint> TSystemTrayBackend::CursorPos() const {
    return QCursor::pos();
}

bool TSystemTrayBackend::ShowMessage(const QString& title, const QString& text, bool critical) {
    if (!m_icon || !m_added || !m_available) {
        return false;
    }
    m_icon->showMessage(title, text,
                        critical ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information);
    return true;
}

// The menu goes in before the icon is shown, so that the D-Bus item is
// registered with its menu from the start.
void TSystemTrayBackend::Show() {
    if (!m_icon) {
        m_icon = std::make_unique<QSystemTrayIcon>();
        connect(m_icon.get(), &QSystemTrayIcon::activated, this, &TSystemTrayBackend::OnActivated);
        m_icon->setContextMenu(m_menu);
    }
    m_icon->setIcon(m_image);
    m_icon->setToolTip(m_tip);
    m_icon->show();
}

void TSystemTrayBackend::HostAppeared() {
    m_available = true;
    if (m_added) {
        Show();
    }
    if (Appeared) {
        Appeared();
    }
}

void TSystemTrayBackend::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    if (!Activated) {
        return;
    }
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        Activated(TTrayActivation::Trigger);
        break;
    case QSystemTrayIcon::DoubleClick:
        Activated(TTrayActivation::DoubleClick);
        break;
    case QSystemTrayIcon::Context:
        Activated(TTrayActivation::Context);
        break;
    case QSystemTrayIcon::MiddleClick:
        Activated(TTrayActivation::MiddleClick);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

} // namespace pingvard
