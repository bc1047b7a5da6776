#include "monitor/event.h"
#include "monitor/gui_dispatcher.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace pingvard {
namespace {

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

TEST(LoopDispatcher, SendRunsOnTheLoopThreadAndReturnsAfterIt) {
    TLoopDispatcher dispatcher;
    std::thread::id ranOn;
    bool ran = false;
    auto sender = std::async(std::launch::async, [&] {
        const bool sent = dispatcher.Send([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
        return sent && ran; // ran is visible: Send returned after fn
    });
    while (!dispatcher.RunOnce(100)) {
    }
    EXPECT_TRUE(sender.get());
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(LoopDispatcher, SendFromTheLoopThreadRunsDirectly) {
    TLoopDispatcher dispatcher;
    bool ran = false;
    EXPECT_TRUE(dispatcher.Send([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST(LoopDispatcher, CancelReleasesAWaitingSendWithoutRunningIt) {
    TLoopDispatcher dispatcher;
    std::atomic<bool> ran = false;
    auto sender =
        std::async(std::launch::async, [&] { return dispatcher.Send([&] { ran = true; }); });
    while (dispatcher.Pending() == 0) {
        std::this_thread::yield();
    }
    dispatcher.Cancel();
    EXPECT_FALSE(sender.get());
    EXPECT_FALSE(dispatcher.RunOnce(0));
    EXPECT_FALSE(ran);
}

TEST(LoopDispatcher, SendAfterCancelReturnsFalseOnEveryThread) {
    TLoopDispatcher dispatcher;
    dispatcher.Cancel();
    bool ran = false;
    EXPECT_FALSE(dispatcher.Send([&] { ran = true; }));
    auto other = std::async(std::launch::async, [&] { return dispatcher.Send([] {}); });
    EXPECT_FALSE(other.get());
    EXPECT_FALSE(ran);
}

TEST(LoopDispatcher, HandlerExceptionReachesTheLoopAndReleasesTheSender) {
    TLoopDispatcher dispatcher;
    auto sender = std::async(
        std::launch::async, [&] { return dispatcher.Send([] { throw std::runtime_error("x"); }); });
    while (dispatcher.Pending() == 0) {
        std::this_thread::yield();
    }
    EXPECT_THROW(dispatcher.RunOnce(0), std::runtime_error);
    EXPECT_TRUE(sender.get());
}

TEST(LoopDispatcher, RunReturnsAfterStopFromAHandOff) {
    TLoopDispatcher dispatcher;
    auto sender =
        std::async(std::launch::async, [&] { return dispatcher.Send([&] { dispatcher.Stop(); }); });
    dispatcher.Run();
    EXPECT_TRUE(sender.get());
}

} // namespace
} // namespace pingvard
