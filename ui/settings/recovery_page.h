// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/recovery_settings.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QTableWidget>
#include <functional>

namespace pingvard {

// The settings dialog's page for the recovery: the quorum, the guard and each
// action's time limit and verify time, edited on the dialog's copy. OK checks
// every field (an integer within its range, else the error box and the
// field's focus) and writes the values back; Storno leaves the copy as it was.
// The actions' own settings (hosts, passwords, presets) stay in pingvard.ini.
class TRecoveryPage : public QDialog {
    Q_OBJECT
public:
    TRecoveryPage(TRecoverySettings& settings, QWidget* parent = nullptr);

    QLineEdit* edtQuorum;
    QLineEdit* edtHoldOff;
    QLineEdit* edtMaxRounds;
    QLineEdit* edtWindow;
    QCheckBox* chbBackOff;
    QTableWidget* tblActions; // name, kind, time limit [s], verify [s]

    void OkClick();
    // The error box; tests replace it.
    std::function<void(QWidget* parent, const QString& text)> ShowErrorBox;

private:
    // The value of a field within [low, high]; else shows the error and gives false.
    bool Field(QLineEdit* edit, int32_t low, int32_t high, int32_t& value);
    bool Cell(int row, int column, int32_t low, int32_t high, int32_t& value);
    void ShowInvalidValue();

    TRecoverySettings& m_settings;
};

} // namespace pingvard
