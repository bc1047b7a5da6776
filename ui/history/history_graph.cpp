// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history/history_graph.h"

#include <QDateTime>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <cmath>

namespace pingvard {

namespace {

constexpr int64_t kMinuteMs = 60'000;
constexpr int64_t kHourMs = 60 * kMinuteMs;
constexpr int64_t kDayMs = 24 * kHourMs;
// A hover this close to an outcome's line shows the outcome.
constexpr int kOutcomeReach = 3;
// The strip along the bottom under columns that lost this class or worse.
constexpr int kLossStrip = 4;
constexpr int kMarkedLoss = 2;

QString Milliseconds(int64_t us) {
    const double ms = static_cast<double>(us) / 1000;
    const int decimals = ms < 10 ? 2 : ms < 100 ? 1 : 0;
    return QLocale().toString(ms, 'f', decimals);
}

QString Percent(uint64_t part, uint64_t whole) {
    const double percent =
        whole == 0 ? 0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
    return QLocale().toString(percent, 'f', 1);
}

QDateTime Local(int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms);
}

int64_t LocalMidnight(QDate date) {
    return QDateTime(date, QTime(0, 0)).toMSecsSinceEpoch();
}

// Ticks on whole local hours or days, about every 80 pixels at most.
std::vector<int64_t> TimeTicks(int64_t fromMs, int64_t toMs, int width, int64_t& stepMs) {
    static constexpr std::array kSteps = {
        kMinuteMs,  2 * kMinuteMs, 5 * kMinuteMs, 10 * kMinuteMs, 15 * kMinuteMs, 30 * kMinuteMs,
        kHourMs,    2 * kHourMs,   3 * kHourMs,   6 * kHourMs,    12 * kHourMs,   kDayMs,
        2 * kDayMs, 7 * kDayMs,    14 * kDayMs,   28 * kDayMs};
    const int64_t most = std::max(1, width / 80);
    stepMs = kSteps.back();
    for (const int64_t step : kSteps) {
        if ((toMs - fromMs) / step <= most) {
            stepMs = step;
            break;
        }
    }
    std::vector<int64_t> ticks;
    const QDate last = Local(toMs).date();
    for (QDate day = Local(fromMs).date(); day <= last; day = day.addDays(1)) {
        const int64_t midnight = LocalMidnight(day);
        if (stepMs >= kDayMs) {
            // Julian day 0 was a Monday: weekly ticks fall on Mondays.
            if (day.toJulianDay() % (stepMs / kDayMs) == 0 && midnight >= fromMs &&
                midnight < toMs) {
                ticks.push_back(midnight);
            }
            continue;
        }
        for (int64_t t = midnight; t < midnight + kDayMs && t < toMs; t += stepMs) {
            if (t >= fromMs) {
                ticks.push_back(t);
            }
        }
    }
    return ticks;
}

} // namespace

QColor LossColour(int lossClass) {
    static const std::array<QColor, kLossClasses> kColours = {
        QColor(0x1a, 0x96, 0x41), QColor(0x8c, 0xc8, 0x3c), QColor(0xe6, 0xb8, 0x00),
        QColor(0xf5, 0x8a, 0x1f), QColor(0xe8, 0x4a, 0x27), QColor(0xc0, 0x10, 0x1a),
        QColor(0x7b, 0x32, 0x94)};
    return kColours[static_cast<std::size_t>(std::clamp(lossClass, 0, kLossClasses - 1))];
}

QColor OutcomeColour(bool ok) {
    return ok ? QColor(0x10, 0x80, 0x30) : QColor(0xd0, 0x10, 0x10);
}

QColor BandColour(int band) {
    static constexpr int kAlpha[] = {45, 60, 95};
    return QColor(0x46, 0x82, 0xb4, kAlpha[std::clamp(band, 0, 2)]);
}

QColor OutageColour() {
    return QColor(0xc0, 0x10, 0x1a, 42);
}

QColor ClipColour() {
    return QColor(0x2f, 0x3e, 0x4e);
}

