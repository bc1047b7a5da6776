// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "observe/history/history_types.h"
#include "ui/history/history_columns.h"

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QPainter;

namespace pingvard {

// The colour of the median line for a loss class (see LossClass).
QColor LossColour(int lossClass);
// The colours of a recovery outcome's line and marker.
QColor OutcomeColour(bool ok);
// The bands from the outside in (min–max, p10–p90, p25–p75), each painted over
// the one before; the shade of a stretch without answers; the clip mark's.
QColor BandColour(int band);
QColor OutageColour();
QColor ClipColour();

// One host's round trips over a range: the median as a line coloured by the
// packet loss, the spread behind it as nested bands (lowest to highest round
// trip lightest, 10th to 90th percentile, 25th to 75th darkest), stretches in
// which every echo was lost shaded over the whole height, and each recovery
// outcome as a vertical line with a marker in the outcome's colour. The axis
// reaches the 95th percentile of what is drawn; a column reaching above it
// has a small mark at the top edge. Hovering shows the figures of the point
// under the cursor (and of an outcome line next to it).
//
// Painted by hand rather than with a chart library: the points are folded
// into one slice per pixel column first, so a paint costs the same for an
// hour of echoes and for 90 days of minutes, and the line can change colour
// from one column to the next.
class THistoryGraph : public QWidget {
    Q_OBJECT
public:
    explicit THistoryGraph(QWidget* parent = nullptr);

    void SetHost(const THistoryHost& host);
    const THistoryHost& Host() const { return m_host; }
    // The points of [fromMs, toMs) at the given resolution, oldest first, and
    // the recovery events of that range (only outcomes are drawn).
    void SetData(int64_t fromMs, int64_t toMs, THistoryResolution resolution,
                 std::vector<THistoryPoint> points, const std::vector<THistoryRecord>& events);
    // Shown instead of the graph while there are no points ("loading", why
    // there is no history).
    void SetMessage(const QString& message);
    const QString& Message() const { return m_message; }

    const std::vector<THistoryPoint>& Points() const { return m_points; }
    // The area the range is drawn in, in widget coordinates.
    QRect PlotRect() const;
    // What a hover at widget x shows; empty outside the plot or without data.
    QString HoverText(int x) const;

    // Called after each paint that drew points.
    std::function<void()> OnDataPainted;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct TOutcome {
        int64_t TimeMs;
        bool Ok;
        QString Text; // the hover's lines
    };

    void Invalidate();
    void Refold() const;
    void PaintStill(QPainter& painter) const;
    double TimeX(int64_t timeMs) const;
    int64_t XTime(double x) const;
    double ValueY(int64_t us) const;
    void PaintAxes(QPainter& painter) const;
    void PaintTimeAxis(QPainter& painter) const;
    using TEdge = std::optional<int64_t> (*)(const THistoryColumn&);
    void PaintBand(QPainter& painter, TEdge low, TEdge high, const QColor& colour) const;
    void PaintBands(QPainter& painter) const;
    void PaintOutages(QPainter& painter) const;
    void PaintClipMarks(QPainter& painter) const;
    void PaintLine(QPainter& painter) const;
    void PaintOutcomes(QPainter& painter) const;
    void PaintHover(QPainter& painter) const;
    QString Title() const;
    QString PointText(const THistoryPoint& point) const;

    THistoryHost m_host;
    int64_t m_fromMs = 0;
    int64_t m_toMs = 1;
    THistoryResolution m_resolution = THistoryResolution::Minute;
    std::vector<THistoryPoint> m_points;
    std::vector<TOutcome> m_outcomes;
    int64_t m_gapMs = 0;
    uint64_t m_count = 0;
    uint64_t m_lost = 0;
    QString m_message;
    std::optional<int> m_hoverX;

    // Folded anew when the plot's width or the data change.
    mutable std::vector<THistoryColumn> m_columns;
    mutable int m_foldedWidth = -1;
    mutable int64_t m_axisTopUs = 1000;
    mutable std::vector<std::size_t> m_clipped; // columns reaching above the axis
    QPixmap m_image; // PaintStill's, for this size; null when it must be painted again
};

} // namespace pingvard
