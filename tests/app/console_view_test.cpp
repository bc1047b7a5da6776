// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/console_view.h"

#include <gtest/gtest.h>
#include <sstream>

namespace pingvard {
namespace {

TConsoleState SampleState() {
    TConsoleState state;
    state.Rows[0] = {"ntp.example.org", "12ms", "11ms", "0%"};
    state.Rows[1] = {"portal.example.com", "-", "30ms", "50%"};
    state.Rows[2] = {"www.example.net", "1000ms", "999ms", "100%"};
    state.Rows[3] = {"AP", "-", "-", "-"};
    state.Status = "Trying to reset...";
    state.TrayIndex = 1;
    return state;
}

size_t Columns(const std::string& line) {
    size_t n = 0;
    for (unsigned char c : line)
        n += (c & 0xC0) != 0x80;
    return n;
}

TEST(TerminalFrame, ShowsHeadingsRowsStatusTrayAndSiteInColumns) {
    std::vector<std::string> expected = {
        "Orvane AP Pingvard",
        "Hostname              Ping  Average    PL",
        "ntp.example.org       12ms     11ms    0%",
        "portal.example.com       -     30ms   50%",
        "www.example.net     1000ms    999ms  100%",
        "AP                       -        -     -",
        "Status: Trying to reset...",
        "Tray: restart under way",
    };
    EXPECT_EQ(TerminalFrame(SampleState(), 80), expected); // no site line before a report
    TConsoleState state = SampleState();
    state.Site = "down since 03:12 (uplink), 1 of 4 hosts answer";
    expected.push_back("Site: down since 03:12 (uplink), 1 of 4 hosts answer");
    EXPECT_EQ(TerminalFrame(state, 80), expected);
}

TEST(TerminalFrame, NeverWritesIntoTheLastColumn) {
    auto state = SampleState();
    state.Rows[0].Name = std::string(200, 'n');
    state.Rows[1].Name = "h\xC3\xB6st\xC3\xA9"; // two-byte characters count once
    state.Status = std::string(300, 's');
    for (int columns : {0, 1, 10, 30, 41, 80, 132}) {
        const size_t limit = (columns > 1 ? columns : 80) - 1;
        for (const auto& line : TerminalFrame(state, columns))
            EXPECT_LE(Columns(line), limit) << columns << ": " << line;
    }
    const auto wide = TerminalFrame(state, 300);
    EXPECT_EQ(wide[3].substr(0, 10), "h\xC3\xB6st\xC3\xA9   "); // 5 columns + padding
}

TEST(TerminalFrame, NeverSplitsAMultiByteCharacter) {
    TConsoleState state;
    state.Status = std::string(10, 'x') + "\xE2\x82\xAC\xE2\x82\xAC"; // two euro signs
    const auto frame = TerminalFrame(state, 20); // "Status: " + 10 x + first euro = 19 columns
    EXPECT_EQ(frame[6], "Status: xxxxxxxxxx\xE2\x82\xAC");
}

TEST(TerminalFrame, TurnsControlCharactersIntoQuestionMarks) {
    TConsoleState state;
    state.Rows[0].Name = "a\x1b[2Jb\r\n";
    state.Status = "x\ty\x7f";
    const auto frame = TerminalFrame(state, 80);
    EXPECT_EQ(frame[2].substr(0, 8), "a?[2Jb??");
    EXPECT_EQ(frame[6], "Status: x?y?");
}

TEST(TrayStateText, NamesTheFourImages) {
    EXPECT_EQ(TrayStateText(0), "normal");
    EXPECT_EQ(TrayStateText(1), "restart under way");
    EXPECT_EQ(TrayStateText(2), "restart failed");
    EXPECT_EQ(TrayStateText(3), "site down");
}

TEST(ChangeLines, PrintsOnlyWhatChangedInAFixedOrder) {
    const auto before = SampleState();
    auto after = before;
    EXPECT_TRUE(ChangeLines(before, after, "T").empty());
    after.Rows[2].Ping = "7ms";
    after.Status = "Reset OK - 8.12.2026 3:15:00";
    after.TrayIndex = 0;
    after.Site = "up, 4 of 4 hosts answer";
    const std::vector<std::string> expected = {
        "T host 3 ping=7ms average=999ms pl=100% name=www.example.net",
        "T status Reset OK - 8.12.2026 3:15:00",
        "T tray 0 normal",
        "T site up, 4 of 4 hosts answer",
    };
    EXPECT_EQ(ChangeLines(before, after, "T"), expected);
}

TEST(LineTimestamp, IsIsoWithMillisecondsAndOffset) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = 3;
    t.tm_min = 5;
    t.tm_sec = 9;
    EXPECT_EQ(LineTimestamp(t, 7, "+0100"), "2026-12-08T03:05:09.007+01:00");
    EXPECT_EQ(LineTimestamp(t, 999, "-0530"), "2026-12-08T03:05:09.999-05:30");
    const auto now = CurrentLineTimestamp();
    EXPECT_EQ(now.size(), 29u) << now;
}

class ConsoleWriterTest : public testing::Test {
protected:
    std::ostringstream out;
    int columns = 80;
    TConsoleWriter Writer(TConsoleMode mode) {
        return TConsoleWriter(
            out, mode, [this] { return columns; }, [] { return std::string("T"); });
    }
};

TEST_F(ConsoleWriterTest, TerminalRedrawsOverThePreviousFrameOnlyOnChange) {
    auto writer = Writer(TConsoleMode::Terminal);
    auto state = SampleState();
    writer.Show(state);
    const auto first = out.str();
    EXPECT_EQ(first.find("\x1b["), first.find("\x1b[K")); // no cursor movement up front
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 8);

    out.str("");
    writer.Show(state);
    EXPECT_EQ(out.str(), "");

    state.Rows[0].Ping = "13ms";
    writer.Show(state);
    const auto second = out.str();
    EXPECT_EQ(second.rfind("\x1b[8A\r", 0), 0u) << second;
    EXPECT_NE(second.find("\rntp.example.org       13ms     11ms    0%\x1b[K\n"),
              std::string::npos);
}

TEST_F(ConsoleWriterTest, TerminalDrawsAFreshFrameAfterAnInterruption) {
    auto writer = Writer(TConsoleMode::Terminal);
    const auto state = SampleState();
    writer.Show(state);
    writer.Interrupt();
    out.str("");
    writer.Show(state); // unchanged, but the old frame is no longer where the cursor thinks
    EXPECT_EQ(out.str().rfind("\rOrvane AP Pingvard\x1b[K\n", 0), 0u);
}

TEST_F(ConsoleWriterTest, LinesModePrintsTheStartingRowsThenEachChange) {
    auto writer = Writer(TConsoleMode::Lines);
    TConsoleState state;
    for (auto& row : state.Rows)
        row = {"h", "-", "-", "-"};
    writer.Show(state);
    EXPECT_EQ(out.str(), "T host 1 ping=- average=- pl=- name=h\n"
                         "T host 2 ping=- average=- pl=- name=h\n"
                         "T host 3 ping=- average=- pl=- name=h\n"
                         "T host 4 ping=- average=- pl=- name=h\n");
    out.str("");
    writer.Show(state);
    state.TrayIndex = 2;
    state.Status = "Unable to reset, cannot connect to 192.168.168.1";
    writer.Show(state);
    EXPECT_EQ(out.str(), "T status Unable to reset, cannot connect to 192.168.168.1\n"
                         "T tray 2 restart failed\n");
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
}

} // namespace
} // namespace pingvard
