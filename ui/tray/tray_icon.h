// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/tick_clock.h"
#include "ui/tray/image_list.h"
#include "ui/tray/tray_backend.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace pingvard {

// Keeps one icon in the notification area, turns activations of it into
// events, shows a popup menu at the cursor, and hides and restores the owner
// (the application's main window). Owned by the main window as a Qt child, so
// the icon leaves the notification area when the window is destroyed.
//
// Image cycling, minimise-to-tray and the raw mouse events stay inert here:
// the program never enables them.
class TTrayIcon : public QObject {
    Q_OBJECT
public:
    TTrayIcon(QWidget* owner, std::unique_ptr<TTrayBackend> backend);
    ~TTrayIcon() override;

    const TImageList* IconList() const { return m_iconList; }
    void SetIconList(const TImageList* list);

    // Clamped into the list: at or past its end selects the last image, below
    // zero the first. Without a list it stays 0. Copies the image into Icon.
    int IconIndex() const { return m_iconIndex; }
    void SetIconIndex(int index);

    // Always the image shown in the notification area.
    const QIcon& Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);

    const QString& Hint() const { return m_hint; }
    void SetHint(const QString& hint);
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool show);
    // The site's tooltip, as many lines as it takes: handed to the
    // notification area instead of Hint whenever it is not empty.
    const QString& ToolTip() const { return m_toolTip; }
    void SetToolTip(const QString& tip);
    // The tooltip handed to the notification area: the tooltip when set, else
    // Hint (at most 63 characters) when ShowHint is set and Hint is not empty,
    // else empty.
    QString TipText() const;

    bool IconVisible() const { return m_iconVisible; }
    void SetIconVisible(bool visible);

    QMenu* PopupMenu() const { return m_popupMenu; }
    // Also hands the menu to the notification area, which may show it itself.
    void SetPopupMenu(QMenu* menu);

    bool StartMinimized = false;
    bool Enabled = true;
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    // A notification area appeared after Available() said there was none;
    // the icon is in it now.
    std::function<void()> OnTrayAppeared;
    // The second press of a double click arrives as a Trigger too; within this
    // many ms of the previous one it is not a click of its own.
    int DoubleClickIntervalMs;
    // Where the double click's interval is measured; tests step a clock of their own.
    void SetClock(const TTickClock& clock) { m_clock = &clock; }

    // A left press has been seen and its release has not yet raised OnClick.
    bool ClickPending() const { return m_clickPending; }

    // Whether the desktop has a notification area at all.
    bool Available() const { return m_backend->Available(); }

    // The owner's layout is complete: put the icon into the notification area.
    void Loaded();

    bool AddTrayIcon();
    bool RemoveTrayIcon();
    bool UpdateTrayIcon();

    void RestoreMainWindow();
    void HideMainWindow();
    void ShowMenuAtCursor();

    TTrayBackend& Backend() { return *m_backend; }

private:
    void HandleActivation(TTrayActivation activation);
    void LeftClick();
    void LeftPress();
    void LeftRelease();

    QWidget* m_owner;
    std::unique_ptr<TTrayBackend> m_backend;
    QPointer<const TImageList> m_iconList;
    QPointer<QMenu> m_popupMenu;
    QIcon m_icon;
    QString m_hint;
    QString m_toolTip;
    int m_iconIndex = 0;
    bool m_showHint = false;
    bool m_iconVisible = true;
    bool m_clickPending = false;
    std::optional<uint32_t> m_lastTrigger; // tick of the last Trigger that was a click
    const TTickClock* m_clock = &SystemTickClock();
};

} // namespace pingvard
