#include "ui/system_tray_backend.h"

#include <QCursor>

namespace pingvard {

TSystemTrayBackend::TSystemTrayBackend(QObject* parent) : QObject(parent) {
    connect(&m_icon, &QSystemTrayIcon::activated, this, &TSystemTrayBackend::OnActivated);
}

TSystemTrayBackend::~TSystemTrayBackend() {
    m_icon.hide();
}

bool TSystemTrayBackend::Available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TSystemTrayBackend::Add(const QIcon& icon, const QString& tip) {
    m_icon.setIcon(icon);
    m_icon.setToolTip(tip);
    m_icon.show();
    m_added = true;
    return Available();
}

bool TSystemTrayBackend::Modify(const QIcon& icon, const QString& tip) {
    if (!m_added) {
        return false;
    }
    m_icon.setIcon(icon);
    m_icon.setToolTip(tip);
    return true;
}

bool TSystemTrayBackend::Remove() {
    if (!m_added) {
        return false;
    }
    m_icon.hide();
    m_added = false;
    return true;
}

std::optional<QPoint> TSystemTrayBackend::CursorPos() const {
    return QCursor::pos();
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
