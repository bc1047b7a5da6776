// SPDX-License-Identifier: GPL-3.0-or-later
#include "fake_clock.h"
#include "loopback_peer.h"
#include "net/echo/icmp_socket.h"
#include "net/tcp_socket.h"
#include "netns_fixture.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <thread>

namespace pingvard {
namespace {

using test::ElapsedMs;
using test::SendAll;
using test::SleepMs;
using test::TLoopbackPeer;

TEST(BlockingSocket, DefaultBindWithoutSocketDoesNothing) {
    TTcpSocket socket;
    socket.BindTo("0.0.0.0", "0");
    EXPECT_EQ(socket.LastErrorCode(), 0);
    EXPECT_EQ(socket.SocketHandle(), -1);
}

// Name lookups run inside a namespace of their own: a lookup that reaches the
// resolver must not send a query off this machine.
TEST(BlockingSocket, NameResolvingToBothFamiliesYieldsIPv4WhenPreferred) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: name lookups run in a network namespace";
    }
    test::RunInNewNetns([] {
        TTcpSocket socket;
        const SocketAddress address = socket.ResolveAddress("localhost", "23");
        ASSERT_TRUE(address.HasIPv4);
        EXPECT_FALSE(address.UseIPv6);
        EXPECT_EQ(AddressText(address), "127.0.0.1");
        EXPECT_EQ(AddressPort(address), 23);
    });
}

TEST(BlockingSocket, Ipv6LiteralYieldsAnIpv6SocketAndFixesItsFamily) {
    TLoopbackPeer peer(true);
    peer.Serve([](int) {});
    TTcpSocket socket;
    socket.ConnectTo("::1", peer.Port());
    ASSERT_EQ(socket.LastErrorCode(), 0);
    EXPECT_TRUE(socket.UsesIPv6());
    EXPECT_EQ(socket.RemoteAddressText(), "::1");
    // While the socket exists only its own family resolves.
    EXPECT_TRUE(socket.ResolveAddress("127.0.0.2", "1").Empty());
}

TEST(BlockingSocket, UnresolvableHostFailsTheConnect) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: name lookups run in a network namespace";
    }
    test::RunInNewNetns([] {
        TTcpSocket socket;
        socket.ConnectTo("no-such-host.invalid", "23");
        EXPECT_NE(socket.LastErrorCode(), 0);
        EXPECT_EQ(socket.SocketHandle(), -1); // no socket, so no family fixed yet
    });
}

TEST(BlockingSocket, ServiceNamesResolveAsPorts) {
    TTcpSocket socket;
    EXPECT_EQ(AddressPort(socket.ResolveAddress("127.0.0.1", "telnet")), 23);
}

// The error of the failing call itself, whatever errno held before it.
TEST(BlockingSocket, FailedBindAndListenReportTheirOwnErrors) {
    TLoopbackPeer peer;
    TTcpSocket bound;
    errno = 0;
    bound.BindTo("127.0.0.1", peer.Port()); // the peer listens there
    EXPECT_EQ(bound.LastErrorCode(), kWsaEaddrinuse);

    peer.Serve([](int) {});
    TTcpSocket connected;
    connected.ConnectTo("127.0.0.1", peer.Port());
    ASSERT_EQ(connected.LastErrorCode(), 0);
    errno = 0;
    connected.StartListening(); // not on a connected socket
    EXPECT_EQ(connected.LastErrorCode(), kWsaEinval);
}

class ConnectedSocket : public testing::Test {
protected:
    void Connect(std::function<void(int)> script) {
        m_peer.Serve(std::move(script));
        m_socket.ConnectTo("127.0.0.1", m_peer.Port());
        ASSERT_EQ(m_socket.LastErrorCode(), 0);
    }
    TLoopbackPeer m_peer;
    TTcpSocket m_socket;
};

TEST_F(ConnectedSocket, TimeoutKeepsPartialTextPendingForTheNextReceive) {
    Connect([this](int fd) {
        SendAll(fd, "partial");
        test::WaitUntil([this] { return m_peer.Stopping(); }, 5000);
    });
    EXPECT_EQ(m_socket.ReceiveUntil(200, "never"), "");
    EXPECT_EQ(m_socket.LastErrorCode(), kWsaEtimedout);
    EXPECT_EQ(m_socket.PendingInput, "partial");
    long long ms = ElapsedMs([&] { EXPECT_EQ(m_socket.ReceiveAvailable(5000), "partial"); });
    EXPECT_LT(ms, 1000);
    m_peer.Stop();
}

