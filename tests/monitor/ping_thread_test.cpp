// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/gui_dispatcher.h"
#include "monitor/ping_thread.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {
namespace {

using std::chrono::steady_clock;

class PingThread : public ::testing::Test {
protected:
    // Serves hand-offs until count reports arrived; false after 10 s.
    bool ServeReports(std::size_t count) {
        const auto until = steady_clock::now() + std::chrono::seconds(10);
        while (Reports.size() < count && steady_clock::now() < until) {
            Dispatcher.RunOnce(10);
        }
        return Reports.size() >= count;
    }

    TPingTh::TReport Recorder() {
        return [this](int32_t index, int32_t ms) { Reports.push_back({index, ms}); };
    }

    void Stop(TPingTh& worker) {
        Dispatcher.Cancel();
        worker.RequestTerminate();
        StopEvent.Set();
        EXPECT_TRUE(worker.WaitForEnd(5000));
    }

    TLoopDispatcher Dispatcher;
    TEvent StopEvent{true, false};
    std::atomic<int32_t> Interval{0};
    std::vector<std::pair<int32_t, int32_t>> Reports; // GUI thread only
};

TEST_F(PingThread, ExceptionInAnEchoIsReportedAsAFailure) {
    TPingTh worker(2, StopEvent, Interval, Dispatcher, Recorder());
    std::atomic<int> calls = 0;
    worker.SetPinger([&](const std::string&, int32_t) -> int32_t {
        if (calls++ == 0) {
            throw std::runtime_error("socket trouble");
        }
        return 9;
    });
    worker.Start();
    ASSERT_TRUE(ServeReports(2));
    EXPECT_EQ(Reports[0], (std::pair<int32_t, int32_t>{2, -1}));
    EXPECT_EQ(Reports[1], (std::pair<int32_t, int32_t>{2, 9}));
    Stop(worker);
}

TEST_F(PingThread, NegativeIntervalKeepsPingingAtTheDefaultPace) {
    Interval = -1;
    TPingTh worker(0, StopEvent, Interval, Dispatcher, Recorder());
    worker.SetPinger([](const std::string&, int32_t) { return 3; });
    const auto start = steady_clock::now();
    worker.Start();
    ASSERT_TRUE(ServeReports(1));
    EXPECT_GE(steady_clock::now() - start,
              std::chrono::milliseconds(TPingTh::kNegativeIntervalWaitMs));
    EXPECT_EQ(Interval.load(), -1); // the setting itself is left alone
    Stop(worker);
}

// A negative Timeout would count every live host as lost (no wait at all) or
// block the worker for ever: each echo waits the default instead.
TEST_F(PingThread, NegativeTimeoutGivesEachEchoTheDefaultWait) {
    TPingTh worker(0, StopEvent, Interval, Dispatcher, Recorder());
    worker.SetTimeout(-1);
    std::atomic<int32_t> given = 0;
    worker.SetPinger([&](const std::string&, int32_t timeout) {
        given = timeout;
        return 4;
    });
    worker.Start();
    ASSERT_TRUE(ServeReports(1));
    EXPECT_EQ(given.load(), TPingTh::kNegativeTimeoutEchoMs);
    EXPECT_EQ(worker.EchoTimeout(), TPingTh::kNegativeTimeoutEchoMs);
    EXPECT_EQ(worker.Timeout(), -1); // the setting itself is left alone
    Stop(worker);
}

TEST_F(PingThread, HostAndTimeoutChangesArriveWhole) {
    const std::string first(200, 'a');
    const std::string second(300, 'b');
    TPingTh worker(1, StopEvent, Interval, Dispatcher, Recorder());
    worker.SetHost(first);
    worker.SetTimeout(100);
    std::mutex seenMutex;
    std::vector<std::string> seen;
    worker.SetPinger([&](const std::string& host, int32_t timeout) {
        std::lock_guard lock(seenMutex);
        seen.push_back(host + ":" + std::to_string(timeout));
        return 1;
    });
    worker.Start();
    std::thread changer([&] {
        for (int i = 0; i < 200; ++i) {
            worker.SetHost(i % 2 == 0 ? second : first);
            worker.SetTimeout(i % 2 == 0 ? 200 : 100);
        }
    });
    ASSERT_TRUE(ServeReports(50));
    changer.join();
    Stop(worker);
    std::lock_guard lock(seenMutex);
    for (const std::string& entry : seen) {
        const std::string host = entry.substr(0, entry.find(':'));
        EXPECT_TRUE(host == first || host == second) << "torn host of " << host.size();
    }
}

TEST_F(PingThread, StopEventEndsAWorkerBlockedInItsReport) {
    TPingTh worker(3, StopEvent, Interval, Dispatcher, Recorder());
    worker.SetPinger([](const std::string&, int32_t) { return -1; });
    worker.Start();
    const auto until = steady_clock::now() + std::chrono::seconds(10);
    while (Dispatcher.Pending() == 0 && steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(Dispatcher.Pending(), 1u);
    Stop(worker);
    EXPECT_TRUE(Reports.empty());
}

} // namespace
} // namespace pingvard
