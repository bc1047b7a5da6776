// SPDX-License-Identifier: GPL-3.0-or-later
#include "apsim_process.h"
#include "host_monitor_fixture.h"
#include "net/resolve.h"
#include "tests/net/netns_fixture.h"

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
            Monitor->ReportPing(slot, -1);
        }
        ASSERT_TRUE(ServeUntil([&] { return Fe.Status == "Trying to reset..."; }));
        // Let the session reach its blocking call; it must still be running.
        ASSERT_FALSE(Monitor->ResetThread()->WaitForEnd(300));
    }
};

TEST_F(Shutdown, IdleMonitorStopsQuickly) {
    Start(test::LoopbackIni(5, 600000), Options(RefusedPort.Number()));
    const long long ms = ShutDown();
    std::cout << "[ figure ] idle shutdown: " << ms << " ms\n";
    EXPECT_LT(ms, kShutdownBoundMs);
}

TEST_F(Shutdown, WorkersBlockedInTheirReportsAreReleased) {
    Start(test::LoopbackIni(1000000, 0), Options(RefusedPort.Number()));
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

// The link is down at boot: the device and the watched hosts are names, and
// the resolver never answers. Start-up waits for the names at most its short
// limit; the exit command then finds the workers and the session in lookups
// (each could last ten seconds, the echo Timeout is a minute) and ends them at
// once.
TEST(ShutdownWithoutResolver, HungLookupsDelayNeitherStartNorExit) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: network and mount namespaces, raw ICMP sockets";
    }
    test::RunWithSilentResolver([] {
        test::TTempCurrentDir dir;
        // Already normalised, so that the load writes nothing and the start
        // takes the lookups' time only.
        std::string ini = "[Constants]\nMaxTimeouts=1\nPingInterval=50\n[ResetHost]\n"
                          "Hostname=ap.pingvard.invalid\nChallengesCount=1\nChallenge1=password:\n"
                          "Answer1=x\n";
        for (const std::string n : {"1", "2", "3", "4"}) {
            ini += "[Host" + n + "]\nDisplayName=h" + n + "\nHostname=h" + n +
                   ".pingvard.invalid\nTimeout=60000\nTimeoutDoReset=" + (n == "4" ? "0" : "1") +
                   "\n";
        }
        dir.Write("pingvard.ini", ini);
        test::TFakeFrontEnd fe;
        TLoopDispatcher dispatcher;
        TMonitorOptions options;
        options.IcmpProbe = [] { return std::string(); };
        auto monitor = std::make_unique<THostMonitor>(fe, dispatcher, options);
        auto start = std::chrono::steady_clock::now();
        monitor->Start();
        const auto startMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        EXPECT_LT(startMs, kResolveToIPLimitMs + 300);
        EXPECT_EQ(monitor->PingObj(0).IP, "h1.pingvard.invalid") << "kept as a name";

        for (int slot : {0, 1, 2}) {
            monitor->ReportPing(slot, -1);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (fe.Status != "Trying to reset..." && std::chrono::steady_clock::now() < until) {
            dispatcher.RunOnce(10);
        }
        ASSERT_EQ(fe.Status, "Trying to reset...");
        ASSERT_FALSE(monitor->ResetThread()->WaitForEnd(300)) << "the session looks up the device";

        start = std::chrono::steady_clock::now();
        monitor->Shutdown();
        monitor.reset();
        const auto stopMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
        std::cout << "[ figure ] start-up " << startMs << " ms, shutdown " << stopMs
                  << " ms with every lookup hanging\n";
        EXPECT_LT(stopMs, 500);
    });
}

} // namespace
} // namespace pingvard
