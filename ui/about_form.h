// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>

namespace pingvard {

// The about box: fixed texts and the logo, closed with its close box or Esc.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    QLabel* Label1;
    QFrame* Bevel1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Image1;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace pingvard
