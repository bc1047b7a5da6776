// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>
#include <functional>
#include <optional>

class QMenu;

namespace pingvard {

// What the notification area reports about the icon. The desktop turns raw
// button messages into these, so a left press and release arrive as one Trigger.
enum class TTrayActivation { Trigger, DoubleClick, Context, MiddleClick };

// The notification-area facility TTrayIcon talks to: the system tray in the
// program, a fake in the component's tests. Every call reports success; the
// component ignores failures, as the notification area may come and go.
class TTrayBackend {
public:
    virtual ~TTrayBackend() = default;
    virtual bool Available() const = 0;
    virtual bool Add(const QIcon& icon, const QString& tip) = 0;
    virtual bool Modify(const QIcon& icon, const QString& tip) = 0;
    virtual bool Remove() = 0;
    // The icon's menu, handed to the notification area: a desktop that draws
    // menus itself gets it exported, one that does not has it shown on a right
    // click. Either way it may already be open when Context arrives.
    virtual void SetMenu(QMenu* menu) = 0;
    // The mouse cursor in screen coordinates, if it can be read.
    virtual std::optional<QPoint> CursorPos() const = 0;
    // A message beside the icon (the tray's balloon), for desktops without a
    // notification service; false when the icon is not in a notification area.
    virtual bool ShowMessage(const QString& /*title*/, const QString& /*text*/, bool /*critical*/) {
        return false;
    }

    // Set by the component; the backend calls it for every activation.
    std::function<void(TTrayActivation)> Activated;
    // Set by the component; called once when a notification area appears
    // after Available() said there was none. An icon added meanwhile is then
    // in it.
    std::function<void()> Appeared;
};

} // namespace pingvard
