// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/http_listeners.h"
#include "observe/metrics_route.h"
#include "tests/config/config_test_support.h"
#include "tests/web/http_test_client.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace pingvard {
namespace {

using test::BodyOf;
using test::HttpGet;
using test::StatusOf;

// The module as the build made it, beside the programs.
std::unique_ptr<TMetricsRegistry> LoadMetrics(const std::string& version) {
    std::string error;
    auto metrics = TMetricsRegistry::Load(version, {PINGVARD_TEST_MODULE_DIR}, error);
    EXPECT_TRUE(metrics) << error;
    return metrics;
}

TMonitorEvent Event(TMonitorEventKind kind, int slot = -1, std::string host = "192.0.2.1") {
    TMonitorEvent e;
    e.Kind = kind;
    e.Slot = slot;
    e.Host = std::move(host);
    e.DisplayName = "Uplink";
    return e;
}

TMonitorEvent Echo(std::optional<int64_t> us, std::string host = "192.0.2.1") {
    TMonitorEvent e = Event(TMonitorEventKind::Echo, 0, std::move(host));
    e.RoundTripUs = us;
    return e;
}

TMonitorEvent Outcome(std::string action, bool ok) {
    TMonitorEvent e = Event(TMonitorEventKind::ActionOutcome);
    e.Action = std::move(action);
    e.ActionKind = "http";
    e.Ok = ok;
    e.Text = "Unable to power cycle, HTTP 401 from 192.0.2.5";
    return e;
}

bool Has(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(MetricsRegistry, CountsWhatTheEventsSay) {
    const auto registry = LoadMetrics("1.2.3");
    ASSERT_TRUE(registry);
    TMetricsRegistry& metrics = *registry;
    TMonitorEvent resumed = Event(TMonitorEventKind::GuardChanged);
    resumed.Ok = false;
    TMonitorEvent degraded = Event(TMonitorEventKind::SiteState);
    degraded.Site = TSiteState::Degraded;
    TMonitorEvent down = degraded;
    down.Site = TSiteState::Down;
    metrics.Consume(std::vector{Echo(12'000), Echo(std::nullopt), Echo(3'000'000),
                                Event(TMonitorEventKind::HostDown, 0),
                                Event(TMonitorEventKind::RuleFired), Outcome("plug", false),
                                Outcome("plug", false), Outcome("plug", true), resumed,
                                Event(TMonitorEventKind::ActionStarted), degraded, down},
                    7);
    const std::string text = metrics.Text();
    const std::string labels = R"({host="192.0.2.1",name="Uplink",slot="1"})";
    for (
        const std::string& line : {
            std::string(R"(pingvard_build_info{version="1.2.3"} 1)"),
            "pingvard_echoes_sent_total" + labels + " 3",
            "pingvard_echoes_lost_total" + labels + " 1",
            "pingvard_host_up" + labels + " 0",
            "pingvard_last_round_trip_seconds" + labels + " 3",
            "pingvard_round_trip_seconds_count" + labels + " 2",
            std::string(
                R"(pingvard_round_trip_seconds_bucket{host="192.0.2.1",name="Uplink",slot="1",le="0.025"} 1)"),
            std::string("pingvard_restart_rule_fired_total 1"),
            std::string(
                R"(pingvard_recovery_outcomes_total{action="plug",kind="http",result="failed"} 2)"),
            std::string(
                R"(pingvard_recovery_outcomes_total{action="plug",kind="http",result="ok"} 1)"),
            std::string("pingvard_guard_paused 1"),
            std::string("pingvard_recovery_action_running 1"),
            std::string("pingvard_site_state 2"),
            std::string("pingvard_metrics_events_dropped_total 7"),
        }) {
        EXPECT_TRUE(Has(text, line)) << line << "\n" << text;
    }
    EXPECT_EQ(text.find("401"), std::string::npos); // outcome texts never become labels
}

TEST(MetricsRegistry, ASlotsNewAddressReplacesItsSeries) {
    const auto metrics = LoadMetrics("1");
    ASSERT_TRUE(metrics);
    metrics->Consume(std::vector{Echo(1000), Echo(1000, "198.51.100.7")}, 0);
    const std::string text = metrics->Text();
    EXPECT_EQ(text.find("192.0.2.1"), std::string::npos) << text;
    EXPECT_TRUE(
        Has(text, R"(pingvard_echoes_sent_total{host="198.51.100.7",name="Uplink",slot="1"} 1)"));
}

// Names, help texts and types are what dashboards and rules rely on: every
// family a scrape can show, in order, against the list kept in tests/data.
TEST(MetricsRegistry, KeepsEveryFamilysNameHelpAndType) {
    const auto metrics = LoadMetrics("1");
    ASSERT_TRUE(metrics);
    metrics->Consume(std::vector{Echo(1000), Outcome("plug", true)}, 0);
    std::istringstream text(metrics->Text());
    std::string families, line;
    while (std::getline(text, line)) {
        if (line.rfind("# ", 0) == 0) {
            families += line + "\n";
        }
    }
    EXPECT_EQ(families, test::ReadFileText(PINGVARD_TEST_DATA_DIR "/metrics_families.txt"));
}

class MetricsModule : public test::TempDirTest {};

// Metrics go, with one line naming the file, and nothing else does.
TEST_F(MetricsModule, AMissingOrBrokenModuleIsOneLineNeverACrash) {
    std::string error;
    EXPECT_FALSE(TMetricsRegistry::Load("1", {m_dir.Path()}, error));
    EXPECT_EQ(error, "pingvard-metrics.so is not installed (looked in " + m_dir.Path() + ")");
    test::WriteFileText(m_dir.Path() + "/pingvard-metrics.so", "not a library");
    EXPECT_FALSE(TMetricsRegistry::Load("1", {m_dir.Path()}, error));
    EXPECT_EQ(error.rfind("cannot load " + m_dir.Path() + "/pingvard-metrics.so (", 0), 0u)
        << error;
}

class MetricsRoute : public ::testing::Test {
protected:
    void SetUp() override {
        m_metrics = LoadMetrics("1.0.0");
        ASSERT_TRUE(m_metrics);
        AddMetricsRoute(m_listeners.Routes("127.0.0.1", 0, "Metrics"), *m_metrics);
        m_listeners.Start([this](const std::string& line) { m_lines.push_back(line); });
        m_port = m_listeners.Port("127.0.0.1", 0);
        ASSERT_NE(m_port, 0);
    }
    std::unique_ptr<TMetricsRegistry> m_metrics;
    THttpListeners m_listeners;
    std::vector<std::string> m_lines;
    uint16_t m_port = 0;
};

TEST_F(MetricsRoute, ServesTheExpositionAndCountsTheScrapes) {
    const std::string first = HttpGet(m_port, "/metrics");
    EXPECT_EQ(StatusOf(first), 200) << first;
    EXPECT_NE(first.find("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"),
              std::string::npos);
    EXPECT_NE(first.find("Cache-Control: no-store\r\n"), std::string::npos);
    EXPECT_NE(BodyOf(first).find("pingvard_build_info{version=\"1.0.0\"} 1\n"), std::string::npos);
    EXPECT_NE(BodyOf(first).find("\nexposer_scrapes_total 0\n"), std::string::npos);
    const std::string second = HttpGet(m_port, "/metrics");
    EXPECT_NE(BodyOf(second).find("\nexposer_scrapes_total 1\n"), std::string::npos);
    EXPECT_NE(BodyOf(second).find("\nexposer_transferred_bytes_total " +
                                  std::to_string(BodyOf(first).size()) + "\n"),
              std::string::npos);
    EXPECT_TRUE(m_lines.empty());
}

TEST_F(MetricsRoute, PacksTheTextOnlyForAScraperThatAcceptsGzip) {
    struct TCase {
        const char* Accept;
        bool Gzip;
    };
    for (const TCase& c : {TCase{"gzip", true}, TCase{"deflate, gzip;q=0.5", true},
                           TCase{"gzip;q=0", false}, TCase{"identity", false}}) {
        const std::string answer =
            HttpGet(m_port, "/metrics", std::string("Accept-Encoding: ") + c.Accept + "\r\n");
        EXPECT_EQ(answer.find("Content-Encoding: gzip\r\n") != std::string::npos, c.Gzip)
            << c.Accept;
        EXPECT_EQ(BodyOf(answer).rfind("\x1f\x8b", 0) == 0, c.Gzip) << c.Accept;
    }
}

// [Metrics] and a page on the same address and port: one socket, both
// routes; when it cannot listen, the line names both.
TEST(HttpListeners, UsesOfOneAddressAndPortShareTheirSocket) {
    THttpListeners listeners;
    listeners.Routes("127.0.0.1", 0, "Metrics").Get("/metrics", [](const THttpRequest&) {
        return THttpResponse::Text(200, "m");
    });
    listeners.Routes("127.0.0.1", 0, "the status page").Get("/", [](const THttpRequest&) {
        return THttpResponse::Text(200, "page");
    });
    listeners.Start({});
    const uint16_t port = listeners.Port("127.0.0.1", 0);
    EXPECT_EQ(BodyOf(HttpGet(port, "/metrics")), "m");
    EXPECT_EQ(BodyOf(HttpGet(port, "/")), "page");

    THttpListeners taken;
    taken.Routes("127.0.0.1", port, "Metrics");
    taken.Routes("127.0.0.1", port, "the status page");
    std::vector<std::string> lines;
    taken.Start([&](const std::string& line) { lines.push_back(line); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Metrics and the status page not served: cannot listen on 127.0.0.1:" +
                            std::to_string(port) + " (Address already in use)");
    EXPECT_EQ(taken.Port("127.0.0.1", port), 0);
}

} // namespace
} // namespace pingvard
