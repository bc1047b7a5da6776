#pragma once

#include "monitor/front_end.h"

#include <QLabel>

namespace pingvard {

// A label of the main window that the monitoring core writes.
class TLabel : public QLabel, public TTextLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Placed by its top left corner only: the label grows with its text.
    bool FitsText = false;

    void SetText(const std::string& text) override {
        setText(QString::fromStdString(text));
        if (FitsText) {
            adjustSize();
        }
    }
    std::string Text() const override { return text().toStdString(); }
};

} // namespace pingvard
