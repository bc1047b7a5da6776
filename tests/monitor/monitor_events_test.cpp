// SPDX-License-Identifier: GPL-3.0-or-later
#include "apsim_process.h"
#include "host_monitor_fixture.h"
#include "recording_sink.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pingvard {
namespace {

using test::TRecordingSink;

class MonitorEvents : public test::THostMonitorFixture {
protected:
    void StartWith(int maxTimeouts, const std::string& marked) {
        Start(test::LoopbackIni(maxTimeouts, 600000, marked), Options(RefusedPort.Number()));
        Monitor->Events().Add(Sink);
    }
    void TearDown() override {
        if (Monitor) {
            Monitor->Shutdown();
            Monitor->Events().Remove(Sink);
        }
        THostMonitorFixture::TearDown();
    }
    TRecordingSink Sink;
};

TEST_F(MonitorEvents, EchoesCarryTheMonotonicRoundTripWhileTheRowKeepsWholeMilliseconds) {
    StartWith(5, "0000");
    Monitor->ReportPing(1, 7, 6543);
    Monitor->ReportPing(1, 7); // a report without it: the milliseconds
    Monitor->ReportPing(1, -1, 5);
    ASSERT_EQ(Sink.Events.size(), 3U);
    EXPECT_EQ(Sink.Events[0].RoundTripUs, 6543);
    EXPECT_EQ(Sink.Events[1].RoundTripUs, 7000);
    EXPECT_FALSE(Sink.Events[2].RoundTripUs.has_value());
    EXPECT_EQ(Sink.Events[0].Slot, 1);
    EXPECT_EQ(Sink.Events[0].Host, "127.0.0.2");
    EXPECT_EQ(Sink.Events[0].DisplayName, "Loop 2");
    EXPECT_EQ(Fe.AverageLabel(1).Text(), "7ms");
}

// The restart rule zeroes the slots' failure counts at each trigger: a host
// that stays down must still go down once, and come up once. The rule fires
// once: the round it began is still under way when it holds again.
TEST_F(MonitorEvents, AHostGoesDownOnceWhileTheRuleFiresAgainAndComesBackOnce) {
    StartWith(2, "1000");
    for (int i = 0; i < 4; ++i) {
        Monitor->ReportPing(0, -1);
        Monitor->ReportPing(3, -1); // unmarked: down, never part of the rule
    }
    Monitor->ReportPing(0, 3);
    EXPECT_EQ(Sink.Kinds(false),
              (std::vector<std::string>{"host-down 0", "site-state", "site-down", "rule-fired",
                                        "host-down 3", "host-up 0", "site-back", "site-state"}));
}

TEST_F(MonitorEvents, ASessionPublishesItsStartAndOutcomeAndTheStatusLine) {
    StartWith(1, "1000");
    Monitor->ReportPing(0, -1);
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    EXPECT_EQ(Sink.Kinds(false, true),
              (std::vector<std::string>{"host-down 0", "site-state", "site-down", "rule-fired",
                                        "action-started", "status", "action-outcome", "status"}));
    const TMonitorEvent& outcome = Sink.Events[Sink.Events.size() - 2];
    EXPECT_EQ(outcome.Action, "telnet");
    EXPECT_EQ(outcome.ActionKind, "telnet");
    EXPECT_FALSE(outcome.Ok);
    EXPECT_EQ(outcome.Text, Fe.Status);
    EXPECT_EQ(Sink.Events.back().Text, Fe.Status);
}

} // namespace
} // namespace pingvard