THistoryGraph::THistoryGraph(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize THistoryGraph::sizeHint() const {
    return {640, 150};
}

QSize THistoryGraph::minimumSizeHint() const {
    return {320, 110};
}

void THistoryGraph::SetHost(const THistoryHost& host) {
    m_host = host;
    Invalidate();
}

void THistoryGraph::SetMessage(const QString& message) {
    m_message = message;
    Invalidate();
}

void THistoryGraph::SetData(int64_t fromMs, int64_t toMs, THistoryResolution resolution,
                            std::vector<THistoryPoint> points,
                            const std::vector<THistoryRecord>& events) {
    m_fromMs = fromMs;
    m_toMs = std::max(toMs, fromMs + 1);
    m_resolution = resolution;
    m_points = std::move(points);
    // Slack over the usual step: the echo timer's jitter and a single missing
    // point are no gap, a stretch without points is.
    m_gapMs = std::max(TypicalSpacingMs(m_points), BucketMs(resolution)) * 5 / 2;
    m_count = 0;
    m_lost = 0;
    for (const THistoryPoint& p : m_points) {
        m_count += p.Count;
        m_lost += p.Lost;
    }
    m_outcomes.clear();
    for (const THistoryRecord& e : events) {
        if (e.Kind != TMonitorEventKind::ActionOutcome) {
            continue;
        }
        QString action = QString::fromStdString(e.Action);
        if (!e.ActionKind.empty() && e.ActionKind != e.Action) {
            action += QStringLiteral(" (%1)").arg(QString::fromStdString(e.ActionKind));
        }
        m_outcomes.push_back(
            {e.TimeMs, e.Ok,
             (e.Ok ? tr("Obnova %1 proběhla") : tr("Obnova %1 selhala")).arg(action) + '\n' +
                 QString::fromStdString(e.Text) + '\n' +
                 Local(e.TimeMs).toString(tr("d. M. yyyy HH:mm:ss"))});
    }
    m_foldedWidth = -1;
    Invalidate();
}

QRect THistoryGraph::PlotRect() const {
    const QFontMetrics fm = fontMetrics();
    const int left = fm.horizontalAdvance(QStringLiteral("0000 ms")) + 10;
    const int top = fm.height() + 8;
    const int bottom = fm.height() + 8;
    return QRect(left, top, std::max(1, width() - left - 12), std::max(1, height() - top - bottom));
}

void THistoryGraph::Refold() const {
    const QRect plot = PlotRect();
    if (m_foldedWidth == plot.width()) {
        return;
    }
    m_columns = FoldColumns(m_points, m_fromMs, m_toMs, plot.width(), m_gapMs,
                            m_resolution == THistoryResolution::Raw);
    m_axisTopUs = AxisTopUs(m_columns);
    m_clipped = ClippedColumns(m_columns, m_axisTopUs);
    m_foldedWidth = plot.width();
}

double THistoryGraph::TimeX(int64_t timeMs) const {
    const QRect plot = PlotRect();
    return plot.left() + static_cast<double>(timeMs - m_fromMs) * plot.width() /
                             static_cast<double>(m_toMs - m_fromMs);
}

int64_t THistoryGraph::XTime(double x) const {
    const QRect plot = PlotRect();
    return m_fromMs + static_cast<int64_t>((x - plot.left()) *
                                           static_cast<double>(m_toMs - m_fromMs) / plot.width());
}

double THistoryGraph::ValueY(int64_t us) const {
    const QRect plot = PlotRect();
    const double share = std::min(1.0, static_cast<double>(us) / static_cast<double>(m_axisTopUs));
    return plot.bottom() + 1 - share * plot.height();
}

QString THistoryGraph::Title() const {
    QString title = QString::fromStdString(m_host.Name);
    if (title.isEmpty() || m_host.Name == m_host.Address) {
        return QString::fromStdString(m_host.Address);
    }
    return title + QStringLiteral("  (%1)").arg(QString::fromStdString(m_host.Address));
}

void THistoryGraph::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    if (m_image.isNull() || m_image.size() != size() * ratio) {
        m_image = QPixmap(size() * ratio);
        m_image.setDevicePixelRatio(ratio);
        QPainter painter(&m_image);
        PaintStill(painter);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_image);
    if (m_points.empty()) {
        return;
    }
    painter.setClipRect(PlotRect());
    painter.setRenderHint(QPainter::Antialiasing);
    PaintHover(painter);
    if (OnDataPainted) {
        OnDataPainted();
    }
}

