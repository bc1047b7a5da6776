// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history/uptime_strip.h"

#include "rounds/site_text.h"

#include <QDateTime>
#include <QHelpEvent>
#include <QLocale>
#include <QPainter>
#include <QToolTip>
#include <cmath>

namespace pingvard {

namespace {

constexpr int kGap = 2; // between cells
constexpr int kCellHeight = 18;

// Up from this share on a day is no trouble worth a colour of its own.
struct TShade {
    double From;
    QColor Colour;
};
const TShade kShades[] = {
    {1.0, QColor(0x2e, 0x9d, 0x4a)},   // up the whole day
    {0.999, QColor(0x8c, 0xc8, 0x4b)}, // under 1.5 min of a day
    {0.99, QColor(0xf2, 0xc2, 0x2e)},  // under 15 min
    {0.95, QColor(0xf0, 0x8a, 0x24)},  // under 72 min
    {0.0, QColor(0xd6, 0x3a, 0x2f)},
};

} // namespace

QColor UptimeColour(const TUptime& day) {
    const std::optional<double> share = day.Share();
    if (!share) {
        return QColor(0xc8, 0xc8, 0xc8);
    }
    for (const TShade& shade : kShades) {
        if (*share >= shade.From) {
            return shade.Colour;
        }
    }
    return kShades[std::size(kShades) - 1].Colour;
}

QString UptimeShareText(const TUptime& uptime) {
    const std::optional<double> share = uptime.Share();
    if (!share) {
        return TUptimeStrip::tr("bez dat");
    }
    if (*share >= 1.0) {
        return QStringLiteral("100 %");
    }
    return QLocale().toString(std::floor(*share * 10000.0) / 100.0, 'f', 2) + QStringLiteral(" %");
}

TUptimeStrip::TUptimeStrip(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
}

void TUptimeStrip::SetDays(std::vector<TUptime> days) {
    m_days = std::move(days);
    update();
}

QRect TUptimeStrip::CellRect(int day) const {
    const int n = static_cast<int>(m_days.size());
    if (day < 0 || day >= n) {
        return {};
    }
    const int left = width() * day / n;
    const int right = width() * (day + 1) / n;
    return QRect(left, 0, std::max(right - left - kGap, 1), height());
}

int TUptimeStrip::DayAt(int x) const {
    const int n = static_cast<int>(m_days.size());
    if (n == 0 || x < 0 || x >= width()) {
        return -1;
    }
    return std::min(x * n / std::max(width(), 1), n - 1);
}

QString TUptimeStrip::DayToolTip(int day) const {
    if (day < 0 || day >= static_cast<int>(m_days.size())) {
        return {};
    }
    const TUptime& u = m_days[static_cast<std::size_t>(day)];
    const QString date =
        QLocale().toString(QDateTime::fromMSecsSinceEpoch(u.FromMs).date(), QLocale::ShortFormat);
    if (!u.Share()) {
        return tr("%1: nesledováno").arg(date);
    }
    return tr("%1: v provozu %2, výpadky %3 z %4 sledování")
        .arg(date, UptimeShareText(u), QString::fromStdString(ElapsedText(u.DownMs)),
             QString::fromStdString(ElapsedText(u.WatchedMs)));
}

QSize TUptimeStrip::sizeHint() const {
    return {30 * 16, kCellHeight};
}

QSize TUptimeStrip::minimumSizeHint() const {
    return {30 * 4, kCellHeight};
}

void TUptimeStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int day = 0; day < static_cast<int>(m_days.size()); ++day) {
        painter.fillRect(CellRect(day), UptimeColour(m_days[static_cast<std::size_t>(day)]));
    }
}

bool TUptimeStrip::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = DayToolTip(DayAt(help->pos().x()));
        if (text.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), text, this, CellRect(DayAt(help->pos().x())));
        }
        return true;
    }
    return QWidget::event(event);
}

} // namespace pingvard
