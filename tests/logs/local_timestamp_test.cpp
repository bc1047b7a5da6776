// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/local_timestamp.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace pingvard {
namespace {

std::tm At(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    std::tm copy = t;
    (void)std::mktime(&copy); // for the day of the week
    t.tm_wday = copy.tm_wday;
    return t;
}

TRegionalSettings Czech() {
    TRegionalSettings s;
    s.ShortDatePicture = "d/M/yyyy";
    s.DateSeparator = '.';
    s.TimeSeparator = ':';
    s.Clock24 = true;
    return s;
}

// The event log line of a completed reset, as the operator reads it.
std::string LogLine(const std::tm& t, const TRegionalSettings& s) {
    return FormatTimestamp(t, s) + ": Reset OK\r\n";
}

TEST(LocalTimestamp, RendersTheThreeExampleLines) {
    const auto afternoon = At(2026, 12, 7, 13, 5, 9);
    EXPECT_EQ(LogLine(afternoon, Czech()), "7.12.2026 13:05:09: Reset OK\r\n");
    EXPECT_EQ(LogLine(afternoon, TRegionalSettings{}), "12/7/26 1:05:09 pm: Reset OK\r\n");
    EXPECT_EQ(LogLine(At(2026, 12, 7, 0, 0, 0), Czech()), "7.12.2026: Reset OK\r\n");
}

struct TTimeCase {
    int hour, minute, second;
    bool clock24, leadingZero, markerBefore;
    const char* expected;
};

class LocalTimestampTime : public ::testing::TestWithParam<TTimeCase> {};

TEST_P(LocalTimestampTime, FollowsTheClockSettings) {
    const auto& c = GetParam();
    TRegionalSettings s;
    s.ShortDatePicture = "'D'";
    s.Clock24 = c.clock24;
    s.HourLeadingZero = c.leadingZero;
    s.MarkerBeforeTime = c.markerBefore;
    s.TimeSeparator = '.';
    EXPECT_EQ(FormatTimestamp(At(2026, 1, 2, c.hour, c.minute, c.second), s), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LocalTimestampTime,
    ::testing::Values(TTimeCase{0, 0, 1, false, false, false, "D 12.00.01 am"},
                      TTimeCase{0, 1, 0, true, false, false, "D 0.01.00"},
                      TTimeCase{11, 59, 59, false, false, false, "D 11.59.59 am"},
                      TTimeCase{12, 0, 0, false, false, false, "D 12.00.00 pm"},
                      TTimeCase{23, 5, 9, false, true, false, "D 11.05.09 pm"},
                      TTimeCase{9, 5, 9, false, true, true, "D am 09.05.09"},
                      TTimeCase{9, 5, 9, true, true, false, "D 09.05.09"},
                      TTimeCase{0, 0, 0, false, false, false, "D"}));

TEST(LocalTimestamp, RendersPictureLettersAndLiterals) {
    TRegionalSettings s;
    s.DateSeparator = '-';
    const auto t = At(2026, 3, 4, 0, 0, 0); // a Wednesday
    auto render = [&](const char* picture) {
        s.ShortDatePicture = picture;
        return FormatTimestamp(t, s);
    };
    EXPECT_EQ(render("dd/MM/yyyy"), "04-03-2026");
    EXPECT_EQ(render("d/m/yy"), "4-3-26");
    EXPECT_EQ(render("ddd d MMM yyyy"), "Wed 4 Mar 2026");
    EXPECT_EQ(render("dddd, MMMM d"), "Wednesday, March 4");
    EXPECT_EQ(render("yyyy'year'/\"d\"gg"), "2026year-d");
}

struct TFormatCase {
    const char* format;
    const char* picture;
    char separator;
};

class DateFormatMapping : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(DateFormatMapping, BecomesAPictureAndSeparator) {
    TRegionalSettings s;
    ApplyDateFormat(s, GetParam().format);
    EXPECT_EQ(s.ShortDatePicture, GetParam().picture);
    EXPECT_EQ(s.DateSeparator, GetParam().separator);
}

INSTANTIATE_TEST_SUITE_P(Table, DateFormatMapping,
                         ::testing::Values(TFormatCase{"%m/%d/%y", "MM/dd/yy", '/'},
                                           TFormatCase{"%D", "MM/dd/yy", '/'},
                                           TFormatCase{"%d.%m.%Y", "dd/MM/yyyy", '.'},
                                           TFormatCase{"%-d.%-m.%Y", "d/M/yyyy", '.'},
                                           TFormatCase{"%F", "yyyy/MM/dd", '-'},
                                           TFormatCase{"%e %b %Y", "d MMM yyyy", '/'},
                                           TFormatCase{"%Y. %m. %d.", "yyyy/ MM/ dd/", '.'},
                                           // cannot be expressed: the fallbacks stay
                                           TFormatCase{"%Ey", "M/d/yy", '/'},
                                           TFormatCase{"%d %j", "M/d/yy", '/'},
                                           TFormatCase{"", "M/d/yy", '/'}));

TEST(TimeFormatMapping, TakesClockZeroSeparatorAndMarkerPosition) {
    auto apply = [](const char* format) {
        TRegionalSettings s;
        ApplyTimeFormat(s, format);
        return std::to_string(s.Clock24) + std::to_string(s.HourLeadingZero) + s.TimeSeparator +
               std::to_string(s.MarkerBeforeTime);
    };
    EXPECT_EQ(apply("%H:%M:%S"), "11:0");
    EXPECT_EQ(apply("%T"), "11:0");
    EXPECT_EQ(apply("%k.%M.%S"), "10.0");
    EXPECT_EQ(apply("%I:%M:%S %p"), "01:0");
    EXPECT_EQ(apply("%r"), "01:0");
    EXPECT_EQ(apply("%p %l:%M:%S"), "00:1");
    EXPECT_EQ(apply("%-H:%M"), "10:0");
    EXPECT_EQ(apply("%H\xE6\x99\x82%M"), "11:0"); // a multibyte separator cannot be used
    EXPECT_EQ(apply("%X"), "00:0");               // nothing maps: all fallbacks
}

TEST(LocalTimestamp, ReadsTheCLocaleWhenNothingElseIsSet) {
    // The C locale is always there, so every setting maps.
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    ::setenv("LC_ALL", "C", 1);
    const auto s = ReadRegionalSettings();
    if (old)
        ::setenv("LC_ALL", saved.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
    EXPECT_EQ(FormatTimestamp(At(2026, 12, 7, 13, 5, 9), s), "12/07/26 13:05:09");
}

} // namespace
} // namespace pingvard