// Everything but the hover, painted once per size and data, so that moving
// the mouse costs only a copy of it.
void THistoryGraph::PaintStill(QPainter& painter) const {
    painter.fillRect(rect(), palette().window());
    const QRect plot = PlotRect();
    painter.fillRect(plot, palette().base());

    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    const QFontMetrics fm = fontMetrics();
    painter.setPen(palette().windowText().color());
    painter.drawText(plot.left(), fm.ascent() + 3, Title());
    painter.setFont(font());
    if (m_count > 0) {
        painter.drawText(QRect(plot.left(), 3, plot.width(), fm.height()), Qt::AlignRight,
                         tr("ozvěn %1, ztraceno %2 %")
                             .arg(QLocale().toString(static_cast<qulonglong>(m_count)),
                                  Percent(m_lost, m_count)));
    }
    if (m_points.empty()) {
        painter.setPen(palette().placeholderText().color());
        painter.drawText(plot, Qt::AlignCenter,
                         m_message.isEmpty() ? tr("Žádná data v tomto rozsahu") : m_message);
    } else {
        Refold();
        PaintAxes(painter);
        painter.save();
        painter.setClipRect(plot);
        painter.setRenderHint(QPainter::Antialiasing);
        PaintOutages(painter);
        PaintBands(painter);
        PaintLine(painter);
        PaintClipMarks(painter);
        PaintOutcomes(painter);
        painter.restore();
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(hasFocus() ? palette().highlight().color() : palette().mid().color());
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
}

void THistoryGraph::Invalidate() {
    m_image = QPixmap();
    update();
}

void THistoryGraph::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        m_foldedWidth = -1; // the plot's width follows the font
        Invalidate();
    }
}

void THistoryGraph::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    Invalidate();
}

void THistoryGraph::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    Invalidate();
}

void THistoryGraph::PaintAxes(QPainter& painter) const {
    const QRect plot = PlotRect();
    const QFontMetrics fm = fontMetrics();
    const double topMs = static_cast<double>(m_axisTopUs) / 1000;
    const double step = NiceCeiling(topMs / 5);
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step))));
    const QColor grid = palette().midlight().color();
    for (int i = 1; i * step <= topMs * (1 + 1e-9); ++i) {
        const double value = i * step;
        const int y = static_cast<int>(std::lround(ValueY(std::llround(value * 1000))));
        painter.setPen(grid);
        painter.drawLine(plot.left() + 1, y, plot.right() - 1, y);
        painter.setPen(palette().windowText().color());
        painter.drawText(QRect(0, y - fm.height() / 2, plot.left() - 4, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter,
                         tr("%1 ms").arg(QLocale().toString(value, 'f', decimals)));
    }
    PaintTimeAxis(painter);
}

void THistoryGraph::PaintTimeAxis(QPainter& painter) const {
    const QRect plot = PlotRect();
    const QFontMetrics fm = fontMetrics();
    int64_t stepMs = 0;
    const std::vector<int64_t> ticks = TimeTicks(m_fromMs, m_toMs, plot.width(), stepMs);
    for (const int64_t t : ticks) {
        const int x = static_cast<int>(std::lround(TimeX(t)));
        painter.setPen(palette().midlight().color());
        painter.drawLine(x, plot.top() + 1, x, plot.bottom() - 1);
        const bool midnight = Local(t).time() == QTime(0, 0);
        const QString label =
            Local(t).toString(stepMs >= kDayMs || midnight ? tr("d. M.") : tr("HH:mm"));
        const int w = fm.horizontalAdvance(label);
        painter.setPen(palette().windowText().color());
        painter.drawText(std::clamp(x - w / 2, plot.left() - w / 2, width() - w - 2),
                         plot.bottom() + 4 + fm.ascent(), label);
    }
}

// One rectangle per column, reaching to the next column that continues it, so
// that points sparser than the pixels still make a closed band. (An
// antialiased polygon through the columns looked the same and cost ten times
// as much.) A column without both edges (an old minute kept no percentiles)
// has no rectangle of this band.
void THistoryGraph::PaintBand(QPainter& painter, TEdge low, TEdge high,
                              const QColor& colour) const {
    const QRect plot = PlotRect();
    constexpr int kNone = -1;
    int open = kNone; // the column whose rectangle waits for its right edge
    const auto close = [&](int right) {
        const THistoryColumn& c = m_columns[static_cast<std::size_t>(open)];
        const double top = ValueY(*high(c));
        painter.fillRect(QRectF(plot.left() + open, top, right - open, ValueY(*low(c)) - top + 1),
                         colour);
        open = kNone;
    };
    for (int i = 0; i < static_cast<int>(m_columns.size()); ++i) {
        const THistoryColumn& c = m_columns[static_cast<std::size_t>(i)];
        if (!c.HasPoints) {
            continue;
        }
        const bool edges = low(c) && high(c);
        if (open != kNone) {
            close(c.Joined && edges ? i : open + 1);
        }
        if (edges) {
            open = i;
        }
    }
    if (open != kNone) {
        close(open + 1);
    }
}

