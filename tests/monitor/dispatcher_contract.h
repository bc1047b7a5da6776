// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The contract every TGuiDispatcher keeps, as the monitor's threads and the
// program rely on it. A test file instantiates it with a driver:
//   struct TDriver {
//       using TDispatcher = ...;                  // constructed on the GUI thread
//       static void Serve(TDispatcher& dispatcher); // runs the GUI loop briefly
//   };

#include "monitor/gui_dispatcher.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace pingvard::test {

template <class TDriver> class DispatcherContract : public testing::Test {
protected:
    void SetUp() override {
        Dispatcher.OnHandOffError = [this](const std::string& what) {
            ErrorsOnGuiThread = ErrorsOnGuiThread && std::this_thread::get_id() == m_gui;
            Errors.push_back(what);
        };
    }

    // Serves the GUI loop until done() holds; false after 10 s without.
    bool ServeUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            TDriver::Serve(Dispatcher);
        }
        return true;
    }

    // Send from a thread of its own, with the GUI loop served meanwhile.
    bool SendFromWorker(std::function<void()> fn) {
        std::atomic<int> result{-1};
        std::thread worker([&] { result = Dispatcher.Send(std::move(fn)) ? 1 : 0; });
        const bool served = ServeUntil([&] { return result >= 0; });
        worker.join();
        EXPECT_TRUE(served);
        return result == 1;
    }

    typename TDriver::TDispatcher Dispatcher;
    std::vector<std::string> Errors;
    bool ErrorsOnGuiThread = true;

private:
    const std::thread::id m_gui = std::this_thread::get_id();
};

TYPED_TEST_SUITE_P(DispatcherContract);

TYPED_TEST_P(DispatcherContract, SendFromAnotherThreadRunsOnTheGuiThreadAndReturnsAfterIt) {
    std::thread::id ranOn;
    int value = 0; // written on the GUI thread, read by the sender after Send
    int seenBySender = -1;
    std::atomic<bool> sent{false};
    std::thread worker([&] {
        const bool ok = this->Dispatcher.Send([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
        });
        seenBySender = ok ? value : -2;
        sent = true;
    });
    EXPECT_TRUE(this->ServeUntil([&] { return sent.load(); }));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(seenBySender, 42);
}

TYPED_TEST_P(DispatcherContract, SendOnTheGuiThreadRunsAtOnce) {
    bool ran = false;
    EXPECT_TRUE(this->Dispatcher.Send([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TYPED_TEST_P(DispatcherContract, CancelReleasesAWaitingSenderWithoutRunningIt) {
    std::atomic<bool> ran{false};
    std::atomic<int> result{-1};
    std::atomic<bool> sending{false};
    std::thread worker([&] {
        sending = true;
        result = this->Dispatcher.Send([&] { ran = true; }) ? 1 : 0;
    });
    // The GUI loop is not served, so the call stays queued (or, should Cancel
    // come first, is refused: the same contract).
    while (!sending) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    this->Dispatcher.Cancel();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    TypeParam::Serve(this->Dispatcher);
    EXPECT_FALSE(ran.load());
}

TYPED_TEST_P(DispatcherContract, SendAfterCancelIsRefusedOnEveryThread) {
    this->Dispatcher.Cancel();
    std::atomic<bool> ran{false};
    EXPECT_FALSE(this->Dispatcher.Send([&] { ran = true; }));
    bool workerResult = true;
    std::thread worker([&] { workerResult = this->Dispatcher.Send([&] { ran = true; }); });
    worker.join();
    EXPECT_FALSE(workerResult);
    TypeParam::Serve(this->Dispatcher);
    EXPECT_FALSE(ran.load());
}

struct TNotAStdException {};

// Whatever a hand-off throws: the sender is released as after a normal call,
// the error is reported once on the GUI thread, and the loop goes on.
TYPED_TEST_P(DispatcherContract, AnythingAHandOffThrowsIsReportedAndTheLoopGoesOn) {
    const std::vector<std::function<void()>> throwers = {
        [] { throw std::runtime_error("disk on fire"); },
        [] { throw 7; },
        [] { throw TNotAStdException{}; },
    };
    for (const auto& thrower : throwers) {
        EXPECT_TRUE(this->SendFromWorker(thrower));
        EXPECT_TRUE(this->Dispatcher.Send(thrower)); // from the GUI thread itself
    }
    ASSERT_EQ(this->Errors.size(), 6u);
    EXPECT_EQ(this->Errors[0], "disk on fire");
    for (const std::string& what : this->Errors) {
        EXPECT_FALSE(what.empty());
    }
    EXPECT_TRUE(this->ErrorsOnGuiThread);
    bool ran = false;
    EXPECT_TRUE(this->SendFromWorker([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

REGISTER_TYPED_TEST_SUITE_P(DispatcherContract,
                            SendFromAnotherThreadRunsOnTheGuiThreadAndReturnsAfterIt,
                            SendOnTheGuiThreadRunsAtOnce,
                            CancelReleasesAWaitingSenderWithoutRunningIt,
                            SendAfterCancelIsRefusedOnEveryThread,
                            AnythingAHandOffThrowsIsReportedAndTheLoopGoesOn);

} // namespace pingvard::test