// A minute's wait on a silent peer ends when the socket's clock says so: on a
// clock that moves 10 s per reading, at once.
TEST_F(ConnectedSocket, TimeoutRunsOnTheSocketsClock) {
    Connect([this](int) { test::WaitUntil([this] { return m_peer.Stopping(); }, 5000); });
    test::TSteppingClock clock(0xFFFFF000u, 10000); // wraps on the way
    m_socket.SetClock(clock);
    const long long ms = ElapsedMs([&] { EXPECT_EQ(m_socket.ReceiveAvailable(60000), ""); });
    EXPECT_EQ(m_socket.LastErrorCode(), kWsaEtimedout);
    EXPECT_LT(ms, 1000);
    m_socket.SetClock(SystemTickClock()); // the socket outlives this clock
    m_peer.Stop();
}

TEST_F(ConnectedSocket, EmptyTerminatorReturnsAtOnceWithoutReading) {
    Connect([this](int fd) {
        SendAll(fd, "data");
        test::WaitUntil([this] { return m_peer.Stopping(); }, 5000);
    });
    m_socket.PendingInput = "kept";
    EXPECT_EQ(m_socket.ReceiveUntil(5000, ""), "");
    EXPECT_EQ(m_socket.LastErrorCode(), 0);
    EXPECT_EQ(m_socket.PendingInput, "kept");
    m_peer.Stop();
}

TEST_F(ConnectedSocket, TricklingDataKeepsEachWaitAlive) {
    Connect([](int fd) {
        for (int i = 0; i < 6; ++i) {
            SendAll(fd, "x");
            SleepMs(60);
        }
        SendAll(fd, "END");
        SleepMs(200);
    });
    // 150 ms per wait, but the whole exchange takes about 360 ms.
    EXPECT_EQ(m_socket.ReceiveUntil(150, "END"), "xxxxxx");
    EXPECT_EQ(m_socket.LastErrorCode(), 0);
}

TEST_F(ConnectedSocket, PendingTextIsBoundedButStillFindsASplitTerminator) {
    Connect([](int fd) {
        SendAll(fd, std::string(300 * 1024, 'a') + "ab");
        SleepMs(300);
        SendAll(fd, "cdef!");
        SleepMs(200);
    });
    // The bound is below the terminator's length: length - 1 bytes are kept.
    m_socket.MaxPendingInput = 4;
    const std::string before = m_socket.ReceiveUntil(5000, "abcdef");
    EXPECT_EQ(m_socket.LastErrorCode(), 0);
    EXPECT_EQ(m_socket.PendingInput, "!");
    EXPECT_LT(before.size(), 300U * 1024U);
    EXPECT_EQ(before.find_first_not_of('a'), std::string::npos);
}

TEST_F(ConnectedSocket, StreamingPeerCannotGrowPendingTextPastTheBound) {
    Connect([](int fd) { SendAll(fd, std::string(1024 * 1024, 'z')); });
    EXPECT_EQ(m_socket.ReceiveUntil(2000, "never"), "");
    EXPECT_EQ(m_socket.LastErrorCode(), kWsaEconnreset);
    EXPECT_EQ(m_socket.PendingInput.size(), TBlockingSocket::kDefaultMaxPendingInput);
}

TEST_F(ConnectedSocket, OneReceiveFromAFloodingPeerTakesABoundedChunk) {
    Connect([this](int fd) {
        SendAll(fd, std::string(4 * 1024 * 1024, 'f'));
        test::WaitUntil([this] { return m_peer.Stopping(); }, 5000);
    });
    test::WaitUntil([this] { return m_socket.BytesWaiting() > 1024 * 1024; }, 2000);
    EXPECT_EQ(m_socket.ReceiveAvailable(1000).size(), TBlockingSocket::kMaxStreamRead);
    m_peer.Stop();
}

