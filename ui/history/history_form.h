// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "observe/history/history_types.h"
#include "ui/history/history_graph.h"
#include "ui/history/history_loader.h"
#include "ui/history/incident_panel.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pingvard {

enum class THistoryRange { Hour, Day, Week, Quarter }; // 1 h, 24 h, 7 days, 90 days

int64_t RangeMs(THistoryRange range) noexcept;

struct THistoryWindowOptions {
    std::string HistoryFile;         // HistoryFileName() of the [History] settings
    std::vector<THistoryHost> Hosts; // the watched hosts in slot order; empty: all recorded
    THistoryRange Range = THistoryRange::Day;
    std::string FocusHost;               // the address whose graph takes the focus
    std::function<int64_t()> NowMs = {}; // the wall clock unless set (tests, benchmark)
};

// The history window: one graph per watched host over the chosen range, the
// legend of the colours below them. It reads the history on a thread of its
// own and refreshes itself while it is shown, so it never freezes the
// program's window and always ends at the present.
class THistoryForm : public QWidget {
    Q_OBJECT
public:
    explicit THistoryForm(THistoryWindowOptions options, QWidget* parent = nullptr);
    ~THistoryForm() override;

    // The watched hosts changed (settings): their graphs, read again.
    void SetHosts(std::vector<THistoryHost> hosts);
    void ShowRange(THistoryRange range);
    void FocusHost(const std::string& address);
    THistoryRange Range() const { return m_range; }
    // Reads the current range again, up to the present.
    void Reload();
    // The graphs over [fromMs, toMs) instead of a range up to the present
    // (an incident's double click), until a range is chosen again.
    void ShowTime(int64_t fromMs, int64_t toMs);
    TIncidentPanel* Incidents() const { return m_incidents; }

    const std::vector<THistoryGraph*>& Graphs() const { return m_graphs; }
    QAbstractButton* RangeButton(THistoryRange range) const {
        return m_rangeButtons[static_cast<std::size_t>(range)];
    }
    QString StatusText() const { return m_status->text(); }
    // How long the last read shown took on the loader's thread.
    int64_t LastReadUs() const { return m_lastReadUs; }

signals:
    // A read has been shown in the graphs (or its failure in their place).
    void Loaded();
    // Every graph in view has painted the first read's points: the window is
    // open. The time counts from the window's creation.
    void FirstCompletePaint(qint64 elapsedMs);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Show(THistoryLoad& load);
    void BuildGraphs(const std::vector<THistoryHost>& hosts);
    void GraphPainted(THistoryGraph* graph);
    int64_t Now() const;

    QElapsedTimer m_opened; // first: the open time counts from here
    THistoryWindowOptions m_options;
    THistoryRange m_range;
    std::array<QAbstractButton*, 4> m_rangeButtons{};
    QLabel* m_status;
    QScrollArea* m_scroll;
    QWidget* m_graphArea;
    QVBoxLayout* m_graphLayout;
    TIncidentPanel* m_incidents;
    std::optional<std::pair<int64_t, int64_t>> m_shownTime; // ShowTime's, while it holds
    std::vector<THistoryGraph*> m_graphs;
    QTimer m_refresh;
    uint64_t m_generation = 0;
    // Graphs still to paint the first read before FirstCompletePaint.
    std::vector<THistoryGraph*> m_awaitingPaint;
    bool m_openReported = false;
    bool m_shownBefore = false;
    int64_t m_lastReadUs = 0;
    std::unique_ptr<THistoryLoader> m_loader; // last: joined before the rest goes
};

// Opens the history window, or brings forward the one already open for this
// parent (a top-level window of its own, deleted when closed), showing the
// given hosts and focusing options.FocusHost's graph. For the main window's
// menu, the tray menu and a double click on a host's row.
THistoryForm* OpenHistoryWindow(QWidget* parent, THistoryWindowOptions options);

} // namespace pingvard
