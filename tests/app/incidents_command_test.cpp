// SPDX-License-Identifier: GPL-3.0-or-later
// pingvard --incidents, the real executable, against a history this test
// writes with the program's own store: two runs, the first killed during an
// incident. The command only reads a file, so it runs without a namespace:
// it sends nothing.

#include "observe/history/history_store.h"
#include "observe/iso_time.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace pingvard {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kMinute = 60'000;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;

TMonitorEvent At(TMonitorEventKind kind, int64_t ms) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
    e.Host = "192.0.2.7";
    return e;
}

TMonitorEvent With(TMonitorEventKind kind, int64_t ms, const TIncident& incident) {
    TMonitorEvent e = At(kind, ms);
    e.Incident = std::make_shared<const TIncident>(incident);
    return e;
}

std::vector<TMonitorEvent> Echoes(int64_t from, int64_t to) {
    std::vector<TMonitorEvent> out;
    for (int64_t t = from; t <= to; t += 2000) {
        out.push_back(At(TMonitorEventKind::Echo, t));
    }
    return out;
}

struct TResult {
    int Status = -1;
    std::string Out;
};

TResult RunPingvard(const std::string& dir, const std::string& arguments) {
    const std::string command =
        std::string(PINGVARD_BINARY) + " -C '" + dir + "' " + arguments + " 2>&1";
    TResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        result.Out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::set<std::string> Listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string Time(int64_t ms, bool iso) {
    return FormatLocalTime(ms, iso);
}

class IncidentsCommand : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pv-incidents-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        // Local times in the output: the same zone for the test and the program.
        ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        ::tzset();
        WriteHistory();
    }
    void TearDown() override {
        ::unsetenv("TZ");
        ::tzset();
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // An old access-point outage, an uplink outage cured by the plug, and one
    // open when the first run was killed: the second run ends it unfinished.
    void WriteHistory() {
        THistoryOptions options;
        options.FileName = m_dir + "/history.db";
        options.NowMs = [this] { return m_writeNow; };
        m_old.StartMs = N - 4 * kDay;
        m_old.EndMs = m_old.StartMs + 10 * kMinute;
        m_old.Cause = TSiteCause::AccessPoint;
        m_old.HostsDown = {"192.0.2.7"};
        m_cured.StartMs = N - 5 * kHour - 30 * kMinute;
        m_cured.Cause = TSiteCause::Uplink;
        m_cured.HostsDown = {"example.org", "192.0.2.7"};
        m_cured.Steps = {{"plug", "http", m_cured.StartMs + 2 * kMinute,
                          m_cured.StartMs + 2 * kMinute + 3000, true, "Power cycle OK (plug)"}};
        m_cured.EndMs = m_cured.StartMs + 10 * kMinute;
        m_cured.CuredBy = "plug";
        m_killed.StartMs = N - 5 * kHour - 5 * kMinute;
        m_killed.Cause = TSiteCause::Uplink;
        m_killed.HostsDown = {"example.org"};
        m_killed.Steps = {{"ap", "telnet", m_killed.StartMs + kMinute,
                           m_killed.StartMs + kMinute + 10'000, false,
                           "Unable to reset, cannot connect to ap"}};
        {
            m_writeNow = N - 6 * kHour;
            THistoryStore first(options);
            first.Consume(Echoes(N - 4 * kDay - 30 * kMinute, N - 4 * kDay + 30 * kMinute), 0);
            first.Consume(std::vector{With(TMonitorEventKind::SiteBack, m_old.EndMs, m_old)}, 0);
            first.Consume(Echoes(N - 6 * kHour, N - 5 * kHour), 0);
            first.Consume(std::vector{With(TMonitorEventKind::SiteBack, m_cured.EndMs, m_cured),
                                      With(TMonitorEventKind::ActionOutcome,
                                           m_killed.Steps[0].EndMs, m_killed)},
                          0);
        }
        m_writeNow = N - 2 * kHour;
        THistoryStore second(options);
        second.Consume(Echoes(N - 2 * kHour, N - kHour), 0);
    }

    // Whole seconds, so that the times print as written.
    const int64_t N = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count() *
                      1000;
    int64_t m_writeNow = 0;
    std::string m_dir;
    TIncident m_old, m_cured, m_killed;
};