TEST_F(ConnectedSocket, FilterThatRemovesEverythingGivesEmptyChunkWithoutError) {
    m_socket.OnReceiveFilter = [](TBlockingSocket&, std::string& data) { data.clear(); };
    Connect([this](int fd) {
        SendAll(fd, "gone");
        test::WaitUntil([this] { return m_peer.Stopping(); }, 5000);
    });
    EXPECT_EQ(m_socket.ReceiveAvailable(2000), "");
    EXPECT_EQ(m_socket.LastErrorCode(), 0);
    m_peer.Stop();
}

TEST_F(ConnectedSocket, FilterCannotLengthenAChunk) {
    m_socket.OnReceiveFilter = [](TBlockingSocket&, std::string& data) { data += "more"; };
    Connect([](int fd) {
        SendAll(fd, "ab");
        SleepMs(100);
    });
    EXPECT_EQ(m_socket.ReceiveAvailable(2000), "ab");
}

TEST_F(ConnectedSocket, AbortEndsAWaitFromAnotherThreadAndEveryLaterOne) {
    Connect([this](int) { test::WaitUntil([this] { return m_peer.Stopping(); }, 10000); });
    std::thread aborter([this] {
        SleepMs(100);
        m_socket.Abort();
    });
    const long long ms = ElapsedMs([&] { EXPECT_FALSE(m_socket.WaitReadable(10000)); });
    aborter.join();
    EXPECT_EQ(m_socket.LastErrorCode(), kWsaEintr);
    EXPECT_LT(ms, 100 + 50);
    EXPECT_EQ(m_socket.ReceiveUntil(10000, "x"), "");
    EXPECT_EQ(m_socket.LastErrorCode(), kWsaEintr);
    m_socket.ClearAbort();
    EXPECT_FALSE(m_socket.WaitReadable(0));
    EXPECT_EQ(m_socket.LastErrorCode(), 0);
    m_peer.Stop();
}

TEST(BlockingSocket, PassedDeadlineStillMatchesPendingTextButNeverWaits) {
    TTcpSocket socket;
    socket.PendingInput = "abc>def";
    const uint32_t passed = socket.Clock().Now() - 10;
    EXPECT_EQ(socket.ReceiveUntil(60000, ">", passed), "abc");
    EXPECT_EQ(socket.LastErrorCode(), 0);
    EXPECT_EQ(socket.PendingInput, "def");
    EXPECT_EQ(socket.ReceiveUntil(60000, ">", passed), "");
    EXPECT_EQ(socket.LastErrorCode(), kWsaEtimedout);
    EXPECT_EQ(socket.PendingInput, "def");
}

TEST(BlockingSocket, InterPacketTimeoutOffSharesOneDeadline) {
    TLoopbackPeer peer;
    peer.Serve([&peer](int fd) {
        while (!peer.Stopping()) {
            SendAll(fd, "x");
            SleepMs(30);
        }
    });
    TTcpSocket socket;
    socket.ConnectTo("127.0.0.1", peer.Port());
    socket.InterPacketTimeout = false;
    const long long ms = ElapsedMs([&] { socket.ReceiveUntil(200, "never"); });
    EXPECT_EQ(socket.LastErrorCode(), kWsaEtimedout);
    EXPECT_LT(ms, 200 + 150);
    peer.Stop();
}

TEST(BlockingSocket, MaxLineLengthStopsWithNoBufferSpace) {
    TLoopbackPeer peer;
    peer.Serve([](int fd) {
        SendAll(fd, std::string(100, 'q'));
        SleepMs(100);
    });
    TTcpSocket socket;
    socket.ConnectTo("127.0.0.1", peer.Port());
    socket.MaxLineLength = 10;
    EXPECT_EQ(socket.ReceiveUntil(2000, "never"), "");
    EXPECT_EQ(socket.LastErrorCode(), kWsaEnobufs);
}

TEST(BlockingSocket, ExceptionModeRaisesWithCodeAndText) {
    TTcpSocket socket;
    socket.RaiseOnError = true;
    try {
        socket.ConnectTo("127.0.0.1", test::RefusedPort());
        FAIL() << "no exception";
    } catch (const ESocketError& error) {
        EXPECT_EQ(error.ErrorCode, kWsaEconnrefused);
        EXPECT_EQ(std::string(error.what()), "TCP/IP Socket error 10061: Connection refused");
    }
}

} // namespace
} // namespace pingvard
