// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/observe_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

namespace pingvard {

TObservePage::TObservePage(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);

    auto* history = new QGroupBox(tr("Historie"), this);
    auto* historyLayout = new QVBoxLayout(history);
    chbHistory = new QCheckBox(tr("Ukládat každou odezvu a obnovu do historie"), history);
    historyLayout->addWidget(chbHistory);
    layout->addWidget(history);

    auto* metrics = new QGroupBox(tr("Metriky pro Prometheus"), this);
    auto* metricsLayout = new QFormLayout(metrics);
    chbMetrics = new QCheckBox(tr("Zpřístupnit metriky na /metrics"), metrics);
    metricsLayout->addRow(chbMetrics);
    edtMetricsAddress = new QLineEdit(metrics);
    metricsLayout->addRow(tr("Adresa:"), edtMetricsAddress);
    edtMetricsPort = new QSpinBox(metrics);
    edtMetricsPort->setRange(1, 65535);
    metricsLayout->addRow(tr("Port:"), edtMetricsPort);
    chbAllInterfaces = new QCheckBox(tr("Povolit naslouchání na všech rozhraních"), metrics);
    metricsLayout->addRow(chbAllInterfaces);
    layout->addWidget(metrics);

    auto* notifications = new QGroupBox(tr("Oznámení na ploše"), this);
    auto* notificationsLayout = new QVBoxLayout(notifications);
    chbRuleFired = new QCheckBox(tr("Výpadek sítě, pozastavení restartů a návrat"), notifications);
    chbActionOutcome = new QCheckBox(tr("Začátek a výsledek každé obnovy"), notifications);
    chbHostDown = new QCheckBox(tr("Host přestal odpovídat"), notifications);
    chbHostUp = new QCheckBox(tr("Host opět odpovídá"), notifications);
    for (QCheckBox* box : {chbRuleFired, chbActionOutcome, chbHostDown, chbHostUp}) {
        notificationsLayout->addWidget(box);
    }
    layout->addWidget(notifications);

    edHooks = new THooksEditor(this);
    layout->addWidget(edHooks);
    edChannels = new TChannelsEditor(this);
    layout->addWidget(edChannels);
    auto* restartNote = new QLabel(
        tr("Historie, metriky, háčky a kanály oznámení se změní při příštím spuštění programu."),
        this);
    restartNote->setWordWrap(true);
    layout->addWidget(restartNote);
    layout->addStretch();

    const std::pair<QWidget*, QString> described[] = {
        {chbHistory, tr("Odezvy a obnovy se ukládají do databáze historie")},
        {chbMetrics, tr("Program odpovídá na dotazy Promethea")},
        {edtMetricsAddress, tr("Číselná adresa IPv4 nebo IPv6, na které program naslouchá")},
        {edtMetricsPort, tr("Port, na kterém program naslouchá")},
        {chbAllInterfaces, tr("Nutné pro adresu 0.0.0.0 nebo ::")},
        {chbRuleFired, tr("Oznámení na ploše při výpadku sítě")},
        {chbActionOutcome, tr("Oznámení na ploše při každé obnově")},
        {chbHostDown, tr("Oznámení na ploše, když host přestane odpovídat")},
        {chbHostUp, tr("Oznámení na ploše, když host opět odpovídá")},
    };
    for (const auto& [control, description] : described) {
        control->setAccessibleDescription(description);
    }
    edtMetricsAddress->setAccessibleName(tr("Adresa metrik"));
    edtMetricsPort->setAccessibleName(tr("Port metrik"));

    connect(chbMetrics, &QCheckBox::toggled, this, [this](bool on) {
        for (QWidget* field :
             {static_cast<QWidget*>(edtMetricsAddress), static_cast<QWidget*>(edtMetricsPort),
              static_cast<QWidget*>(chbAllInterfaces)}) {
            field->setEnabled(on);
        }
    });
}

void TObservePage::Load(const TObserveSettings& settings) {
    chbHistory->setChecked(settings.History.Enabled);
    chbMetrics->setChecked(settings.Metrics.Enabled);
    edtMetricsAddress->setText(QString::fromStdString(settings.Metrics.Address));
    edtMetricsPort->setValue(settings.Metrics.Port);
    chbAllInterfaces->setChecked(settings.Metrics.AllInterfaces);
    for (QWidget* field :
         {static_cast<QWidget*>(edtMetricsAddress), static_cast<QWidget*>(edtMetricsPort),
          static_cast<QWidget*>(chbAllInterfaces)}) {
        field->setEnabled(settings.Metrics.Enabled);
    }
    chbRuleFired->setChecked(settings.Notifications.RuleFired);
    chbActionOutcome->setChecked(settings.Notifications.ActionOutcome);
    chbHostDown->setChecked(settings.Notifications.HostDown);
    chbHostUp->setChecked(settings.Notifications.HostUp);
    edHooks->Load(settings.Hooks);
}

void TObservePage::Store(TObserveSettings& settings) const {
    settings.History.Enabled = chbHistory->isChecked();
    settings.Metrics.Enabled = chbMetrics->isChecked();
    settings.Metrics.Address = edtMetricsAddress->text().trimmed().toStdString();
    settings.Metrics.Port = edtMetricsPort->value();
    settings.Metrics.AllInterfaces = chbAllInterfaces->isChecked();
    settings.Notifications.RuleFired = chbRuleFired->isChecked();
    settings.Notifications.ActionOutcome = chbActionOutcome->isChecked();
    settings.Notifications.HostDown = chbHostDown->isChecked();
    settings.Notifications.HostUp = chbHostUp->isChecked();
}

} // namespace pingvard
