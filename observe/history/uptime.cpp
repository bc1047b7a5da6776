// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/uptime.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace pingvard {

namespace {

using TInterval = std::pair<int64_t, int64_t>;

// Clipped to [from, to), sorted and merged: overlaps (a clock set back, two
// incidents a resumed run saw twice) count once.
std::vector<TInterval> Union(std::vector<TInterval> intervals, int64_t from, int64_t to) {
    std::vector<TInterval> clipped;
    for (auto [a, b] : intervals) {
        a = std::max(a, from);
        b = std::min(b, to);
        if (a < b) {
            clipped.emplace_back(a, b);
        }
    }
    std::sort(clipped.begin(), clipped.end());
    std::vector<TInterval> merged;
    for (const TInterval& i : clipped) {
        if (!merged.empty() && i.first <= merged.back().second) {
            merged.back().second = std::max(merged.back().second, i.second);
        } else {
            merged.push_back(i);
        }
    }
    return merged;
}

int64_t Length(const std::vector<TInterval>& intervals) {
    int64_t total = 0;
    for (const auto& [a, b] : intervals) {
        total += b - a;
    }
    return total;
}

// Both sorted and disjoint.
int64_t Overlap(const std::vector<TInterval>& x, const std::vector<TInterval>& y) {
    int64_t total = 0;
    for (std::size_t i = 0, j = 0; i < x.size() && j < y.size();) {
        const int64_t a = std::max(x[i].first, y[j].first);
        const int64_t b = std::min(x[i].second, y[j].second);
        total += std::max<int64_t>(0, b - a);
        (x[i].second < y[j].second ? i : j)++;
    }
    return total;
}

} // namespace

std::optional<double> TUptime::Share() const {
    if (WatchedMs <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(WatchedMs - DownMs) / static_cast<double>(WatchedMs);
}

TUptime ComputeUptime(std::span<const TIncidentRecord> incidents,
                      std::span<const TWatchedSpan> watched, int64_t fromMs, int64_t toMs,
                      int64_t nowMs) {
    std::vector<TInterval> spans;
    for (const TWatchedSpan& span : watched) {
        spans.emplace_back(span.FromMs, span.ToMs);
    }
    std::vector<TInterval> down;
    for (const TIncidentRecord& record : incidents) {
        const TIncident& incident = record.Incident;
        down.emplace_back(incident.StartMs, incident.Open() ? nowMs : incident.EndMs);
    }
    const std::vector<TInterval> seen = Union(std::move(spans), fromMs, toMs);
    TUptime uptime;
    uptime.FromMs = fromMs;
    uptime.ToMs = toMs;
    uptime.WatchedMs = Length(seen);
    uptime.DownMs = Overlap(seen, Union(std::move(down), fromMs, toMs));
    return uptime;
}

TUptimeSummary SummariseUptime(std::span<const TIncidentRecord> incidents,
                               std::span<const TWatchedSpan> watched, int64_t nowMs) {
    return {ComputeUptime(incidents, watched, nowMs - kDayMs, nowMs, nowMs),
            ComputeUptime(incidents, watched, nowMs - 7 * kDayMs, nowMs, nowMs),
            ComputeUptime(incidents, watched, nowMs - 30 * kDayMs, nowMs, nowMs)};
}

int64_t LocalDayStart(int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return ms - ((ms % kDayMs) + kDayMs) % kDayMs; // no time zone rules: the UTC day
    }
    local.tm_hour = 0;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1; // whatever holds at that midnight
    return static_cast<int64_t>(std::mktime(&local)) * 1000;
}

std::vector<TUptime> DailyUptime(std::span<const TIncidentRecord> incidents,
                                 std::span<const TWatchedSpan> watched, int days, int64_t nowMs) {
    std::vector<TUptime> out(static_cast<std::size_t>(std::max(days, 0)));
    int64_t end = nowMs;
    int64_t start = LocalDayStart(nowMs);
    for (auto day = out.rbegin(); day != out.rend(); ++day) {
        *day = ComputeUptime(incidents, watched, start, end, nowMs);
        end = start;
        start = LocalDayStart(start - 1);
    }
    return out;
}

} // namespace pingvard
