// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tray/tray_icon.h"

#include <QApplication>
#include <algorithm>

namespace pingvard {

namespace {

constexpr int kMaxTipLength = 63;

} // namespace

TTrayIcon::TTrayIcon(QWidget* owner, std::unique_ptr<TTrayBackend> backend)
    : QObject(owner), DoubleClickIntervalMs(QApplication::doubleClickInterval()), m_owner(owner),
      m_backend(std::move(backend)) {
    m_backend->Activated = [this](TTrayActivation activation) { HandleActivation(activation); };
    m_backend->Appeared = [this] {
        if (OnTrayAppeared) {
            OnTrayAppeared();
        }
    };
}

TTrayIcon::~TTrayIcon() {
    RemoveTrayIcon();
    m_backend->Activated = nullptr;
    m_backend->Appeared = nullptr;
}

void TTrayIcon::SetPopupMenu(QMenu* menu) {
    m_popupMenu = menu;
    m_backend->SetMenu(menu);
}

void TTrayIcon::SetIconList(const TImageList* list) {
    m_iconList = list;
    SetIconIndex(0);
}

void TTrayIcon::SetIconIndex(int index) {
    if (m_iconList && m_iconList->Count() > 0) {
        m_iconIndex = std::clamp(index, 0, m_iconList->Count() - 1);
        m_icon = m_iconList->Icon(m_iconIndex);
    } else {
        m_iconIndex = 0;
    }
    UpdateTrayIcon();
}

void TTrayIcon::SetIcon(const QIcon& icon) {
    m_icon = icon;
    UpdateTrayIcon();
}

void TTrayIcon::SetHint(const QString& hint) {
    m_hint = hint;
    UpdateTrayIcon();
}

void TTrayIcon::SetShowHint(bool show) {
    m_showHint = show;
    UpdateTrayIcon();
}

void TTrayIcon::SetToolTip(const QString& tip) {
    if (tip == m_toolTip) {
        return; // every ping report sets it: the notification area hears of changes only
    }
    m_toolTip = tip;
    UpdateTrayIcon();
}

QString TTrayIcon::TipText() const {
    if (!m_toolTip.isEmpty()) {
        return m_toolTip;
    }
    if (m_showHint && !m_hint.isEmpty()) {
        return m_hint.left(kMaxTipLength);
    }
    return {};
}

void TTrayIcon::SetIconVisible(bool visible) {
    if (visible) {
        AddTrayIcon();
    } else {
        RemoveTrayIcon();
    }
}

void TTrayIcon::Loaded() {
    UpdateTrayIcon();
    if (m_iconVisible) {
        AddTrayIcon();
    }
}

bool TTrayIcon::AddTrayIcon() {
    m_iconVisible = true;
    return m_backend->Add(m_icon, TipText());
}

bool TTrayIcon::RemoveTrayIcon() {
    m_iconVisible = false;
    return m_backend->Remove();
}

bool TTrayIcon::UpdateTrayIcon() {
    return m_backend->Modify(m_icon, TipText());
}

void TTrayIcon::RestoreMainWindow() {
    if (m_owner->isMinimized()) {
        m_owner->showNormal();
    } else {
        m_owner->show();
    }
    m_owner->raise();
    m_owner->activateWindow();
}

void TTrayIcon::HideMainWindow() {
    m_owner->hide();
}

void TTrayIcon::ShowMenuAtCursor() {
    if (!m_popupMenu) {
        return;
    }
    const std::optional<QPoint> pos = m_backend->CursorPos();
    if (!pos) {
        return;
    }
    // The menu must come up in front and take the keyboard, so bring the
    // window that has the focus forward first.
    if (QWidget* focus = QApplication::focusWidget()) {
        focus->window()->activateWindow();
    }
    m_popupMenu->popup(*pos);
}

void TTrayIcon::HandleActivation(TTrayActivation activation) {
    if (!Enabled) {
        return;
    }
    switch (activation) {
    case TTrayActivation::Trigger:
        LeftClick();
        break;
    case TTrayActivation::DoubleClick:
        // The double click's first click has already toggled; nothing else may.
        if (OnDblClick) {
            OnDblClick();
        }
        break;
    case TTrayActivation::Context:
        // An XEmbed tray has Qt pop the menu up before it reports the right
        // click; a D-Bus host that draws no menus of its own reports only.
        // Exactly one menu either way.
        if (!m_popupMenu || !m_popupMenu->isVisible()) {
            ShowMenuAtCursor();
        }
        break;
    case TTrayActivation::MiddleClick:
        break;
    }
}

void TTrayIcon::LeftClick() {
    const uint32_t now = m_clock->Now();
    const bool secondOfDouble =
        m_lastTrigger && TickDifference(*m_lastTrigger, now) <
                             static_cast<uint32_t>(std::max(DoubleClickIntervalMs, 0));
    m_lastTrigger = secondOfDouble ? std::nullopt : std::optional(now);
    if (secondOfDouble) {
        return;
    }
    LeftPress();
    LeftRelease();
}

void TTrayIcon::LeftPress() {
    m_clickPending = true;
}

void TTrayIcon::LeftRelease() {
    // Only the release of a press seen here is a click.
    if (!m_clickPending) {
        return;
    }
    m_clickPending = false;
    if (OnClick) {
        OnClick();
    }
}

} // namespace pingvard