void THistoryGraph::PaintBands(QPainter& painter) const {
    PaintBand(
        painter, [](const THistoryColumn& c) { return c.MinUs; },
        [](const THistoryColumn& c) { return c.MaxUs; }, BandColour(0));
    PaintBand(
        painter,
        [](const THistoryColumn& c) {
            return c.Spread ? std::optional(c.Spread->P10Us) : std::nullopt;
        },
        [](const THistoryColumn& c) {
            return c.Spread ? std::optional(c.Spread->P90Us) : std::nullopt;
        },
        BandColour(1));
    PaintBand(
        painter,
        [](const THistoryColumn& c) {
            return c.Spread ? std::optional(c.Spread->P25Us) : std::nullopt;
        },
        [](const THistoryColumn& c) {
            return c.Spread ? std::optional(c.Spread->P75Us) : std::nullopt;
        },
        BandColour(2));
}

// Columns with a total outage, shaded over the whole height; a stretch
// of them reaches to the next column with points when no gap lies between,
// so sparse points make one span.
void THistoryGraph::PaintOutages(QPainter& painter) const {
    const QRect plot = PlotRect();
    const QColor colour = OutageColour();
    constexpr int kNone = -1;
    int open = kNone;
    for (int i = 0; i < static_cast<int>(m_columns.size()); ++i) {
        const THistoryColumn& c = m_columns[static_cast<std::size_t>(i)];
        if (!c.HasPoints) {
            continue;
        }
        if (open != kNone) {
            const int right = c.Joined ? i : open + 1;
            painter.fillRect(QRectF(plot.left() + open, plot.top(), right - open, plot.height()),
                             colour);
            open = kNone;
        }
        if (c.Outage) {
            open = i;
        }
    }
    if (open != kNone) {
        painter.fillRect(QRectF(plot.left() + open, plot.top(), 1, plot.height()), colour);
    }
}

// A small upward triangle under the top edge over each column drawn beyond
// the axis; neighbours share one.
void THistoryGraph::PaintClipMarks(QPainter& painter) const {
    const QRect plot = PlotRect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(ClipColour());
    std::optional<std::size_t> last;
    for (const std::size_t i : m_clipped) {
        if (last && i - *last < 6) {
            continue;
        }
        last = i;
        const double x = plot.left() + static_cast<double>(i) + 0.5;
        const double top = plot.top() + 1;
        painter.drawPolygon(QPolygonF({{x, top}, {x - 3.5, top + 6}, {x + 3.5, top + 6}}));
    }
}

// The line is drawn in stretches of one loss class, lowest class first, so
// that a lossy stretch one pixel wide is never painted over by the clean
// columns around it. Lossy columns also mark the bottom edge, where they show
// however short their stretch of line is.
void THistoryGraph::PaintLine(QPainter& painter) const {
    const QRect plot = PlotRect();
    struct TStretch {
        int Loss;
        QPolygonF Points;
    };
    std::vector<TStretch> stretches;
    std::optional<QPointF> previous;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const THistoryColumn& c = m_columns[i];
        if (!c.HasPoints) {
            continue;
        }
        const double x = plot.left() + static_cast<double>(i) + 0.5;
        const int loss = LossClass(c.Count, c.Lost);
        if (loss >= kMarkedLoss) {
            painter.fillRect(QRectF(x - 0.5, plot.bottom() + 1 - kLossStrip, 1, kLossStrip),
                             LossColour(loss));
        }
        if (!c.MedianUs) {
            previous.reset();
            continue;
        }
        const QPointF point(x, ValueY(*c.MedianUs));
        if (previous && c.Joined && stretches.back().Loss == loss) {
            stretches.back().Points.append(point);
        } else if (previous && c.Joined) {
            stretches.push_back({loss, QPolygonF({*previous, point})});
        } else {
            stretches.push_back({loss, QPolygonF({point})});
        }
        previous = point;
    }
    std::stable_sort(stretches.begin(), stretches.end(),
                     [](const TStretch& a, const TStretch& b) { return a.Loss < b.Loss; });
    for (const TStretch& s : stretches) {
        const QColor colour = LossColour(s.Loss);
        if (s.Points.size() == 1) { // nothing to join: a dot
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawEllipse(s.Points.front(), 1.2, 1.2);
        } else {
            painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawPolyline(s.Points);
        }
    }
}

