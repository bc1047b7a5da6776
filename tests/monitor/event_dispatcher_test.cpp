// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/event.h"
#include "monitor/gui_dispatcher.h"
#include "tests/monitor/dispatcher_contract.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace pingvard {
namespace {

using namespace test;

TEST(Event, AutoResetIsTakenByOneWait) {
    TEvent token(false, true);
    EXPECT_TRUE(token.WaitFor(0));
    EXPECT_FALSE(token.WaitFor(0));
    token.Set();
    EXPECT_TRUE(token.WaitFor(0));
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    TEvent stop(true, false);
    EXPECT_FALSE(stop.WaitFor(0));
    stop.Set();
    EXPECT_TRUE(stop.WaitFor(0));
    EXPECT_TRUE(stop.WaitFor(0));
    stop.Reset();
    EXPECT_FALSE(stop.WaitFor(1));
}

TEST(Event, SetWakesEveryWaiterOfAManualEvent) {
    TEvent stop(true, false);
    auto first = std::async(std::launch::async, [&] { return stop.WaitFor(-1); });
    auto second = std::async(std::launch::async, [&] { return stop.WaitFor(60000); });
    stop.Set();
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
}

struct TLoopDriver {
    using TDispatcher = TLoopDispatcher;
    static void Serve(TLoopDispatcher& dispatcher) { dispatcher.RunOnce(10); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Loop, DispatcherContract, TLoopDriver);

TEST(LoopDispatcher, RunReturnsAfterStopFromAHandOff) {
    TLoopDispatcher dispatcher;
    auto sender =
        std::async(std::launch::async, [&] { return dispatcher.Send([&] { dispatcher.Stop(); }); });
    dispatcher.Run();
    EXPECT_TRUE(sender.get());
}

TEST(LoopDispatcher, StopWakesRunOnceOnceOnly) {
    TLoopDispatcher dispatcher;
    dispatcher.Stop();
    EXPECT_FALSE(dispatcher.RunOnce(60000)); // returns at once
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(dispatcher.RunOnce(20)); // the stop was consumed: this one waits
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

} // namespace
} // namespace pingvard
