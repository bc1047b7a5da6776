// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/form_scale.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace pingvard {

namespace {
constexpr double kDesignDpi = 96.0;
constexpr double kFormPointSize = 8.0;
} // namespace

TFormScale TFormScale::ForWidget(const QWidget* widget) {
    const QScreen* screen =
        widget && widget->screen() ? widget->screen() : QApplication::primaryScreen();
    if (!screen) {
        return TFormScale(1.0);
    }
    // Never shrink below the design: small text stops being readable.
    return TFormScale(std::max(1.0, screen->logicalDotsPerInchY() / kDesignDpi));
}

int TFormScale::operator()(int px) const {
    return static_cast<int>(std::lround(px * m_factor));
}

QSize TFormScale::Size(int width, int height) const {
    return {(*this)(width), (*this)(height)};
}

void TFormScale::Place(QWidget* widget, int left, int top) const {
    widget->move((*this)(left), (*this)(top));
    widget->adjustSize();
}

void TFormScale::Place(QWidget* widget, int left, int top, int width, int height) const {
    widget->setGeometry((*this)(left), (*this)(top), (*this)(width), (*this)(height));
}

void CentreOnScreen(QWidget* window) {
    if (const QScreen* screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

void FitOnScreen(QWidget* window, QSize wanted) {
    const QScreen* screen = window->screen();
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        window->resize(wanted);
        return;
    }
    // Room for the window manager's frame and title.
    const QSize room = screen->availableGeometry().size() - QSize(16, 48);
    window->resize(wanted.boundedTo(room));
}

QFont FormFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(kFormPointSize);
    return font;
}

QFont BoldFormFont() {
    QFont font = FormFont();
    font.setBold(true);
    return font;
}

} // namespace pingvard
