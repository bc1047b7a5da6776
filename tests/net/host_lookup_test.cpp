// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/blocking_socket.h"
#include "net/echo/ping_client.h"
#include "net/host_lookup.h"
#include "net/socket_errors.h"
#include "net/tcp_socket.h"
#include "netns_fixture.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pingvard {
namespace {

using TSteady = std::chrono::steady_clock;

long long MsSince(TSteady::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TSteady::now() - start).count();
}

std::string Text(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
                    sizeof text);
    } else {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                    sizeof text);
    }
    return text;
}

// A name server on a loopback port that takes every query and never answers.
class TSilentNameServer {
public:
    TSilentNameServer() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        Servers = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    ~TSilentNameServer() { ::close(m_fd); }
    bool GotQueries() const {
        int waiting = 0;
        return ::ioctl(m_fd, FIONREAD, &waiting) == 0 && waiting > 0;
    }
    std::string Servers;

private:
    int m_fd = -1;
};

struct TNumericCase {
    const char* Host;
    int Family;
    int Error;
    const char* First;
};

class NumericLookup : public testing::TestWithParam<TNumericCase> {};

// With no time at all and a server that never answers, literals still resolve:
// they never reach the resolver.
TEST_P(NumericLookup, NeedsNoResolver) {
    const TNumericCase& c = GetParam();
    TSilentNameServer server;
    TLookupOptions options;
    options.Family = c.Family;
    options.TimeoutMs = 0;
    options.Servers = server.Servers;
    const TLookupResult result = LookupHost(c.Host, options);
    EXPECT_EQ(result.Error, c.Error);
    EXPECT_EQ(result.Addresses.empty() ? "" : Text(result.Addresses.front()), c.First);
    EXPECT_FALSE(server.GotQueries());
}

INSTANTIATE_TEST_SUITE_P(Table, NumericLookup,
                         testing::Values(TNumericCase{"127.0.0.7", AF_UNSPEC, 0, "127.0.0.7"},
                                         TNumericCase{"::1", AF_INET6, 0, "::1"},
                                         TNumericCase{"::1", AF_INET, kWsaHostNotFound, ""},
                                         TNumericCase{"127.0.0.7", AF_INET6, kWsaHostNotFound, ""},
                                         TNumericCase{"", AF_UNSPEC, kWsaHostNotFound, ""}));

TEST(HostLookup, SilentResolverCostsAllNamesTogetherAtMostTheTimeout) {
    TSilentNameServer server;
    TLookupOptions options;
    options.TimeoutMs = 300;
    options.Servers = server.Servers;
    const auto start = TSteady::now();
    const auto results =
        LookupHosts({"one.pingvard.invalid", "two.pingvard.invalid", "127.0.0.1"}, options);
    const long long ms = MsSince(start);
    EXPECT_GE(ms, 299);
    EXPECT_LT(ms, 300 + 100);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].Error, kWsaTryAgain);
    EXPECT_EQ(results[1].Error, kWsaTryAgain);
    EXPECT_EQ(results[2].Error, 0);
    EXPECT_TRUE(server.GotQueries()) << "the names were asked for";
}

TEST(HostLookup, AbortEndsALookupAtOnceAndEveryLaterOne) {
    TSilentNameServer server;
    TAbortSignal abort;
    TLookupOptions options;
    options.Abort = &abort;
    options.Servers = server.Servers;
    TSteady::time_point abortedAt;
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        abortedAt = TSteady::now();
        abort.Raise();
    });
    EXPECT_EQ(LookupHost("one.pingvard.invalid", options).Error, kWsaEintr);
    const auto returnedAt = TSteady::now();
    aborter.join();
    EXPECT_LT(returnedAt - abortedAt, std::chrono::milliseconds(50));
    const auto start = TSteady::now();
    EXPECT_EQ(LookupHost("two.pingvard.invalid", options).Error, kWsaEintr);
    EXPECT_LT(MsSince(start), 50);
}

