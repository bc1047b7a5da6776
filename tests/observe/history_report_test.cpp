// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/history_report.h"
#include "observe/history/history_store.h"
#include "tests/config/config_test_support.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <sstream>

namespace pingvard {
namespace {

constexpr int64_t kStart = 1'796'000'400'000; // 2026-11-30 01:00:00 UTC

TMonitorEvent At(int64_t ms, TMonitorEventKind kind, std::string host = {}) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
    e.Host = std::move(host);
    return e;
}

class HistoryReport : public test::TempDirTest {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        THistoryOptions options;
        options.FileName = m_dir.Path() + "/history.db";
        options.NowMs = [] { return kStart; };
        THistoryStore store(options);
        std::vector<TMonitorEvent> batch;
        for (auto [host, name] : {std::pair{"192.0.2.10", "Uplink"}, {"198.51.100.20", "DNS"}}) {
            for (int i = 0; i < 3; ++i) {
                TMonitorEvent e = At(kStart + i * 2000, TMonitorEventKind::Echo, host);
                e.DisplayName = name;
                if (i != 1) {
                    e.RoundTripUs = 12'345 + i;
                }
                batch.push_back(e);
            }
        }
        TMonitorEvent outcome = At(kStart + 2500, TMonitorEventKind::ActionOutcome);
        outcome.Action = "plug";
        outcome.ActionKind = "http";
        outcome.Text = "Unable to power cycle, HTTP 401 from 192.0.2.5, \"denied\"";
        batch.push_back(outcome);
        batch.push_back(At(kStart + 3000, TMonitorEventKind::HostDown, "198.51.100.20"));
        store.Consume(batch, 0);
    }
    bool Report(THistoryReportRequest request, std::string& text) {
        THistoryReader reader(m_dir.Path() + "/history.db");
        std::ostringstream out;
        std::string error;
        const bool ok = WriteHistoryReport(reader, request, kStart + 60'000, out, error);
        text = ok ? out.str() : error;
        return ok;
    }
};

TEST_F(HistoryReport, CsvListsEchoesAndEventsInTimeOrder) {
    std::string text;
    ASSERT_TRUE(Report({.Since = std::chrono::minutes(5), .Csv = true}, text)) << text;
    EXPECT_EQ(text,
              "time,kind,host,name,echoes,lost,min_ms,median_ms,max_ms,action,ok,text,"
              "p10_ms,p25_ms,p75_ms,p90_ms\n"
              "2026-11-30T01:00:00+00:00,echo,192.0.2.10,Uplink,1,0,12.345,12.345,12.345,,,,,,,\n"
              "2026-11-30T01:00:00+00:00,echo,198.51.100.20,DNS,1,0,12.345,12.345,12.345,,,,,,,\n"
              "2026-11-30T01:00:02+00:00,echo,192.0.2.10,Uplink,1,1,,,,,,,,,,\n"
              "2026-11-30T01:00:02+00:00,echo,198.51.100.20,DNS,1,1,,,,,,,,,,\n"
              "2026-11-30T01:00:02+00:00,action-outcome,,,,,,,,plug,0,"
              "\"Unable to power cycle, HTTP 401 from 192.0.2.5, \"\"denied\"\"\",,,,\n"
              "2026-11-30T01:00:03+00:00,host-down,198.51.100.20,,,,,,,,,,,,,\n"
              "2026-11-30T01:00:04+00:00,echo,192.0.2.10,Uplink,1,0,12.347,12.347,12.347,,,,,,,\n"
              "2026-11-30T01:00:04+00:00,echo,198.51.100.20,DNS,1,0,12.347,12.347,12.347,,,,,,,\n");
}

TEST_F(HistoryReport, CsvMinutesCarryTheirPercentilesInTheLastColumns) {
    std::string text;
    ASSERT_TRUE(Report({.Host = "DNS", .Csv = true}, text)) << text;
    EXPECT_EQ(text,
              "time,kind,host,name,echoes,lost,min_ms,median_ms,max_ms,action,ok,text,"
              "p10_ms,p25_ms,p75_ms,p90_ms\n"
              "2026-11-30T01:00:00+00:00,minute,198.51.100.20,DNS,3,1,12.345,12.346,12.347,,,,"
              "12.345,12.345,12.347,12.347\n"
              "2026-11-30T01:00:02+00:00,action-outcome,,,,,,,,plug,0,"
              "\"Unable to power cycle, HTTP 401 from 192.0.2.5, \"\"denied\"\"\",,,,\n"
              "2026-11-30T01:00:03+00:00,host-down,198.51.100.20,,,,,,,,,,,,,\n");
}

TEST_F(HistoryReport, TextForOneHostByNameInMinutes) {
    std::string text;
    ASSERT_TRUE(Report({.Host = "uplink"}, text)) << text;
    EXPECT_EQ(text, "time                 host             echoes  lost    min ms median ms    "
                    "max ms  (per minute)\n"
                    "2026-11-30 01:00:00  192.0.2.10            3     1    12.345    12.346    "
                    "12.347\n"
                    "2026-11-30 01:00:02  action-outcome  plug (http) failed: Unable to power "
                    "cycle, HTTP 401 from 192.0.2.5, \"denied\"\n");
}

TEST_F(HistoryReport, UnknownHostOrFileIsAnError) {
    std::string text;
    EXPECT_FALSE(Report({.Host = "203.0.113.1"}, text));
    EXPECT_EQ(text, "no history for host 203.0.113.1");
    THistoryReader missing(m_dir.Path() + "/none.db");
    std::ostringstream out;
    EXPECT_FALSE(WriteHistoryReport(missing, {}, kStart, out, text));
    EXPECT_EQ(text, "no history in " + m_dir.Path() + "/none.db");
}

TEST(HistorySince, ParsesUnits) {
    using std::chrono::seconds;
    EXPECT_EQ(ParseSince("90"), seconds(90));
    EXPECT_EQ(ParseSince("30m"), seconds(1800));
    EXPECT_EQ(ParseSince("24h"), seconds(86400));
    EXPECT_EQ(ParseSince("7d"), seconds(7 * 86400));
    EXPECT_EQ(ParseSince("2w"), seconds(14 * 86400));
    for (const char* bad : {"", "0", "-1h", "h", "1y", "1.5h", "99999999999999d", "24 h"}) {
        EXPECT_FALSE(ParseSince(bad)) << bad;
    }
}

} // namespace
} // namespace pingvard
