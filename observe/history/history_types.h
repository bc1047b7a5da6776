// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The values the history hands to the graphs and to `pingvard --history`.

#include "events/monitor_event.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pingvard {

// How finely a range is shown: single echoes (kept 48 h), one-minute
// aggregates (90 days) or one-hour aggregates (5 years).
enum class THistoryResolution { Raw, Minute, Hour };

struct THistorySample {
    int64_t TimeUs = 0;                 // wall clock, microseconds since 1970 (UTC)
    std::optional<int64_t> RoundTripUs; // empty = lost
};

// The spread of a minute's or an hour's answered round trips: the 10th, 25th,
// 75th and 90th percentiles by nearest rank (each one of the round trips
// itself, never an interpolation).
struct THistorySpread {
    int64_t P10Us = 0;
    int64_t P25Us = 0;
    int64_t P75Us = 0;
    int64_t P90Us = 0;

    bool operator==(const THistorySpread&) const = default;
};

// One echo (Raw) or the echoes of one minute or hour of one host. The round-trip
// figures cover the answered echoes and are empty when every echo was lost;
// Spread is also empty for aggregates written before it was kept.
struct THistoryPoint {
    int64_t TimeMs = 0; // the echo's time, or the start of its minute or hour
    uint32_t Count = 0; // echoes sent
    uint32_t Lost = 0;
    std::optional<int64_t> MinUs;
    std::optional<int64_t> MedianUs;
    std::optional<int64_t> MaxUs;
    std::optional<THistorySpread> Spread;

    bool operator==(const THistoryPoint&) const = default;
};

struct THistoryHost {
    std::string Address;
    std::string Name; // the display name last seen for it
};

// A recovery event as recorded: host down or up, rule fired, action started or
// ended, guard changed.
struct THistoryRecord {
    int64_t TimeMs = 0;
    TMonitorEventKind Kind = TMonitorEventKind::RuleFired;
    std::string Host;
    std::string Action;
    std::string ActionKind;
    bool Ok = false;
    std::string Text;
};

// Milliseconds per point of a resolution (1 for Raw).
int64_t BucketMs(THistoryResolution resolution) noexcept;

// The nearest-rank percentile (0 < percent <= 100) of values sorted in
// ascending order: the smallest value with at least percent % of the values at
// or below it. values must not be empty.
int64_t NearestRank(std::span<const int64_t> sorted, int percent) noexcept;
// The spread of round trips in any order; sorts them.
THistorySpread SpreadOf(std::span<int64_t> roundTrips) noexcept;

// Folds samples in time order into one point per bucket (bucketMs > 1), or one
// point per sample (bucketMs <= 1). The median of an even count is the mean of
// the two middle round trips.
std::vector<THistoryPoint> Aggregate(std::span<const THistorySample> samples, int64_t bucketMs);

} // namespace pingvard
