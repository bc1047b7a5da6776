// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>

namespace pingvard {

// The forms are laid out in pixels at 96 dpi and scaled by the screen's
// logical DPI, so they keep their proportions on dense screens.
class TFormScale {
public:
    explicit TFormScale(double factor) : m_factor(factor) {}
    static TFormScale ForWidget(const QWidget* widget);

    double Factor() const { return m_factor; }
    int operator()(int px) const;
    QSize Size(int width, int height) const;
    // A label that fits its text: only its top left corner is given.
    void Place(QWidget* widget, int left, int top) const;
    void Place(QWidget* widget, int left, int top, int width, int height) const;

private:
    double m_factor;
};

// Places a window at the centre of its screen's available area.
void CentreOnScreen(QWidget* window);
// A window of the size it wants, but never larger than its screen's free
// area (the panel left out), so its buttons stay reachable at any scale;
// its content scrolls instead.
void FitOnScreen(QWidget* window, QSize wanted);

// The forms' font: the desktop's own family at 8 point.
QFont FormFont();
QFont BoldFormFont();

} // namespace pingvard
