#pragma once

#include "ui/tray_backend.h"

#include <QObject>
#include <QSystemTrayIcon>

namespace pingvard {

// The notification area of the desktop, through QSystemTrayIcon. The icon gets
// no context menu of Qt's own: TTrayIcon shows its menu itself on Context.
class TSystemTrayBackend : public QObject, public TTrayBackend {
    Q_OBJECT
public:
    explicit TSystemTrayBackend(QObject* parent = nullptr);
    ~TSystemTrayBackend() override;

    bool Available() const override;
    bool Add(const QIcon& icon, const QString& tip) override;
    bool Modify(const QIcon& icon, const QString& tip) override;
    bool Remove() override;
    std::optional<QPoint> CursorPos() const override;

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_icon;
    bool m_added = false;
};

} // namespace pingvard