// dnsmasq, Debian's small name server, on port 53 of the calling thread's
// namespace, answering for pingvard.test only: h1 has an IPv4 and an IPv6
// address, h6 only an IPv6 one, every other name there does not exist.
class TDnsmasq {
public:
    static constexpr const char* kPath = "/usr/sbin/dnsmasq";
    TDnsmasq() {
        const char* argv[] = {kPath,
                              "--keep-in-foreground",
                              "--conf-file=/dev/null",
                              "--no-resolv",
                              "--no-hosts",
                              "--no-poll",
                              "--pid-file=",
                              "--user=root",
                              "--listen-address=127.0.0.1",
                              "--bind-interfaces",
                              "--port=53",
                              "--local=/pingvard.test/",
                              "--host-record=h1.pingvard.test,10.77.0.9,fd77::9",
                              "--host-record=h6.pingvard.test,fd77::6",
                              nullptr};
        if (::posix_spawn(&m_pid, kPath, nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            m_pid = -1;
    }
    ~TDnsmasq() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    // Until it answers, at most 5 s.
    bool Ready() const {
        TLookupOptions options;
        options.TimeoutMs = 200;
        options.Servers = "127.0.0.1:53";
        const auto until = TSteady::now() + std::chrono::seconds(5);
        while (m_pid > 0 && TSteady::now() < until) {
            if (LookupHost("h1.pingvard.test", options).Error == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    pid_t m_pid = -1;
};

struct TAnswerCase {
    const char* Host;
    int Family;
    int Error;
    std::vector<std::string> Addresses;
};

// What the resolver makes of a real server's answers, in one namespace of
// its own: each family asked for, both together, and the names that fail.
TEST(HostLookup, RealNameServerAnswersByFamily) {
    if (!test::IsRoot())
        GTEST_SKIP() << "needs root: a network namespace for the name server";
    if (!std::filesystem::exists(TDnsmasq::kPath))
        GTEST_SKIP() << "needs dnsmasq (package dnsmasq-base, scripts/deps.sh)";
    test::RunInNewNetns([] {
        TDnsmasq server;
        ASSERT_TRUE(server.Ready());
        const std::vector<TAnswerCase> cases = {
            {"h1.pingvard.test", AF_INET, 0, {"10.77.0.9"}},
            {"h1.pingvard.test", AF_INET6, 0, {"fd77::9"}},
            {"h1.pingvard.test", AF_UNSPEC, 0, {"10.77.0.9", "fd77::9"}},
            {"h6.pingvard.test", AF_UNSPEC, 0, {"fd77::6"}},
            {"h6.pingvard.test", AF_INET, kWsaHostNotFound, {}},
            {"nope.pingvard.test", AF_UNSPEC, kWsaHostNotFound, {}},
        };
        for (const TAnswerCase& c : cases) {
            TLookupOptions options;
            options.Family = c.Family;
            options.TimeoutMs = 2000;
            options.Servers = "127.0.0.1:53";
            const TLookupResult result = LookupHost(c.Host, options);
            std::vector<std::string> got;
            for (const sockaddr_storage& address : result.Addresses)
                got.push_back(Text(address));
            std::sort(got.begin(), got.end());
            EXPECT_EQ(result.Error, c.Error) << c.Host << " family " << c.Family;
            EXPECT_EQ(got, c.Addresses) << c.Host << " family " << c.Family;
        }
    });
}

// The reset session's connect: a lookup of the device's name that hangs must
// not keep shutdown waiting.
TEST(HostLookup, AbortEndsAConnectWaitingForItsLookup) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: network and mount namespaces";
    }
    test::RunWithSilentResolver([] {
        TTcpSocket socket;
        TSteady::time_point abortedAt;
        std::thread aborter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            abortedAt = TSteady::now();
            socket.Abort();
        });
        socket.ConnectTo("ap.pingvard.invalid", "23");
        const auto returnedAt = TSteady::now();
        aborter.join();
        EXPECT_LT(returnedAt - abortedAt, std::chrono::milliseconds(50));
        EXPECT_EQ(socket.LastErrorCode(), kWsaEintr);
        EXPECT_EQ(socket.SocketHandle(), -1);
    });
}

// A watched host given as a name while the resolver does not answer: each
// echo still fails within its Timeout.
TEST(HostLookup, EchoOfANameThatCannotBeLookedUpFailsWithinTimeout) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: network and mount namespaces";
    }
    test::RunWithSilentResolver([] {
        TPingClient client;
        client.Timeout = 300;
        const auto start = TSteady::now();
        EXPECT_FALSE(client.Ping("host.pingvard.invalid"));
        const long long ms = MsSince(start);
        EXPECT_GE(ms, 299);
        EXPECT_LT(ms, 300 + 100);
        EXPECT_EQ(client.LastErrorCode(), kWsaTryAgain);
        EXPECT_TRUE(client.LastRequest().empty()) << "nothing was sent";
    });
}

} // namespace
} // namespace pingvard
