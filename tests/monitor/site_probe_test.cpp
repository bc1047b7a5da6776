// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/site_probe.h"
#include "tests/net/netns_fixture.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace pingvard {
namespace {

using namespace std::chrono_literals;

TProbeRequest Request(std::string accessPoint) {
    TProbeRequest request;
    request.AccessPoint = std::move(accessPoint);
    request.Echo = true;
    request.TimeoutMs = 300;
    return request;
}

class SiteProbe : public ::testing::Test {
protected:
    std::vector<TSiteClues> Serve(std::chrono::milliseconds during) {
        const auto until = std::chrono::steady_clock::now() + during;
        while (std::chrono::steady_clock::now() < until) {
            Dispatcher.RunOnce(10);
        }
        return Reports;
    }

    TLoopDispatcher Dispatcher;
    std::atomic<int32_t> Interval{50}; // below the floor: passes come every kMinIntervalMs
    std::vector<TSiteClues> Reports;   // on this (the GUI) thread
    TSiteProbe::TReport Report = [this](const TSiteClues& clues) { Reports.push_back(clues); };
};

TEST_F(SiteProbe, RestsUntilWantedAndPassesEveryIntervalWhileItIs) {
    std::atomic<int> passes{0};
    TSiteProbe probe(Dispatcher, Interval, Report, {}, [&](const TProbeRequest&) {
        ++passes;
        return TSiteClues{};
    });
    probe.Start();
    EXPECT_TRUE(Serve(200ms).empty());
    probe.Want(Request("192.0.2.1"));
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + 10s;
    while (Reports.size() < 3 && std::chrono::steady_clock::now() < until) {
        Dispatcher.RunOnce(10);
    }
    ASSERT_EQ(Reports.size(), 3U);
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(2 * TSiteProbe::kMinIntervalMs));
    probe.Want(std::nullopt);
    Serve(100ms); // a pass under way may still report
    const std::size_t rested = Reports.size();
    EXPECT_EQ(Serve(200ms).size(), rested);
    probe.RequestStop();
    EXPECT_TRUE(probe.WaitForEnd(1000));
}

// Stopped in the middle of an echo that would wait its whole time-out.
TEST_F(SiteProbe, StopEndsAPassAtOnce) {
    std::atomic<bool> inEcho{false};
    TSiteProbe probe(Dispatcher, Interval, Report, [&](const std::string&, int32_t) {
        inEcho = true;
        std::this_thread::sleep_for(100ms);
        return -1;
    });
    probe.Start();
    TProbeRequest request = Request("127.0.0.1");
    request.TimeoutMs = 60000;
    probe.Want(request);
    while (!inEcho) {
        std::this_thread::sleep_for(1ms);
    }
    Dispatcher.Cancel();
    const auto start = std::chrono::steady_clock::now();
    probe.RequestStop();
    EXPECT_TRUE(probe.WaitForEnd(1000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

// The real pass, in a namespace of its own (only lo; no name server can be
// reached, so no lookup leaves it): the link, an echo to the access point,
// and the names of failing hosts.
TEST_F(SiteProbe, LooksAtTheLinkTheAccessPointAndTheNames) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: a network namespace and ICMP";
    }
    test::RunInNewNetns([&] {
        TSiteProbe probe(Dispatcher, Interval, Report);
        probe.Start();
        TProbeRequest request = Request("127.0.0.1");
        request.Names = {"nosuch.invalid"};
        probe.Want(request);
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (Reports.empty() && std::chrono::steady_clock::now() < until) {
            Dispatcher.RunOnce(10);
        }
        probe.RequestStop();
        ASSERT_FALSE(Reports.empty());
        const TSiteClues& clues = Reports.front();
        EXPECT_EQ(clues.Link, (TLinkState{TLinkState::TKind::Up, "lo"}));
        EXPECT_EQ(clues.LinkAddress, "127.0.0.1");
        EXPECT_EQ(clues.AccessPointAnswered, true);
        EXPECT_EQ(clues.NamesFail, true);
    });
}

} // namespace
} // namespace pingvard
