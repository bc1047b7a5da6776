// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history/incident_panel.h"

#include "ui/text_label.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace pingvard {

namespace {

// Room for a few incidents; the graphs keep the rest of the window.
constexpr int kListHeight = 130;

} // namespace

TIncidentPanel::TIncidentPanel(const std::string& historyFile, QWidget* parent)
    : QWidget(parent), m_strip(new TUptimeStrip(this)), m_summary(new TLabel(QString(), this)),
      m_list(new TIncidentList(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    auto* uptime = new QHBoxLayout;
    uptime->addWidget(new QLabel(tr("Dostupnost za 30 dní:"), this));
    uptime->addWidget(m_strip, 1);
    layout->addLayout(uptime);
    layout->addWidget(m_summary);
    layout->addWidget(new QLabel(tr("Výpadky (dvojklik: grafy v tu dobu):"), this));
    m_list->setMaximumHeight(kListHeight);
    layout->addWidget(m_list);
    connect(m_list, &TIncidentList::IncidentChosen, this, &TIncidentPanel::IncidentChosen);

    m_loader = std::make_unique<TIncidentLoader>(historyFile, [this](TIncidentLoad load) {
        auto shared = std::make_shared<TIncidentLoad>(std::move(load));
        QMetaObject::invokeMethod(
            this, [this, shared] { Show(*shared); }, Qt::QueuedConnection);
    });
}

TIncidentPanel::~TIncidentPanel() {
    m_loader.reset(); // no result arrives once the widgets start to go
}

void TIncidentPanel::Reload(int64_t nowMs) {
    m_loader->Request(nowMs);
}

QString TIncidentPanel::SummaryText() const {
    return m_summary->text();
}

void TIncidentPanel::Show(const TIncidentLoad& load) {
    if (!load.Error.empty()) {
        m_strip->SetDays({});
        m_list->SetIncidents({}, load.NowMs);
        m_summary->setText(QString());
    } else {
        m_strip->SetDays(load.Days);
        m_list->SetIncidents(load.Incidents, load.NowMs);
        // Counted only while the program was watching.
        m_summary->setText(
            tr("V provozu (ze sledované doby): %1 za 24 h, %2 za 7 dní, %3 za 30 dní")
                .arg(UptimeShareText(load.Summary.Day), UptimeShareText(load.Summary.Week),
                     UptimeShareText(load.Summary.Month)));
    }
    emit Loaded();
}

} // namespace pingvard
