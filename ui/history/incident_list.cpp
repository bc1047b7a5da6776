// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history/incident_list.h"

#include "observe/iso_time.h"
#include "rounds/site_text.h"
#include "ui/tray/site_tooltip.h"

#include <QHeaderView>
#include <algorithm>

namespace pingvard {

namespace {

constexpr int64_t kMinMarginMs = 15 * 60'000;
constexpr int kFromRole = Qt::UserRole;
constexpr int kToRole = Qt::UserRole + 1;
constexpr int kStartRole = Qt::UserRole + 2; // the incident's key

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QString Elapsed(int64_t ms) {
    return Text(ElapsedText(ms));
}

QString Time(int64_t ms) {
    return Text(FormatLocalTime(ms, false));
}

// A step's time below its incident: the time of day, the date being the
// incident's (or the next day's, which the order makes plain).
QString TimeOfDay(int64_t ms) {
    const std::string text = FormatLocalTime(ms, false);
    return Text(text.size() > 11 ? text.substr(11) : text);
}

QString Outcome(const TIncidentRecord& record) {
    const TIncident& i = record.Incident;
    if (record.Unfinished) {
        return TIncidentList::tr("nedokončeno: program skončil");
    }
    if (i.Open()) {
        return TIncidentList::tr("trvá");
    }
    return i.CuredBy.empty() ? TIncidentList::tr("nevyřešeno")
                             : TIncidentList::tr("vyřešil %1").arg(Text(i.CuredBy));
}

QTreeWidgetItem* StepItem(const TIncidentStep& step) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, TimeOfDay(step.StartMs));
    QString action = Text(step.Action);
    if (!step.Kind.empty()) {
        action += QStringLiteral(" (%1)").arg(Text(step.Kind));
    }
    item->setText(2, action);
    if (step.EndMs == 0) {
        item->setText(3, TIncidentList::tr("neskončil"));
        return item;
    }
    item->setText(1, Elapsed(std::max<int64_t>(step.EndMs - step.StartMs, 0)));
    // The outcome texts are the status line's, English in both languages.
    item->setText(3, (step.Ok ? TIncidentList::tr("proběhl") : TIncidentList::tr("selhal")) +
                         (step.Outcome.empty() ? QString() : ": " + Text(step.Outcome)));
    return item;
}

} // namespace

TIncidentList::TIncidentList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(4);
    setHeaderLabels({tr("Začátek"), tr("Trvání"), tr("Příčina"), tr("Výsledek")});
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        QTreeWidgetItem* incident = item->parent() ? item->parent() : item;
        emit IncidentChosen(incident->data(0, kFromRole).toLongLong(),
                            incident->data(0, kToRole).toLongLong());
    });
}

std::pair<int64_t, int64_t> TIncidentList::ViewAround(const TIncident& incident, int64_t nowMs) {
    const int64_t end = incident.Open() ? nowMs : incident.EndMs;
    const int64_t margin = std::max(kMinMarginMs, (end - incident.StartMs) / 4);
    return {incident.StartMs - margin, std::min(end + margin, std::max(nowMs, end))};
}

QTreeWidgetItem* TIncidentList::IncidentItem(const TIncidentRecord& record, int64_t nowMs) {
    const TIncident& i = record.Incident;
    auto* item = new QTreeWidgetItem;
    item->setText(0, Time(i.StartMs));
    item->setText(1, Elapsed(i.DurationMs(nowMs)));
    QString cause = TSiteToolTip::CauseText(i.Cause);
    if (!i.Link.empty()) {
        cause += " " + Text(i.Link);
    }
    QStringList hosts;
    for (const std::string& host : i.HostsDown) {
        hosts << Text(host);
    }
    if (!hosts.isEmpty()) {
        cause += QStringLiteral(" (%1)").arg(hosts.join(", "));
    }
    item->setText(2, cause);
    item->setText(3, Outcome(record));
    const auto [from, to] = ViewAround(i, nowMs);
    item->setData(0, kFromRole, qint64(from));
    item->setData(0, kToRole, qint64(to));
    for (const TIncidentStep& step : i.Steps) {
        item->addChild(StepItem(step));
    }
    return item;
}

void TIncidentList::SetIncidents(const std::vector<TIncidentRecord>& incidents, int64_t nowMs) {
    // Kept across a refresh: which incidents are open, and the one selected.
    std::vector<qint64> expanded;
    qint64 selected = -1;
    for (int row = 0; row < topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = topLevelItem(row);
        const qint64 start = item->data(0, kStartRole).toLongLong();
        if (item->isExpanded()) {
            expanded.push_back(start);
        }
        if (item->isSelected()) {
            selected = start;
        }
    }
    clear();
    for (auto it = incidents.rbegin(); it != incidents.rend(); ++it) {
        QTreeWidgetItem* item = IncidentItem(*it, nowMs);
        const qint64 start = it->Incident.StartMs;
        item->setData(0, kStartRole, start);
        addTopLevelItem(item);
        item->setExpanded(std::find(expanded.begin(), expanded.end(), start) != expanded.end());
        item->setSelected(start == selected);
    }
    for (int column = 0; column < 3; ++column) {
        resizeColumnToContents(column);
    }
}

} // namespace pingvard
