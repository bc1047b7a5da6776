// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history/history_columns.h"

#include <gtest/gtest.h>
#include <string>

using namespace pingvard;

namespace {

THistoryPoint Point(int64_t timeMs, int64_t medianMs, uint32_t lost = 0, uint32_t count = 30) {
    THistoryPoint p{timeMs, count, lost, {}, {}, {}, {}};
    if (lost < count) {
        p.MinUs = medianMs * 1000 - 500;
        p.MedianUs = medianMs * 1000;
        p.MaxUs = medianMs * 1000 + 500;
    }
    return p;
}

} // namespace

TEST(FoldColumns, SumsEchoesAndTakesMediansPerColumn) {
    // Four columns of 10 ms over [0, 40): three points in the first, one in the third.
    const std::vector<THistoryPoint> points = {Point(0, 5, 1), Point(3, 50), Point(6, 9),
                                               Point(25, 7)};
    const auto columns = FoldColumns(points, 0, 40, 4, 100);
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_TRUE(columns[0].HasPoints);
    EXPECT_EQ(columns[0].Count, 90u);
    EXPECT_EQ(columns[0].Lost, 1u);
    EXPECT_EQ(columns[0].MedianUs, 9000); // not the mean, which the 50 ms point would drag
    EXPECT_EQ(columns[0].MinUs, 8500);    // the median of the minima
    EXPECT_EQ(columns[0].MaxUs, 9500);
    EXPECT_FALSE(columns[1].HasPoints);
    EXPECT_TRUE(columns[2].HasPoints);
    EXPECT_EQ(columns[2].MedianUs, 7000);
    EXPECT_FALSE(columns[3].HasPoints);
}

TEST(FoldColumns, TakesTheMedianOfEachPercentileAndNoneFromPointsWithout) {
    std::vector<THistoryPoint> points = {Point(0, 5), Point(3, 9), Point(6, 7), Point(25, 7)};
    points[0].Spread = THistorySpread{1000, 2000, 8000, 9000};
    points[1].Spread = THistorySpread{3000, 4000, 6000, 50000};
    points[2].Spread = THistorySpread{2000, 3000, 7000, 10000};
    const auto columns = FoldColumns(points, 0, 40, 4, 100);
    EXPECT_EQ(columns[0].Spread, (THistorySpread{2000, 3000, 7000, 10000}));
    EXPECT_EQ(columns[2].MedianUs, 7000); // an old minute: figures, but no spread
    EXPECT_FALSE(columns[2].Spread);
}

