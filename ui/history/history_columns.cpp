// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history/history_columns.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace pingvard {

namespace {

// Single echoes lost in a row that make an outage: one lost echo is loss,
// not an outage.
constexpr int kOutageEchoes = 3;

} // namespace

int64_t TypicalSpacingMs(std::span<const THistoryPoint> points) {
    if (points.size() < 2) {
        return 0;
    }
    std::vector<int64_t> steps;
    steps.reserve(points.size() - 1);
    for (std::size_t i = 1; i < points.size(); ++i) {
        steps.push_back(points[i].TimeMs - points[i - 1].TimeMs);
    }
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

std::optional<int64_t> THistoryColumn::TopUs() const noexcept {
    if (MaxUs) {
        return MaxUs;
    }
    if (Spread) {
        return Spread->P90Us;
    }
    return MedianUs;
}

std::vector<THistoryColumn> FoldColumns(std::span<const THistoryPoint> points, int64_t fromMs,
                                        int64_t toMs, int width, int64_t gapMs, bool echoes) {
    std::vector<THistoryColumn> columns(static_cast<std::size_t>(std::max(width, 0)));
    if (columns.empty() || toMs <= fromMs) {
        return columns;
    }
    const int64_t span = toMs - fromMs;
    std::vector<int64_t> mins;
    std::vector<int64_t> medians;
    std::vector<int64_t> maxes;
    std::array<std::vector<int64_t>, 4> spreads; // each point's p10, p25, p75, p90
    THistoryColumn* current = nullptr;
    const auto middle = [](std::vector<int64_t>& values) -> std::optional<int64_t> {
        if (values.empty()) {
            return std::nullopt;
        }
        const auto at = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
        std::nth_element(values.begin(), at, values.end());
        const int64_t value = *at;
        values.clear();
        return value;
    };
    const auto finish = [&] {
        if (current == nullptr) {
            return;
        }
        if (echoes && !medians.empty()) {
            const auto [lo, hi] = std::minmax_element(medians.begin(), medians.end());
            current->MinUs = *lo;
            current->MaxUs = *hi;
            current->Spread = SpreadOf(medians);
            current->MedianUs = middle(medians);
            mins.clear();
            maxes.clear();
            return;
        }
        current->MinUs = middle(mins);
        current->MedianUs = middle(medians);
        current->MaxUs = middle(maxes);
        if (!spreads[0].empty()) {
            current->Spread = THistorySpread{*middle(spreads[0]), *middle(spreads[1]),
                                             *middle(spreads[2]), *middle(spreads[3])};
        }
    };
    std::optional<int64_t> lastTime;
    int lostRun = 0;           // single echoes lost in a row, up to this one
    std::size_t runColumn = 0; // the first column of that run not marked yet
    for (const THistoryPoint& p : points) {
        if (p.TimeMs < fromMs || p.TimeMs >= toMs) {
            continue;
        }
        // Within int64: 5 years of milliseconds times a screen's width.
        const auto index = static_cast<std::size_t>((p.TimeMs - fromMs) * width / span);
        THistoryColumn& column = columns[index];
        if (&column != current) {
            finish();
            current = &column;
            column.HasPoints = true;
            column.Joined = lastTime && p.TimeMs - *lastTime <= gapMs;
        }
        const bool allLost = p.Count > 0 && p.Lost >= p.Count;
        if (!echoes) {
            column.Outage = column.Outage || allLost;
        } else if (!allLost || (lastTime && p.TimeMs - *lastTime > gapMs)) {
            lostRun = allLost ? 1 : 0; // a gap ends a run: nothing was sent in it
            runColumn = index;
        } else if (lostRun++ == 0) {
            runColumn = index;
        }
        if (echoes && lostRun >= kOutageEchoes) {
            for (; runColumn <= index; ++runColumn) {
                columns[runColumn].Outage = columns[runColumn].HasPoints;
            }
            runColumn = index;
        }
        lastTime = p.TimeMs;
        column.Count += p.Count;
        column.Lost += p.Lost;
        if (p.MinUs && p.MedianUs && p.MaxUs) {
            mins.push_back(*p.MinUs);
            medians.push_back(*p.MedianUs);
            maxes.push_back(*p.MaxUs);
        }
        if (p.Spread && !echoes) {
            spreads[0].push_back(p.Spread->P10Us);
            spreads[1].push_back(p.Spread->P25Us);
            spreads[2].push_back(p.Spread->P75Us);
            spreads[3].push_back(p.Spread->P90Us);
        }
    }
    finish();
    return columns;
}

std::optional<std::size_t> NearestPoint(std::span<const THistoryPoint> points, int64_t timeMs) {
    if (points.empty()) {
        return std::nullopt;
    }
    const auto after =
        std::lower_bound(points.begin(), points.end(), timeMs,
                         [](const THistoryPoint& p, int64_t t) { return p.TimeMs < t; });
    if (after == points.begin()) {
        return 0;
    }
    if (after == points.end() || timeMs - (after - 1)->TimeMs <= after->TimeMs - timeMs) {
        return static_cast<std::size_t>(after - 1 - points.begin());
    }
    return static_cast<std::size_t>(after - points.begin());
}

int LossClass(uint64_t count, uint64_t lost) noexcept {
    if (count == 0 || lost == 0) {
        return 0;
    }
    if (lost >= count) {
        return kLossClasses - 1;
    }
    // Compared as lost/count < limit/100, without rounding.
    constexpr uint64_t kLimits[] = {2, 5, 10, 25};
    for (int i = 0; i < 4; ++i) {
        if (lost * 100 < kLimits[i] * count) {
            return i + 1;
        }
    }
    return 5;
}

double NiceCeiling(double value) {
    if (!(value > 0)) {
        return 1;
    }
    const double base = std::pow(10.0, std::floor(std::log10(value)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * base >= value * (1 - 1e-12)) {
            return m * base;
        }
    }
    return 10 * base;
}

int64_t AxisTopUs(std::span<const THistoryColumn> columns) {
    std::vector<int64_t> tops;
    for (const THistoryColumn& c : columns) {
        if (const auto top = c.TopUs()) {
            tops.push_back(*top);
        }
    }
    double topMs = 0;
    if (!tops.empty()) {
        std::sort(tops.begin(), tops.end());
        topMs = static_cast<double>(NearestRank(tops, 95)) / 1000 * 1.05;
    }
    topMs = std::max(1.0, topMs);
    const double step = NiceCeiling(topMs / 5);
    return static_cast<int64_t>(std::llround(std::ceil(topMs / step - 1e-9) * step * 1000));
}

std::vector<std::size_t> ClippedColumns(std::span<const THistoryColumn> columns, int64_t topUs) {
    std::vector<std::size_t> clipped;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (const auto top = columns[i].TopUs(); top && *top > topUs) {
            clipped.push_back(i);
        }
    }
    return clipped;
}

} // namespace pingvard
