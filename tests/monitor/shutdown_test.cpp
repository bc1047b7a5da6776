#include "apsim_process.h"
#include "host_monitor_fixture.h"

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iostream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pingvard {
namespace {

// Design bound of the whole shutdown: each of four workers its echo Timeout
// (1000 ms in these files) plus the session's 1000 ms.
constexpr long long kShutdownBoundMs = 4 * 1000 + THostMonitor::kSessionStopWaitMs;

// A loopback listener whose accept queue is full: a further connect gets no
// answer to its SYN and would wait for the system's connect time-out.
class TFullBacklogListener {
public:
    TFullBacklogListener() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 0);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        Port = std::to_string(ntohs(address.sin_port));
        m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(m_filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        pollfd p{m_filler, POLLOUT, 0};
        Filled = ::poll(&p, 1, 2000) == 1;
    }
    ~TFullBacklogListener() {
        ::close(m_filler);
        ::close(m_listener);
    }
    std::string Port;
    bool Filled = false;

private:
    int m_listener = -1;
    int m_filler = -1;
};

class Shutdown : public test::THostMonitorFixture {
protected:
    void TriggerSession() {
        for (int slot : {0, 1, 2}) {
            Monitor->WMPing(slot, -1);
        }
        ASSERT_TRUE(ServeUntil([&] { return Fe.Status == "Trying to reset..."; }));
        // Let the session reach its blocking call; it must still be running.
        ASSERT_FALSE(Monitor->ResetThread()->WaitForEnd(300));
    }
};

TEST_F(Shutdown, IdleMonitorStopsQuickly) {
    Start(test::LoopbackIni(5, 600000), Options(test::UnusedLoopbackPort()));
    const long long ms = ShutDown();
    std::cout << "[ figure ] idle shutdown: " << ms << " ms\n";
    EXPECT_LT(ms, kShutdownBoundMs);
}

TEST_F(Shutdown, WorkersBlockedInTheirReportsAreReleased) {
    Start(test::LoopbackIni(1000000, 0), Options(test::UnusedLoopbackPort()));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Dispatcher.Pending() < 4 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(Dispatcher.Pending(), 4u) << "every worker waits in its report";
    const long long ms = ShutDown();
    std::cout << "[ figure ] shutdown with four blocked reports: " << ms << " ms\n";
    EXPECT_LT(ms, kShutdownBoundMs);
}

TEST_F(Shutdown, SessionInAConnectNobodyAnswersIsAborted) {
    TFullBacklogListener listener;
    ASSERT_TRUE(listener.Filled);
    Start(test::LoopbackIni(1, 600000), Options(listener.Port));
    TriggerSession();
    const long long ms = ShutDown(); // includes the join: an unaborted connect takes minutes
    std::cout << "[ figure ] shutdown during a connect: " << ms << " ms\n";
    EXPECT_LT(ms, kShutdownBoundMs);
}

TEST_F(Shutdown, SessionInATricklingWaitIsAborted) {
    test::TApsimProcess apsim({"--mode", "trickle", "--trickle-interval", "50"});
    Start(test::LoopbackIni(1, 600000), Options(apsim.Port())); // 60 s session limit
    TriggerSession();
    const long long ms = ShutDown();
    std::cout << "[ figure ] shutdown during a trickling wait: " << ms << " ms\n";
    EXPECT_LT(ms, kShutdownBoundMs);
    EXPECT_FALSE(Dir.Exists("pingvard.log")) << "no outcome after shutdown";
}

} // namespace
} // namespace pingvard
