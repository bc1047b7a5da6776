// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a history graph draws, one pixel column at a time. Ninety days of
// one-minute points are 129,600 per host, a hundred and more per column of an
// ordinary window, so the graph never draws points: it folds them into
// columns once per width and paints at most one band slice and one line
// segment per column.

#include "observe/history/history_types.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pingvard {

// The round-trip figures of a column of minutes or hours are medians over its
// points: the line is the median of their medians, the bands run from the
// median of their minima to the median of their maxima, and likewise for
// each percentile. The band's extremes would show the one slow echo of each
// of its hundred minutes and hide the usual spread; the hover shows each
// point's own figures. A column of single echoes takes its figures from the
// echoes themselves: their lowest, median, highest and percentiles.
struct THistoryColumn {
    bool HasPoints = false; // some point falls into this column
    bool Joined = false;    // no gap in the data since the previous column with points
    uint64_t Count = 0;     // echoes sent, summed over the column's points
    uint64_t Lost = 0;
    std::optional<int64_t> MinUs;
    std::optional<int64_t> MedianUs;
    std::optional<int64_t> MaxUs;
    std::optional<THistorySpread> Spread; // empty when none of its points kept one

    // A total outage falls into the column: one of its minutes or hours lost
    // every echo, or, for single echoes, it holds part of a run of three or
    // more lost in a row.
    bool Outage = false;
    // The highest figure the column draws, if any.
    std::optional<int64_t> TopUs() const noexcept;
};

// The usual distance between two points: the median of the steps between
// neighbours (0 with fewer than two points).
int64_t TypicalSpacingMs(std::span<const THistoryPoint> points);

// Folds points (oldest first) into `width` columns spread evenly over
// [fromMs, toMs). A column is joined to the previous one with points unless
// more than `gapMs` passed between their points: the program was not running,
// and the line must not pretend otherwise. A column whose echoes were all lost
// has points but no round-trip figures. echoes: the points are single echoes.
std::vector<THistoryColumn> FoldColumns(std::span<const THistoryPoint> points, int64_t fromMs,
                                        int64_t toMs, int width, int64_t gapMs,
                                        bool echoes = false);

// The point nearest in time to timeMs; nullopt when there is none.
std::optional<std::size_t> NearestPoint(std::span<const THistoryPoint> points, int64_t timeMs);

// Loss classes that colour the line, from 0 (nothing lost) to kLossClasses - 1
// (everything lost): 0 %, under 2, 5, 10, 25 and 100 %, and 100 %.
inline constexpr int kLossClasses = 7;
int LossClass(uint64_t count, uint64_t lost) noexcept;

// The top of the round-trip axis in microseconds: the 95th percentile (by
// nearest rank) of the columns' tops with a twentieth of room above it,
// rounded up to a whole number of grid steps (1, 2 or 5 times a power of
// ten, about five to the axis). A stray slow echo, or a whole column of
// them, does not flatten a range of milliseconds; what reaches above is
// clipped and marked (ClippedColumns). Never below 1 ms.
int64_t AxisTopUs(std::span<const THistoryColumn> columns);

// The columns whose top reaches above topUs, left to right.
std::vector<std::size_t> ClippedColumns(std::span<const THistoryColumn> columns, int64_t topUs);

// The smallest value of 1, 2 or 5 times a power of ten that is >= value.
double NiceCeiling(double value);

} // namespace pingvard
