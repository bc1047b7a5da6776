// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/history/incident_list.h"
#include "ui/history/incident_loader.h"
#include "ui/history/uptime_strip.h"

#include <QLabel>
#include <QWidget>
#include <memory>
#include <string>

namespace pingvard {

class TLabel;

// The history window's part for incidents: the uptime of the last 30 days,
// one cell a day, with the share over the last day, week and month beside
// it, and the list of incidents below. It reads on a thread of its own.
class TIncidentPanel : public QWidget {
    Q_OBJECT
public:
    explicit TIncidentPanel(const std::string& historyFile, QWidget* parent = nullptr);
    ~TIncidentPanel() override;

    // Reads again, up to nowMs.
    void Reload(int64_t nowMs);

    TUptimeStrip* Strip() const { return m_strip; }
    TIncidentList* List() const { return m_list; }
    QString SummaryText() const;

signals:
    // A read has been shown.
    void Loaded();
    // The graphs are asked to show this stretch (an incident's double click).
    void IncidentChosen(qint64 fromMs, qint64 toMs);

private:
    void Show(const TIncidentLoad& load);

    TUptimeStrip* m_strip;
    TLabel* m_summary;
    TIncidentList* m_list;
    std::unique_ptr<TIncidentLoader> m_loader; // last: joined before the rest goes
};

} // namespace pingvard
