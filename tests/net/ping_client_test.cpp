// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/echo/icmp_packet.h"
#include "net/echo/ping_client.h"
#include "netns_fixture.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <thread>

namespace pingvard {
namespace {

using test::IsRoot;
using test::RunInNewNetns;

using TSteady = std::chrono::steady_clock;

long long MsSince(TSteady::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TSteady::now() - start).count();
}

TEST(PingClient, StartsWithTheDesignDefaults) {
    TPingClient client;
    EXPECT_EQ(client.Timeout, 5000);
    EXPECT_EQ(client.PayloadSize, 32);
    EXPECT_EQ(client.RemoteHost, "127.0.0.1");
    EXPECT_EQ(client.BindAddress, "0.0.0.0");
}

// The kernel's stamp less the send time; a wall clock stepped during the echo
// gives an implausible difference, which the clock's own figure replaces.
TEST(PingClient, RoundTripFromTheKernelStampIsPlausibleOrNone) {
    struct TCase {
        const char* Name;
        timespec Sent;
        timespec Arrived;
        int32_t LimitMs;
        std::optional<int64_t> Us;
    };
    const TCase cases[] = {
        {"same second", {100, 1'000}, {100, 43'999}, 5000, 42},
        {"across a second", {100, 999'990'000}, {101, 20'000}, 5000, 30},
        {"nothing between", {7, 5}, {7, 5}, 5000, 0},
        {"stepped back", {100, 500}, {99, 0}, 5000, std::nullopt},
        {"at the limit and its slack", {0, 0}, {6, 0}, 5000, 6'000'000},
        {"stepped forward", {0, 0}, {6, 1'000}, 5000, std::nullopt},
        {"negative limit as none", {0, 0}, {1, 1'000}, -1, std::nullopt},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(StampedRoundTripUs(c.Sent, c.Arrived, c.LimitMs), c.Us) << c.Name;
    }
}

TEST(PingClient, UnresolvableHostFailsWithoutSending) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: name lookups run in a network namespace";
    }
    // In a namespace of its own, so that the lookup cannot leave this machine.
    RunInNewNetns([] {
        TPingClient client;
        client.RoundTripMs = 5;
        EXPECT_FALSE(client.Ping("no-such-host.invalid"));
        EXPECT_EQ(client.RoundTripMs, -1);
        EXPECT_NE(client.LastErrorCode(), 0);
        EXPECT_TRUE(client.LastRequest().empty());
    });
}

struct TPingCase {
    const char* Name;
    const char* Host;
    TIcmpSocket::TMode Mode;
};

class LoopbackPing : public testing::TestWithParam<TPingCase> {};

// Raw sockets see a copy of the own request when the local host is pinged; a
// successful ping shows that it was skipped and the reply taken.
TEST_P(LoopbackPing, AnswersWithRoundTripAndByteExactRequest) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: raw ICMP sockets and network namespaces";
    }
    const TPingCase& param = GetParam();
    RunInNewNetns([&] {
        // Datagram ICMP sockets are allowed per namespace by this sysctl.
        ASSERT_TRUE(test::WriteNetnsSysctl("net/ipv4/ping_group_range", "0 2147483647"));
        TPingClient client;
        client.IcmpSocket.Mode = param.Mode;
        client.Timeout = 2000;
        for (int sequence = 1; sequence <= 3; ++sequence) {
            ASSERT_TRUE(client.Ping(param.Host)) << ErrorDescription(client.LastErrorCode());
            EXPECT_GE(client.RoundTripMs, 0);
            EXPECT_LT(client.RoundTripMs, 2000);
            // Every socket kind gets the kernel's arrival stamp on Linux.
            EXPECT_EQ(client.LastStampSource, TPingClient::TStampSource::Kernel);
            ASSERT_TRUE(client.RoundTripUs);
            EXPECT_GE(*client.RoundTripUs, 0);
            EXPECT_LE(*client.RoundTripUs, int64_t{client.RoundTripMs + 1} * 1000);
            const std::string& request = client.LastRequest();
            ASSERT_EQ(request.size(), 44U);
            const bool ipv6 = client.IcmpSocket.UsesIPv6();
            EXPECT_EQ(static_cast<uint8_t>(request[0]), ipv6 ? 128 : 8);
            EXPECT_EQ(request[1], 0);
            EXPECT_EQ(ReadLe16(request, 4), client.EchoIdentifier());
            EXPECT_EQ(ReadLe16(request, 6), sequence);
            EXPECT_EQ(request.substr(12), std::string(32, '\x55'));
            if (!ipv6) {
                EXPECT_EQ(InternetChecksum(request), 0);
            }
            EXPECT_LE(client.EchoIdentifier(), 32766);
            if (param.Mode == TIcmpSocket::TMode::RawOnly) {
                // The copy of the own request reached the socket before the reply.
                EXPECT_GE(client.SkippedDatagrams(), 1);
            }
        }
        EXPECT_EQ(client.IcmpSocket.IsDatagram(), param.Mode == TIcmpSocket::TMode::DatagramOnly);
        EXPECT_EQ(client.IcmpUnavailableReason(), "");
    });
}

INSTANTIATE_TEST_SUITE_P(
    Sockets, LoopbackPing,
    testing::Values(TPingCase{"RawIPv4", "127.0.0.1", TIcmpSocket::TMode::RawOnly},
                    TPingCase{"RawIPv6", "::1", TIcmpSocket::TMode::RawOnly},
                    TPingCase{"DatagramIPv4", "127.0.0.1", TIcmpSocket::TMode::DatagramOnly},
                    TPingCase{"DatagramIPv6", "::1", TIcmpSocket::TMode::DatagramOnly}),
    [](const testing::TestParamInfo<TPingCase>& p) { return std::string(p.param.Name); });

// One tick until the request is built (its send tick), another one after.
class TSendTickClock final : public TTickClock {
public:
    TSendTickClock(const TPingClient& client, uint32_t before, uint32_t after)
        : m_client(client), m_before(before), m_after(after) {}
    uint32_t Now() const noexcept override {
        return m_client.LastRequest().empty() ? m_before : m_after;
    }

private:
    const TPingClient& m_client;
    const uint32_t m_before, m_after;
};

TEST(PingClient, RoundTripSpansTheWrapOfTheTickCounter) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: raw ICMP sockets";
    }
    TPingClient client;
    TSendTickClock clock(client, 0xFFFFFFF0U, 0x00000010U);
    client.SetClock(clock);
    client.Timeout = 2000;
    ASSERT_TRUE(client.Ping("127.0.0.1"));
    EXPECT_EQ(client.RoundTripMs, 32);
}

// An address stays connected from echo to echo; another address, or another
// bind address, connects anew.
TEST(PingClient, ConnectsOnlyWhenTheAddressChanges) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: raw ICMP sockets and network namespaces";
    }
    RunInNewNetns([] {
        TPingClient client;
        client.Timeout = 2000;
        int connects = 0;
        client.IcmpSocket.OnStatusChange = [&](TBlockingSocket&, TSocketStatus status,
                                               const std::string&) {
            connects += status == TSocketStatus::Connected ? 1 : 0;
        };
        const struct {
            const char* Host;
            const char* Bind;
            int Connects;
        } steps[] = {{"127.0.0.1", "0.0.0.0", 1},   {"127.0.0.1", "0.0.0.0", 1},
                     {"127.0.0.2", "0.0.0.0", 2},   {"127.0.0.2", "0.0.0.0", 2},
                     {"127.0.0.2", "127.0.0.1", 3}, {"127.0.0.2", "127.0.0.1", 3}};
        for (const auto& step : steps) {
            client.BindAddress = step.Bind;
            EXPECT_TRUE(client.Ping(step.Host)) << step.Host;
            EXPECT_EQ(connects, step.Connects) << step.Host << " from " << step.Bind;
        }
    });
}