// Watched: 1 h four days ago, 1 h ending 5 h ago, 1 h ending 1 h ago; down
// 10 min, 10 min and 5 min of it.
TEST_F(IncidentsCommand, ListsEachIncidentWithItsStepsAndTheUptimeAndWritesNothing) {
    const std::set<std::string> before = Listing(m_dir);
    const TResult result = RunPingvard(m_dir, "--incidents");
    EXPECT_EQ(result.Status, 0) << result.Out;
    const TIncidentStep& plug = m_cured.Steps[0];
    const TIncidentStep& ap = m_killed.Steps[0];
    const std::string expected =
        Time(m_old.StartMs, false) + " to " + Time(m_old.EndMs, false) +
        "  10 min  access point (192.0.2.7)  not cured\n" + Time(m_cured.StartMs, false) + " to " +
        Time(m_cured.EndMs, false) + "  10 min  uplink (example.org, 192.0.2.7)  cured by plug\n" +
        "    " + Time(plug.StartMs, false) +
        "  plug (http)  OK after 3 s: Power cycle OK (plug)\n" + Time(m_killed.StartMs, false) +
        " to " + Time(N - 5 * kHour, false) +
        "  5 min  uplink (example.org)  unfinished: pingvard ended while the site was down\n" +
        "    " + Time(ap.StartMs, false) +
        "  ap (telnet)  failed after 10 s: Unable to reset, cannot connect to ap\n" +
        "Uptime while watched: 87.50% last 24 h, 86.11% last 7 days, 86.11% last 30 days "
        "(watched 2 h, 3 h, 3 h)\n";
    EXPECT_EQ(result.Out, expected);
    EXPECT_EQ(Listing(m_dir), before);
}

TEST_F(IncidentsCommand, WritesCsvForTheSpanAsked) {
    const TResult result = RunPingvard(m_dir, "--incidents --since 1d --csv");
    EXPECT_EQ(result.Status, 0) << result.Out;
    const TIncidentStep& plug = m_cured.Steps[0];
    // The uptime rows end when the program ran: a few seconds after N at most.
    int64_t ran = N;
    const auto uptime = [&](int64_t span, int watched, int down, const char* percent) {
        return "uptime," + Time(ran - span, true) + "," + Time(ran, true) + "," +
               std::to_string(span / 1000) + ",,,,,,,,,," + std::to_string(watched) + "," +
               std::to_string(down) + "," + percent + "\n";
    };
    const auto expected = [&] {
        return "record,start,end,duration_s,state,cause,link,hosts,cured_by,action,kind,ok,text,"
               "watched_s,down_s,up_percent\n"
               "incident," +
               Time(m_cured.StartMs, true) + "," + Time(m_cured.EndMs, true) +
               ",600,ended,uplink,,example.org 192.0.2.7,plug,,,,,,,\n"
               "step," +
               Time(plug.StartMs, true) + "," + Time(plug.EndMs, true) +
               ",3,,,,,,plug,http,1,Power cycle OK (plug),,,\n"
               "incident," +
               Time(m_killed.StartMs, true) + "," + Time(N - 5 * kHour, true) +
               ",300,unfinished,uplink,,example.org,,,,,,,,\n"
               "step," +
               Time(m_killed.Steps[0].StartMs, true) + "," + Time(m_killed.Steps[0].EndMs, true) +
               ",10,,,,,,ap,telnet,0,\"Unable to reset, cannot connect to ap\",,,\n" +
               uptime(kDay, 7200, 900, "87.50") + uptime(7 * kDay, 10800, 1500, "86.11") +
               uptime(30 * kDay, 10800, 1500, "86.11");
    };
    while (result.Out != expected() && ran < N + 30'000) {
        ran += 1000;
    }
    EXPECT_EQ(result.Out, expected());
}

TEST_F(IncidentsCommand, SaysWhenThereIsNoHistory) {
    fs::remove(m_dir + "/history.db");
    const TResult result = RunPingvard(m_dir, "--incidents");
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Out.find("pingvard: no history in "), std::string::npos) << result.Out;
    EXPECT_TRUE(Listing(m_dir).empty());
}

} // namespace
} // namespace pingvard
