// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "observe/history/incident_types.h"

#include <QTreeWidget>
#include <vector>

namespace pingvard {

// The incidents, newest first: when each began, how long the site was down,
// the cause with the hosts down and what cured it; each one's steps below
// it. A double click on an incident or a step asks for the graphs around
// that incident.
class TIncidentList : public QTreeWidget {
    Q_OBJECT
public:
    explicit TIncidentList(QWidget* parent = nullptr);

    // nowMs: how far an open incident has got.
    void SetIncidents(const std::vector<TIncidentRecord>& incidents, int64_t nowMs);
    // The stretch of time the graphs show for the incident of an item: the
    // incident with a margin on both sides.
    static std::pair<int64_t, int64_t> ViewAround(const TIncident& incident, int64_t nowMs);

signals:
    void IncidentChosen(qint64 fromMs, qint64 toMs);

private:
    QTreeWidgetItem* IncidentItem(const TIncidentRecord& record, int64_t nowMs);
};

} // namespace pingvard