// A host changed in the settings from IPv4 to IPv6 and back keeps answering.
TEST(PingClient, FollowsTheHostToTheOtherFamily) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: raw ICMP sockets";
    }
    TPingClient client;
    client.Timeout = 2000;
    for (const char* host : {"127.0.0.1", "::1", "127.0.0.1"}) {
        EXPECT_TRUE(client.Ping(host)) << host;
        EXPECT_EQ(client.IcmpSocket.UsesIPv6(), std::string(host) == "::1");
    }
}

// Sends echo replies with foreign identifiers from a local address until stopped,
// as replies meant for other clients would arrive.
void SendForeignReplies(const char* from, const std::atomic<bool>& stop) {
    const int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &address.sin_addr);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    uint16_t identifier = 40000; // outside the clients' range 0..32766
    while (!stop.load()) {
        TEchoFields fields;
        fields.Type = kIcmpEchoReply;
        fields.Identifier = identifier++;
        std::string message = BuildEchoRequest(fields);
        StoreChecksum(message, InternetChecksum(message));
        ::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::close(fd);
}

// A host that never answers, while another client floods it with pings and
// foreign replies keep arriving from it: one Timeout bounds the whole call.
TEST(PingClient, SilentHostFailsWithinTimeoutDespiteUnrelatedTraffic) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: raw ICMP sockets and network namespaces";
    }
    RunInNewNetns([] {
        // A local address in a namespace that answers no echo request.
        ASSERT_TRUE(test::NetnsShell("ip addr add 10.77.0.2/32 dev lo"));
        ASSERT_TRUE(test::WriteNetnsSysctl("net/ipv4/icmp_echo_ignore_all", "1"));
        std::atomic<bool> stop{false};
        std::thread flood([&] {
            TPingClient flooder;
            flooder.Timeout = 2;
            while (!stop.load()) {
                flooder.Ping("10.77.0.2");
            }
        });
        std::thread replies([&] { SendForeignReplies("10.77.0.2", stop); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // traffic under way
        TPingClient client;
        client.Timeout = 400;
        for (int i = 0; i < 3; ++i) {
            const auto start = TSteady::now();
            EXPECT_FALSE(client.Ping("10.77.0.2"));
            const long long ms = MsSince(start);
            EXPECT_GE(ms, 400 - 1);
            EXPECT_LT(ms, 400 + 50);
            EXPECT_EQ(client.RoundTripMs, -1);
            EXPECT_EQ(client.LastErrorCode(), kWsaEtimedout);
            EXPECT_GT(client.SkippedDatagrams(), 20); // the traffic did reach the socket
        }
        stop = true;
        flood.join();
        replies.join();
    });
}

TEST(PingClient, SilentIPv6HostFailsWithinTimeout) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: raw ICMP sockets and network namespaces";
    }
    RunInNewNetns([] {
        ASSERT_TRUE(test::AddSilentHost());
        TPingClient client;
        client.Timeout = 300;
        const auto start = TSteady::now();
        EXPECT_FALSE(client.Ping(test::kSilentHostV6));
        EXPECT_LT(MsSince(start), 300 + 50);
        EXPECT_TRUE(client.IcmpSocket.UsesIPv6());
    });
}

