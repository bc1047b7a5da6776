// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/history_types.h"

#include <algorithm>

namespace pingvard {

namespace {

int64_t FloorTo(int64_t value, int64_t step) noexcept {
    const int64_t q = value / step;
    return (value % step < 0 ? q - 1 : q) * step;
}

THistoryPoint Fold(int64_t timeMs, std::span<const THistorySample> samples,
                   std::vector<int64_t>& answered, bool spread) {
    THistoryPoint point;
    point.TimeMs = timeMs;
    point.Count = static_cast<uint32_t>(samples.size());
    answered.clear();
    for (const THistorySample& sample : samples) {
        if (sample.RoundTripUs) {
            answered.push_back(*sample.RoundTripUs);
        }
    }
    point.Lost = point.Count - static_cast<uint32_t>(answered.size());
    if (answered.empty()) {
        return point;
    }
    const auto [lo, hi] = std::minmax_element(answered.begin(), answered.end());
    point.MinUs = *lo;
    point.MaxUs = *hi;
    const std::size_t mid = answered.size() / 2;
    std::nth_element(answered.begin(), answered.begin() + mid, answered.end());
    int64_t median = answered[mid];
    if (answered.size() % 2 == 0) {
        const int64_t below = *std::max_element(answered.begin(), answered.begin() + mid);
        median = below + (median - below) / 2;
    }
    point.MedianUs = median;
    if (spread) {
        point.Spread = SpreadOf(answered);
    }
    return point;
}

} // namespace

int64_t NearestRank(std::span<const int64_t> sorted, int percent) noexcept {
    // ceil(percent * n / 100), at least the first.
    const std::size_t n = sorted.size();
    const std::size_t rank =
        std::max<std::size_t>(1, (static_cast<std::size_t>(percent) * n + 99) / 100);
    return sorted[std::min(rank, n) - 1];
}

THistorySpread SpreadOf(std::span<int64_t> roundTrips) noexcept {
    std::sort(roundTrips.begin(), roundTrips.end());
    return {NearestRank(roundTrips, 10), NearestRank(roundTrips, 25), NearestRank(roundTrips, 75),
            NearestRank(roundTrips, 90)};
}

int64_t BucketMs(THistoryResolution resolution) noexcept {
    switch (resolution) {
    case THistoryResolution::Minute:
        return 60'000;
    case THistoryResolution::Hour:
        return 3'600'000;
    case THistoryResolution::Raw:
        break;
    }
    return 1;
}

std::vector<THistoryPoint> Aggregate(std::span<const THistorySample> samples, int64_t bucketMs) {
    std::vector<THistoryPoint> points;
    std::vector<int64_t> answered;
    std::size_t begin = 0;
    while (begin < samples.size()) {
        const int64_t timeMs = samples[begin].TimeUs / 1000;
        if (bucketMs <= 1) {
            points.push_back(Fold(timeMs, samples.subspan(begin, 1), answered, false));
            ++begin;
            continue;
        }
        const int64_t bucket = FloorTo(timeMs, bucketMs);
        std::size_t end = begin + 1;
        while (end < samples.size() && FloorTo(samples[end].TimeUs / 1000, bucketMs) == bucket) {
            ++end;
        }
        points.push_back(Fold(bucket, samples.subspan(begin, end - begin), answered, true));
        begin = end;
    }
    return points;
}

} // namespace pingvard
