// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/tray/tray_backend.h"

#include <memory>
#include <string>
#include <vector>

namespace pingvard::test {

// What the fake notification area saw; outlives the backend so a test can
// look at it after the tray icon is gone.
struct TFakeTrayState {
    bool available = true;
    bool shown = false;
    QIcon icon;
    QString tip;
    std::vector<std::string> calls;
    std::optional<QPoint> cursor = QPoint(300, 200);
    QMenu* menu = nullptr;
};

class TFakeTrayBackend : public TTrayBackend {
public:
    explicit TFakeTrayBackend(std::shared_ptr<TFakeTrayState> state) : m_state(std::move(state)) {}

    bool Available() const override { return m_state->available; }
    bool Add(const QIcon& icon, const QString& tip) override {
        m_state->calls.push_back("add");
        m_state->shown = true;
        m_state->icon = icon;
        m_state->tip = tip;
        return true;
    }
    bool Modify(const QIcon& icon, const QString& tip) override {
        m_state->calls.push_back("modify");
        if (!m_state->shown) {
            return false;
        }
        m_state->icon = icon;
        m_state->tip = tip;
        return true;
    }
    bool Remove() override {
        m_state->calls.push_back("remove");
        const bool was = m_state->shown;
        m_state->shown = false;
        return was;
    }
    void SetMenu(QMenu* menu) override { m_state->menu = menu; }
    std::optional<QPoint> CursorPos() const override { return m_state->cursor; }

    void Activate(TTrayActivation activation) { Activated(activation); }
    // A notification area comes up after start.
    void Appear() {
        m_state->available = true;
        Appeared();
    }

private:
    std::shared_ptr<TFakeTrayState> m_state;
};

} // namespace pingvard::test
