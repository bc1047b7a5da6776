// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/observe_settings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QWidget>

namespace pingvard {

// The settings page of history, metrics, hooks and desktop notifications: it
// edits the dialog's copy of the settings (Load when the dialog opens, Store
// at OK). The hooks are listed, not edited: each is a program with arguments,
// set in pingvard.ini.
class TObservePage : public QWidget {
    Q_OBJECT
public:
    explicit TObservePage(QWidget* parent = nullptr);

    void Load(const TObserveSettings& settings);
    // Leaves what the page does not show (file names, retention, hooks) as it was.
    void Store(TObserveSettings& settings) const;

    QCheckBox* chbHistory;
    QCheckBox* chbMetrics;
    QLineEdit* edtMetricsAddress;
    QSpinBox* edtMetricsPort;
    QCheckBox* chbAllInterfaces;
    QCheckBox* chbRuleFired;
    QCheckBox* chbActionOutcome;
    QCheckBox* chbHostDown;
    QCheckBox* chbHostUp;
    QLabel* lblHooks;
};

} // namespace pingvard
