// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/front_end.h"
#include "ui/settings/config_text.h"

#include <QLabel>
#include <QPainter>
#include <QResizeEvent>

namespace pingvard {

// A label of the main window that the monitoring core writes. It shows
// configured and measured text as it is (never as markup) and gives back the
// very bytes it was given, so a name read from pingvard.ini and written back
// through the label keeps its encoding.
class TLabel : public QLabel, public TTextLabel {
    Q_OBJECT
public:
    explicit TLabel(const QString& text, QWidget* parent = nullptr) : QLabel(parent) {
        setTextFormat(Qt::PlainText);
        setText(text);
        m_bytes = text.toStdString();
    }

    // Placed by its top left corner only: the label grows with its text, up
    // to its maximum width; beyond it the text ends in "…" and the tooltip
    // holds it whole. text() is always the whole text.
    bool FitsText = false;

    void SetText(const std::string& text) override {
        m_bytes = text;
        setText(DisplayText(text));
        if (FitsText) {
            adjustSize();
        }
        UpdateToolTip();
    }
    std::string Text() const override { return m_bytes; }

    // What the label shows in its width.
    QString ShownText() const {
        return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (!FitsText || ShownText() == text()) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(contentsRect(), static_cast<int>(alignment()), ShownText());
    }
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        UpdateToolTip();
    }

private:
    void UpdateToolTip() {
        if (FitsText) {
            setToolTip(ShownText() == text() ? QString() : text());
        }
    }

    std::string m_bytes;
};

} // namespace pingvard
