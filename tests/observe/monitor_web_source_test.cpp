// SPDX-License-Identifier: GPL-3.0-or-later
// What the status page sees of a running monitor: the copy taken on the GUI
// thread, and "Restart now" handed there from the listener's thread, one
// round for requests that come together, a refusal with its reason.
#include "observe/web/monitor_web_source.h"
#include "rounds/recovery_policy.h"
#include "tests/monitor/host_monitor_fixture.h"

#include <algorithm>
#include <future>
#include <gtest/gtest.h>

namespace pingvard::test {
namespace {

class MonitorWebSource : public THostMonitorFixture {
protected:
    void StartAnswering() {
        TMonitorOptions options = Options(RefusedPort.Number());
        options.Pinger = [](const std::string&, int32_t) { return 3; };
        Start(LoopbackIni(3, 100), std::move(options));
        Source = std::make_unique<TMonitorWebSource>(*Monitor, Dispatcher);
        Monitor->Events().Add(*Source);
    }
    void TearDown() override {
        if (Source) {
            Monitor->Events().Remove(*Source);
            Monitor->Shutdown(); // cancels the dispatcher: no hand-off waits any more
            Source->Stop();
        }
        THostMonitorFixture::TearDown();
    }
    int Sessions() const {
        return static_cast<int>(
            std::count(Fe.Calls.begin(), Fe.Calls.end(), "status:Trying to reset..."));
    }
    std::unique_ptr<TMonitorWebSource> Source;
};

TEST_F(MonitorWebSource, CopiesTheHostsAndTheSiteFromTheGuiThread) {
    StartAnswering();
    ASSERT_TRUE(ServeUntil([&] {
        const TWebStatus s = Source->Status();
        return s.TimeMs != 0 && s.Hosts.size() == 4 && s.Hosts[3].Figures.LastMs.has_value();
    }));
    const TWebStatus s = Source->Status();
    for (std::size_t slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(s.Hosts[slot].Name, "Loop " + std::to_string(slot + 1));
        EXPECT_EQ(s.Hosts[slot].Address, "127.0.0." + std::to_string(slot + 1));
        EXPECT_EQ(s.Hosts[slot].Watched, slot < 3);
        EXPECT_FALSE(s.Hosts[slot].Down);
    }
    EXPECT_EQ(s.Site.State, TSiteState::Up);
    EXPECT_FALSE(s.Incident.has_value());
}

TEST_F(MonitorWebSource, RequestsThatComeTogetherAreOneRoundAndTheNextIsRefusedWithItsReason) {
    StartAnswering();
    ASSERT_TRUE(ServeUntil([&] { return Source->Status().TimeMs != 0; }));
    // Two listeners' requests at once, while the GUI thread is busy elsewhere.
    auto first = std::async(std::launch::async, [&] { return Source->RestartNow(); });
    auto second = std::async(std::launch::async, [&] { return Source->RestartNow(); });
    const auto ready = [](auto& f) {
        return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    ASSERT_TRUE(ServeUntil([&] { return ready(first) && ready(second); }));
    const TRestartAnswer a = first.get(), b = second.get();
    const int started = (a.Result == TRestartAnswer::TResult::Started) +
                        (b.Result == TRestartAnswer::TResult::Started);
    EXPECT_GE(started, 1);
    ASSERT_TRUE(ServeUntil([&] { return Sessions() >= 1; }));
    // The telnet step fails at once (its port refuses); the guard holds off.
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    auto third = std::async(std::launch::async, [&] { return Source->RestartNow(); });
    ASSERT_TRUE(ServeUntil([&] { return ready(third); }));
    const TRestartAnswer c = third.get();
    EXPECT_EQ(c.Result, TRestartAnswer::TResult::Refused);
    EXPECT_NE(c.Reason.find("holding off"), std::string::npos) << c.Reason;
    for (const TRestartAnswer* refused : {&a, &b}) {
        if (refused->Result != TRestartAnswer::TResult::Started) {
            EXPECT_EQ(refused->Result, TRestartAnswer::TResult::Refused);
            // While the first round's step runs, or in the hold-off after it.
            EXPECT_TRUE(refused->Reason == kRestartUnderWayText ||
                        refused->Reason.rfind("Restart refused: ", 0) == 0)
                << refused->Reason;
        }
    }
    EXPECT_EQ(Sessions(), 1);
}

TEST_F(MonitorWebSource, ARequestTheGuiThreadNeverTakesIsBusyWithinItsBound) {
    StartAnswering();
    const auto start = std::chrono::steady_clock::now();
    const TRestartAnswer answer = Source->RestartNow(); // nobody serves the dispatcher
    EXPECT_EQ(answer.Result, TRestartAnswer::TResult::Busy);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              TMonitorWebSource::kRestartWait + std::chrono::seconds(1));
    Monitor->Shutdown();
    Source->Stop(); // the hand-off under way is released by the cancel
    EXPECT_EQ(Source->RestartNow().Result, TRestartAnswer::TResult::Busy);
}

} // namespace
} // namespace pingvard::test