void THistoryGraph::PaintOutcomes(QPainter& painter) const {
    const QRect plot = PlotRect();
    // Failures last: where outcomes share a pixel, the failure shows.
    for (const bool ok : {true, false}) {
        const QColor colour = OutcomeColour(ok);
        for (const TOutcome& o : m_outcomes) {
            if (o.Ok != ok) {
                continue;
            }
            const double x = std::round(TimeX(o.TimeMs)) + 0.5;
            painter.setPen(QPen(colour, 1));
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            const double top = plot.top();
            painter.drawPolygon(QPolygonF({{x - 4, top}, {x + 4, top}, {x, top + 7}}));
        }
    }
}

void THistoryGraph::PaintHover(QPainter& painter) const {
    if (!m_hoverX) {
        return;
    }
    const QRect plot = PlotRect();
    painter.setPen(QPen(palette().dark().color(), 1, Qt::DashLine));
    painter.drawLine(QPointF(*m_hoverX + 0.5, plot.top()), QPointF(*m_hoverX + 0.5, plot.bottom()));
    const std::optional<std::size_t> nearest = NearestPoint(m_points, XTime(*m_hoverX + 0.5));
    if (nearest && m_points[*nearest].MedianUs) {
        const THistoryPoint& p = m_points[*nearest];
        painter.setPen(QPen(palette().windowText().color(), 1));
        painter.setBrush(LossColour(LossClass(p.Count, p.Lost)));
        painter.drawEllipse(QPointF(TimeX(p.TimeMs), ValueY(*p.MedianUs)), 3.5, 3.5);
    }
}

QString THistoryGraph::PointText(const THistoryPoint& p) const {
    if (m_resolution == THistoryResolution::Raw) {
        const QString when = Local(p.TimeMs).toString(tr("d. M. yyyy HH:mm:ss"));
        return p.MedianUs ? tr("%1\nodezva %2 ms").arg(when, Milliseconds(*p.MedianUs))
                          : tr("%1\nbez odpovědi").arg(when);
    }
    const int64_t bucket = BucketMs(m_resolution);
    QString text = tr("%1 – %2\nozvěn %3, ztraceno %4 (%5 %)")
                       .arg(Local(p.TimeMs).toString(tr("d. M. yyyy HH:mm")),
                            Local(p.TimeMs + bucket).toString(tr("HH:mm")))
                       .arg(p.Count)
                       .arg(p.Lost)
                       .arg(Percent(p.Lost, p.Count));
    if (p.MinUs && p.MedianUs && p.MaxUs) {
        text += tr("\nmin %1 ms · medián %2 ms · max %3 ms")
                    .arg(Milliseconds(*p.MinUs), Milliseconds(*p.MedianUs), Milliseconds(*p.MaxUs));
    }
    if (p.Spread) {
        text += tr("\npercentily 10/25/75/90: %1 / %2 / %3 / %4 ms")
                    .arg(Milliseconds(p.Spread->P10Us), Milliseconds(p.Spread->P25Us),
                         Milliseconds(p.Spread->P75Us), Milliseconds(p.Spread->P90Us));
    }
    return text;
}

QString THistoryGraph::HoverText(int x) const {
    const QRect plot = PlotRect();
    if (m_points.empty() || x < plot.left() || x > plot.right()) {
        return {};
    }
    QString text;
    for (const TOutcome& o : m_outcomes) { // every outcome drawn in reach, oldest first
        if (std::abs(TimeX(o.TimeMs) - (x + 0.5)) <= kOutcomeReach) {
            text += o.Text + QStringLiteral("\n\n");
        }
    }
    const std::optional<std::size_t> nearest = NearestPoint(m_points, XTime(x + 0.5));
    return text + PointText(m_points[nearest.value_or(0)]);
}

void THistoryGraph::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_hoverX.reset();
    m_image = QPixmap();
}

void THistoryGraph::mouseMoveEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    const QString text = HoverText(x);
    if (text.isEmpty()) {
        m_hoverX.reset();
        QToolTip::hideText();
    } else {
        m_hoverX = x;
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    }
    update();
}

void THistoryGraph::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    m_hoverX.reset();
    update();
}

} // namespace pingvard
