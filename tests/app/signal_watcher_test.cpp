// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/signal_watcher.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

namespace pingvard {
namespace {

bool Blocked(int signal) {
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    return sigismember(&mask, signal) == 1;
}

TEST(SignalWatcher, RunsTheHandlerOnItsThreadForAProcessSignal) {
    std::promise<int> received;
    auto future = received.get_future();
    TSignalWatcher watcher({SIGUSR1, SIGUSR2}, [&](int signal) {
        static bool once = false;
        if (!once) {
            once = true;
            received.set_value(signal);
        }
    });
    EXPECT_EQ(watcher.FirstSignal(), 0);
    ASSERT_EQ(kill(getpid(), SIGUSR2), 0);
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), SIGUSR2);
    EXPECT_EQ(watcher.FirstSignal(), SIGUSR2);
}

TEST(SignalWatcher, StopsWithoutASignalAndRestoresTheMask) {
    ASSERT_FALSE(Blocked(SIGUSR1));
    {
        TSignalWatcher watcher({SIGUSR1}, [](int) {});
        EXPECT_TRUE(Blocked(SIGUSR1));
    }
    EXPECT_FALSE(Blocked(SIGUSR1));
}

TEST(SignalWatcher, DropsASignalThatArrivesWhileItStops) {
    int calls = 0;
    {
        TSignalWatcher watcher({SIGUSR1}, [&](int) { ++calls; });
        // Raised in this thread while blocked: pending for the process until
        // someone takes it; either the watcher does or the destructor drops it.
        ASSERT_EQ(pthread_kill(pthread_self(), SIGUSR1), 0);
    }
    EXPECT_LE(calls, 1); // and the process is still alive
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGUSR1), 0);
}

} // namespace
} // namespace pingvard
