// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/metrics_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pingvard {
namespace {

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
    TMetricsRegistry metrics("1.2.3");
    TMonitorEvent resumed = Event(TMonitorEventKind::GuardChanged);
    resumed.Ok = false;
    TMonitorEvent degraded = Event(TMonitorEventKind::SiteState);
    degraded.Site = TSiteState::Degraded;
    TMonitorEvent down = degraded;
    down.Site = TSiteState::Down;
    metrics.Consume(std::vector{Echo(12'000), Echo(std::nullopt), Echo(3'000'000),
                                Event(TMonitorEventKind::HostDown, 0),
                                Event(TMonitorEventKind::RuleFired), Outcome("plug", false),
                                Outcome("plug", false), Outcome("plug", true), resumed, degraded,
                                down},
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
            std::string("pingvard_site_state 2"),
            std::string("pingvard_metrics_events_dropped_total 7"),
        }) {
        EXPECT_TRUE(Has(text, line)) << line << "\n" << text;
    }
    EXPECT_EQ(text.find("401"), std::string::npos); // outcome texts never become labels
}

TEST(MetricsRegistry, ASlotsNewAddressReplacesItsSeries) {
    TMetricsRegistry metrics("1");
    metrics.Consume(std::vector{Echo(1000), Echo(1000, "198.51.100.7")}, 0);
    const std::string text = metrics.Text();
    EXPECT_EQ(text.find("192.0.2.1"), std::string::npos) << text;
    EXPECT_TRUE(
        Has(text, R"(pingvard_echoes_sent_total{host="198.51.100.7",name="Uplink",slot="1"} 1)"));
}

std::string HttpGet(uint16_t port, const std::string& path) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
        if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
                reply.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    ::close(fd);
    return reply;
}

TEST(MetricsServer, ServesTheRegistryAndNamesAnAddressItCannotUse) {
    TMetricsRegistry metrics("1.0.0");
    TMetricsServer server;
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.1", 0, metrics, error)) << error;
    ASSERT_NE(server.Port(), 0);
    const std::string reply = HttpGet(server.Port(), "/metrics");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply;
    EXPECT_NE(reply.find("pingvard_build_info{version=\"1.0.0\"} 1"), std::string::npos);

    TMetricsServer second;
    EXPECT_FALSE(second.Start("127.0.0.1", server.Port(), metrics, error));
    EXPECT_EQ(error.rfind("Metrics not served: cannot listen on 127.0.0.1:" +
                              std::to_string(server.Port()),
                          0),
              0u)
        << error;
    // The listener waits up to 2 s between looks at its stop flag; the exit
    // must not wait that out (the service has 6 s for everything).
    const auto start = std::chrono::steady_clock::now();
    server.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(server.Port(), 0);
}

} // namespace
} // namespace pingvard