TEST(FoldColumns, AColumnOfSingleEchoesSpreadsOverTheEchoes) {
    std::vector<THistoryPoint> points;
    const int64_t rtts[] = {30, 10, 20, 50, 40, 60, 70, 80, 90, 100};
    for (std::size_t i = 0; i < std::size(rtts); ++i) {
        const int64_t us = rtts[i] * 1000;
        points.push_back({static_cast<int64_t>(i), 1, 0, us, us, us, {}});
    }
    points.push_back({10, 1, 1, {}, {}, {}, {}}); // lost
    const auto columns = FoldColumns(points, 0, 20, 1, 100, true);
    EXPECT_EQ(columns[0].Count, 11u);
    EXPECT_EQ(columns[0].MinUs, 10'000);
    EXPECT_EQ(columns[0].MaxUs, 100'000);
    EXPECT_EQ(columns[0].MedianUs, 60'000);
    EXPECT_EQ(columns[0].Spread, (THistorySpread{10'000, 30'000, 80'000, 90'000}));
}

TEST(FoldColumns, IgnoresPointsOutsideTheRange) {
    const std::vector<THistoryPoint> points = {Point(-1, 5), Point(0, 6), Point(39, 7),
                                               Point(40, 8)};
    const auto columns = FoldColumns(points, 0, 40, 4, 100);
    EXPECT_EQ(columns[0].MedianUs, 6000);
    EXPECT_EQ(columns[0].Count, 30u);
    EXPECT_EQ(columns[3].MedianUs, 7000);
    EXPECT_EQ(columns[3].Count, 30u);
}

TEST(FoldColumns, BreaksTheLineAtAGapLongerThanAllowed) {
    const std::vector<THistoryPoint> points = {Point(0, 5), Point(10, 5), Point(50, 5),
                                               Point(60, 5)};
    const auto columns = FoldColumns(points, 0, 80, 8, 25);
    EXPECT_FALSE(columns[0].Joined); // nothing before it
    EXPECT_TRUE(columns[1].Joined);
    EXPECT_FALSE(columns[5].Joined); // 40 ms since the last point
    EXPECT_TRUE(columns[6].Joined);
}

TEST(FoldColumns, AColumnWhoseEchoesWereAllLostHasNoRoundTrip) {
    const std::vector<THistoryPoint> points = {Point(0, 5, 30), Point(1, 0, 30)};
    const auto columns = FoldColumns(points, 0, 10, 1, 100);
    EXPECT_TRUE(columns[0].HasPoints);
    EXPECT_EQ(columns[0].Lost, 60u);
    EXPECT_FALSE(columns[0].MedianUs);
    EXPECT_FALSE(columns[0].MinUs);
}

TEST(FoldColumns, AMinuteWithoutAnswerOrThreeEchoesLostInARowMarkAnOutage) {
    // One point per millisecond over four columns of 10 ms; "x" an echo (or
    // a minute) without answer, "." one answered, " " nothing sent.
    const struct {
        const char* Name;
        const char* Points;
        bool Echoes;
        const char* Outage; // per column
    } cases[] = {
        {"LostMinuteAmongAnswered", "....x.....", false, "X---"},
        {"OneLostEcho", "....x.....", true, "----"},
        {"TwoLostEchoes", "....xx....", true, "----"},
        {"ThreeLostEchoes", "....xxx...", true, "X---"},
        {"ARunAcrossColumns", ".........xxxxxxxxxxx..........xx", true, "XX--"},
        {"AGapEndsARun", "........xx     xx......", true, "----"},
    };
    for (const auto& c : cases) {
        std::vector<THistoryPoint> points;
        for (int t = 0; c.Points[t] != 0; ++t) {
            if (c.Points[t] != ' ') {
                points.push_back(Point(t, 5, c.Points[t] == 'x' ? 1 : 0, 1));
            }
        }
        const auto columns = FoldColumns(points, 0, 40, 4, 2, c.Echoes);
        std::string outage;
        for (const THistoryColumn& column : columns) {
            outage += column.Outage ? 'X' : '-';
        }
        EXPECT_EQ(outage, c.Outage) << c.Name;
    }
}

TEST(FoldColumns, NoWidthOrNoRangeGivesNothingToDraw) {
    const std::vector<THistoryPoint> points = {Point(0, 5)};
    EXPECT_TRUE(FoldColumns(points, 0, 10, 0, 100).empty());
    const auto columns = FoldColumns(points, 10, 10, 3, 100);
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_FALSE(columns[0].HasPoints);
}

TEST(NearestPoint, PicksTheClosestInTime) {
    const std::vector<THistoryPoint> points = {Point(10, 1), Point(20, 1), Point(40, 1)};
    const struct {
        int64_t Time;
        std::size_t Index;
    } cases[] = {{0, 0}, {10, 0}, {14, 0}, {15, 0}, {16, 1}, {31, 2}, {99, 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(NearestPoint(points, c.Time), c.Index) << c.Time;
    }
    EXPECT_FALSE(NearestPoint({}, 5));
}

TEST(LossClass, BoundariesAreExact) {
    const struct {
        uint64_t Count;
        uint64_t Lost;
        int Class;
    } cases[] = {{0, 0, 0},    {30, 0, 0},    {100, 1, 1},  {100, 2, 2},   {100, 4, 2},
                 {100, 5, 3},  {100, 9, 3},   {100, 10, 4}, {100, 24, 4},  {100, 25, 5},
                 {100, 99, 5}, {100, 100, 6}, {3, 3, 6},    {4000, 79, 1}, {4000, 80, 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(LossClass(c.Count, c.Lost), c.Class) << c.Lost << " of " << c.Count;
    }
}

// 100 columns of 18-30 ms, with what each case changes.
struct TAxisCase {
    const char* Name;
    std::vector<std::pair<std::size_t, THistoryColumn>> Changed;
    int64_t TopUs;
    std::vector<std::size_t> Clipped;
};

THistoryColumn Column(int64_t minUs, int64_t medianUs, int64_t maxUs) {
    THistoryColumn c;
    c.HasPoints = true;
    c.Count = 30;
    c.MinUs = minUs;
    c.MedianUs = medianUs;
    c.MaxUs = maxUs;
    return c;
}

TEST(AxisTopUs, ScalesToThe95thPercentileOfTheColumnsAndMarksWhatIsAbove) {
    THistoryColumn lost;
    lost.HasPoints = true;
    lost.Count = 30;
    lost.Lost = 30;
    const TAxisCase cases[] = {
        {"Even", {}, 40'000, {}}, // 30 ms and a twentieth, up to a whole 10 ms step
        // One echo of 247 ms in an hour of single echoes: the line's column.
        {"ASpike", {{50, Column(247'000, 247'000, 247'000)}}, 40'000, {50}},
        {"SecondsOfOneEcho", {{50, Column(18'000, 20'000, 4'000'000)}}, 40'000, {50}},
        // Five columns are the highest twentieth; a sixth sets the axis.
        {"FiveSpikes",
         {{10, Column(1, 2, 500'000)},
          {20, Column(1, 2, 500'000)},
          {30, Column(1, 2, 500'000)},
          {40, Column(1, 2, 500'000)},
          {50, Column(1, 2, 500'000)}},
         40'000,
         {10, 20, 30, 40, 50}},
        {"SixSpikes",
         {{10, Column(1, 2, 500'000)},
          {20, Column(1, 2, 500'000)},
          {30, Column(1, 2, 500'000)},
          {40, Column(1, 2, 500'000)},
          {50, Column(1, 2, 500'000)},
          {60, Column(1, 2, 90'000)}},
         100'000,
         {10, 20, 30, 40, 50}},
        // Outages draw nothing and do not pull the axis down.
        {"Outages", {{0, lost}, {1, lost}, {2, lost}}, 40'000, {}},
    };
    for (const TAxisCase& c : cases) {
        std::vector<THistoryColumn> columns(100, Column(18'000, 20'000, 30'000));
        for (const auto& [at, column] : c.Changed) {
            columns[at] = column;
        }
        const int64_t top = AxisTopUs(columns);
        EXPECT_EQ(top, c.TopUs) << c.Name;
        EXPECT_EQ(ClippedColumns(columns, top), c.Clipped) << c.Name;
    }
}

TEST(AxisTopUs, AColumnWithoutExtremesIsMeasuredByItsSpreadOrMedian) {
    std::vector<THistoryColumn> columns(3);
    columns[0].Spread = THistorySpread{1, 2, 3, 400'000};
    columns[1].MedianUs = 20'000;
    EXPECT_EQ(ClippedColumns(columns, 300'000), std::vector<std::size_t>{0});
    EXPECT_EQ(ClippedColumns(columns, 10'000), (std::vector<std::size_t>{0, 1}));
}

TEST(AxisTopUs, NeverBelowOneMillisecond) {
    std::vector<THistoryColumn> columns(1);
    EXPECT_EQ(AxisTopUs(columns), 1000);
    columns[0].MedianUs = 80;
    columns[0].MaxUs = 120;
    EXPECT_EQ(AxisTopUs(columns), 1000);
}

TEST(NiceCeiling, RoundsUpToOneTwoOrFive) {
    const std::pair<double, double> cases[] = {{0.7, 1},   {1, 1},  {1.01, 2}, {3, 5},
                                               {5, 5},     {6, 10}, {42, 50},  {0.03, 0.05},
                                               {180, 200}, {0, 1}};
    for (const auto& [value, nice] : cases) {
        EXPECT_DOUBLE_EQ(NiceCeiling(value), nice) << value;
    }
}

TEST(TypicalSpacingMs, IsTheMedianStep) {
    std::vector<THistoryPoint> points = {Point(0, 1), Point(2000, 1), Point(4000, 1),
                                         Point(90'000, 1), Point(92'000, 1)};
    EXPECT_EQ(TypicalSpacingMs(points), 2000);
    EXPECT_EQ(TypicalSpacingMs(std::span(points).first(1)), 0);
}
