// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "observe/history/uptime.h"

#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

namespace pingvard {

// The colour of a day's cell: green when up all the watched time, paler
// shades down to red as the share falls, grey when nothing was watched.
QColor UptimeColour(const TUptime& day);
// "99,31 %" in the window's locale (floored: any time down is under 100 %),
// or "bez dat" when nothing was watched.
QString UptimeShareText(const TUptime& uptime);

// One cell per day, oldest on the left and today on the right, coloured by
// the share of the watched time the site was up; hovering a cell tells the
// day, the share, the time down and the time watched.
class TUptimeStrip : public QWidget {
    Q_OBJECT
public:
    explicit TUptimeStrip(QWidget* parent = nullptr);

    void SetDays(std::vector<TUptime> days);
    const std::vector<TUptime>& Days() const { return m_days; }
    // The day under widget x, or -1.
    int DayAt(int x) const;
    QRect CellRect(int day) const;
    QString DayToolTip(int day) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::vector<TUptime> m_days;
};

} // namespace pingvard
