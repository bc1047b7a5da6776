// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/observe_settings.h"
#include "ui/settings/channels_editor.h"
#include "ui/settings/hooks_editor.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QWidget>

namespace pingvard {

// The settings page of history, metrics, hooks, desktop notifications and
// the notification channels: it
// edits the dialog's copy of the settings (Load when the dialog opens, Store
// at OK). The hooks are edited in edHooks, whose Store may refuse a field.
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
    THooksEditor* edHooks;       // Store leaves the hooks to it: they can be refused
    TChannelsEditor* edChannels; // the [Notify] channels, loaded and stored by the dialog
};

} // namespace pingvard