TEST(PingClient, AbortEndsABlockedPingWithin50Ms) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: raw ICMP sockets and network namespaces";
    }
    RunInNewNetns([] {
        ASSERT_TRUE(test::AddSilentHost());
        TPingClient client;
        client.Timeout = 10000;
        TSteady::time_point abortedAt;
        std::thread aborter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            abortedAt = TSteady::now();
            client.Abort();
        });
        EXPECT_FALSE(client.Ping(test::kSilentHostV4));
        const auto returnedAt = TSteady::now();
        aborter.join();
        EXPECT_LT(returnedAt - abortedAt, std::chrono::milliseconds(50));
        EXPECT_EQ(client.LastErrorCode(), kWsaEintr);
        // Later calls return at once too.
        const auto start = TSteady::now();
        EXPECT_FALSE(client.Ping("127.0.0.1"));
        EXPECT_LT(MsSince(start), 50);
    });
}

// Drops CAP_NET_RAW from the calling thread's effective set.
bool DropNetRaw() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    data[CAP_NET_RAW / 32].effective &= ~(1U << (CAP_NET_RAW % 32));
    return ::syscall(SYS_capset, &header, data) == 0;
}

TEST(PingClient, ExplainsTheFixWhenNoIcmpSocketIsAllowed) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: network namespaces and capabilities";
    }
    RunInNewNetns([] {
        ASSERT_TRUE(test::WriteNetnsSysctl("net/ipv4/ping_group_range", "1 0"));
        ASSERT_TRUE(DropNetRaw());
        const std::string probe = TPingClient::ProbeIcmpAccess();
        EXPECT_NE(probe.find("setcap cap_net_raw+ep"), std::string::npos) << probe;
        EXPECT_NE(probe.find("net.ipv4.ping_group_range"), std::string::npos) << probe;
        TPingClient client;
        client.Timeout = 1000;
        const auto start = TSteady::now();
        EXPECT_FALSE(client.Ping("127.0.0.1"));
        EXPECT_LT(MsSince(start), 50);
        EXPECT_EQ(client.LastErrorCode(), kWsaEacces);
        EXPECT_EQ(client.IcmpUnavailableReason(), probe);
    });
}

TEST(PingClient, ProbeIsEmptyWhenPingingWorks) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root: raw ICMP sockets";
    }
    EXPECT_EQ(TPingClient::ProbeIcmpAccess(), "");
}

} // namespace
} // namespace pingvard
