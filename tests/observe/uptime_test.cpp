// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/uptime.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <vector>

namespace pingvard {
namespace {

constexpr int64_t kHour = 3'600'000;
// 2026-11-30 00:00 in Central Europe (23:00 UTC the day before).
constexpr int64_t kMidnight = 1'795'993'200'000;
// 2027-03-28 00:00 CET: the clocks go forward at 02:00, the day has 23 hours.
constexpr int64_t kShortDay = 1'806'188'400'000;

class Uptime : public ::testing::Test {
protected:
    // The rules spelled out, so no time zone database is needed.
    void SetUp() override {
        ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        ::tzset();
    }
    void TearDown() override {
        ::unsetenv("TZ");
        ::tzset();
    }
};

TIncidentRecord Closed(int64_t from, int64_t to, bool unfinished = false) {
    TIncidentRecord r;
    r.Incident.StartMs = from;
    r.Incident.EndMs = to;
    r.Unfinished = unfinished;
    return r;
}

TIncidentRecord Open(int64_t from) {
    return Closed(from, 0);
}

struct TCase {
    const char* Name;
    std::vector<TIncidentRecord> Incidents;
    std::vector<TWatchedSpan> Watched;
    int64_t WatchedMs;
    int64_t DownMs;
};

// Over [kMidnight, kMidnight + 12 h), now at the end.
TEST_F(Uptime, CountsDownTimeOnlyWhereTheProgramWasWatching) {
    const int64_t m = kMidnight;
    const int64_t now = m + 12 * kHour;
    const TWatchedSpan all{m - 48 * kHour, now};
    const std::vector<TCase> cases = {
        {"no incidents", {}, {all}, 12 * kHour, 0},
        {"nothing watched", {Closed(m + kHour, m + 2 * kHour)}, {}, 0, 0},
        {"one hour down", {Closed(m + kHour, m + 2 * kHour)}, {all}, 12 * kHour, kHour},
        {"from before the range", {Closed(m - kHour, m + kHour)}, {all}, 12 * kHour, kHour},
        {"open: down up to now", {Open(now - kHour)}, {all}, 12 * kHour, kHour},
        {"unfinished: down up to its end",
         {Closed(m + kHour, m + 2 * kHour, true)},
         {{m, m + 2 * kHour}, {m + 5 * kHour, now}},
         9 * kHour,
         kHour},
        {"a stretch not watched inside an incident",
         {Closed(m + kHour, m + 4 * kHour)},
         {{m, m + 2 * kHour}, {m + 3 * kHour, now}},
         11 * kHour,
         2 * kHour},
        {"overlapping spans and incidents count once",
         {Closed(m + kHour, m + 3 * kHour), Closed(m + 2 * kHour, m + 4 * kHour)},
         {{m, m + 6 * kHour}, {m + 5 * kHour, now}},
         12 * kHour,
         3 * kHour},
        {"after now is not yet", {Open(now - kHour)}, {{m, now + kHour}}, 12 * kHour, kHour},
    };
    for (const TCase& c : cases) {
        const TUptime u = ComputeUptime(c.Incidents, c.Watched, m, now, now);
        EXPECT_EQ(u.WatchedMs, c.WatchedMs) << c.Name;
        EXPECT_EQ(u.DownMs, c.DownMs) << c.Name;
    }
    EXPECT_FALSE(ComputeUptime({}, {}, m, now, now).Share());
    EXPECT_DOUBLE_EQ(
        *ComputeUptime(std::vector{Closed(m, m + 3 * kHour)}, std::vector{all}, m, now, now)
             .Share(),
        0.75);
}

TEST_F(Uptime, SplitsDaysAtLocalMidnightWithAnIncidentAcrossIt) {
    const int64_t m = kMidnight;
    const int64_t now = m + 12 * kHour;
    const std::vector<TIncidentRecord> incidents = {Closed(m - kHour, m + 2 * kHour),
                                                    Open(now - 30 * 60'000)};
    const std::vector<TWatchedSpan> watched = {{m - 72 * kHour, now}};
    const std::vector<TUptime> days = DailyUptime(incidents, watched, 3, now);
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[0], (TUptime{m - 48 * kHour, m - 24 * kHour, 24 * kHour, 0}));
    EXPECT_EQ(days[1], (TUptime{m - 24 * kHour, m, 24 * kHour, kHour}));
    EXPECT_EQ(days[2], (TUptime{m, now, 12 * kHour, 2 * kHour + 30 * 60'000}));
}

TEST_F(Uptime, ADayOfTheClockChangeHasItsOwnLength) {
    EXPECT_EQ(LocalDayStart(kShortDay + 12 * kHour), kShortDay);
    const int64_t next = kShortDay + 23 * kHour;
    EXPECT_EQ(LocalDayStart(next + 1), next);
    const std::vector<TWatchedSpan> watched = {{kShortDay - kHour, next + 2 * kHour}};
    const std::vector<TUptime> days = DailyUptime({}, watched, 2, next + kHour);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].WatchedMs, 23 * kHour);
    EXPECT_EQ(days[1].WatchedMs, kHour);
}

TEST_F(Uptime, SummarisesTheLastDayWeekAndMonth) {
    const int64_t now = kMidnight;
    const std::vector<TIncidentRecord> incidents = {
        Closed(now - 2 * kHour, now - kHour), Closed(now - 3 * 24 * kHour, now - 71 * kHour),
        Closed(now - 40 * 24 * kHour, now - 40 * 24 * kHour + kHour)};
    const std::vector<TWatchedSpan> watched = {{now - 60 * 24 * kHour, now}};
    const TUptimeSummary s = SummariseUptime(incidents, watched, now);
    EXPECT_EQ(s.Day.DownMs, kHour);
    EXPECT_EQ(s.Week.DownMs, 2 * kHour);
    EXPECT_EQ(s.Month.DownMs, 2 * kHour);
    EXPECT_EQ(s.Month.WatchedMs, 30 * 24 * kHour);
}

} // namespace
} // namespace pingvard
