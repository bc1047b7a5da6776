// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/front_end.h"
#include "ui/settings/config_text.h"

#include <QLabel>

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

    // Placed by its top left corner only: the label grows with its text.
    bool FitsText = false;

    void SetText(const std::string& text) override {
        m_bytes = text;
        setText(DisplayText(text));
        if (FitsText) {
            adjustSize();
        }
    }
    std::string Text() const override { return m_bytes; }

private:
    std::string m_bytes;
};

} // namespace pingvard
