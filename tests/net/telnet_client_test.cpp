// SPDX-License-Identifier: GPL-3.0-or-later
#include "hex.h"
#include "loopback_peer.h"
#include "net/telnet/telnet_client.h"

#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace pingvard {
namespace {

using test::ElapsedMs;
using test::FromHex;
using test::SendAll;
using test::SleepMs;
using test::TLoopbackPeer;
using test::ToHex;

class TelnetSession : public testing::Test {
protected:
    // Starts the peer's script and opens a session to it.
    void Open(std::function<void(int)> script, int32_t timeoutMs = 2000) {
        m_peer.Serve(std::move(script));
        m_client.RemotePort = m_peer.Port();
        m_client.Timeout = timeoutMs;
        m_client.TcpSocket.OnSendFilter = [this](TBlockingSocket&, std::string& data) {
            std::lock_guard lock(m_mutex);
            m_writes.push_back(ToHex(data));
        };
        ASSERT_TRUE(m_client.OpenSession());
    }
    // The peer holds the connection open until the test ends.
    void HoldOpen(int) {
        test::WaitUntil([this] { return m_peer.Stopping(); }, 10000);
    }
    std::vector<std::string> Writes() {
        std::lock_guard lock(m_mutex);
        return m_writes;
    }
    void TearDown() override { m_peer.Stop(); }

    TLoopbackPeer m_peer;
    TTelnetClient m_client;
    std::mutex m_mutex;
    std::vector<std::string> m_writes;
};

TEST(TelnetClient, StartsWithTheDesignDefaults) {
    TTelnetClient client;
    EXPECT_EQ(client.Timeout, 60000);
    EXPECT_EQ(client.RemotePort, "telnet");
    EXPECT_EQ(client.RemoteHost, "127.0.0.1");
    EXPECT_EQ(client.TerminalType, "PINGVARD");
}

TEST(TelnetClient, RefusedPortFailsWith10061) {
    TTelnetClient client;
    client.RemotePort = test::RefusedPort();
    EXPECT_FALSE(client.OpenSession());
    EXPECT_EQ(client.TcpSocket.LastErrorCode(), kWsaEconnrefused);
}

TEST_F(TelnetSession, AnswersFourOffersWithFourWritesAndSendsNothingElse) {
    std::string received;
    Open([&](int fd) {
        SendAll(fd, FromHex("ff fb 01 ff fb 03 ff fd 18 ff fd 1f") + "login:");
        received = test::ReadUntilQuiet(fd, 300);
    });
    EXPECT_EQ(m_client.ReadUntil("login:"), "");
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), 0);
    m_peer.Join();
    const std::vector<std::string> expected = {"ff fe 01", "ff fd 03", "ff fb 18", "ff fc 1f"};
    EXPECT_EQ(Writes(), expected);
    EXPECT_EQ(ToHex(received), "ff fe 01 ff fd 03 ff fb 18 ff fc 1f");
}

TEST_F(TelnetSession, AnswersTerminalTypeRequestWithFourteenBytes) {
    std::string received;
    Open([&](int fd) {
        SendAll(fd, FromHex("ff fa 18 01 ff f0") + "$ ");
        received = test::ReadUntilQuiet(fd, 300);
    });
    EXPECT_EQ(m_client.ReadUntil("$ "), "");
    m_peer.Join();
    EXPECT_EQ(ToHex(received), "ff fa 18 00 50 49 4e 47 56 41 52 44 ff f0");
}

TEST_F(TelnetSession, FindsAPromptSplitOverTwoChunks) {
    Open([this](int fd) {
        SendAll(fd, "Welcome\r\nComm");
        SleepMs(50);
        SendAll(fd, "and>");
        HoldOpen(fd);
    });
    EXPECT_EQ(m_client.ReadUntil("Command>"), "Welcome\r\n");
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), 0);
}

TEST_F(TelnetSession, SecondPromptOfOneChunkIsFoundInPendingData) {
    Open([this](int fd) {
        SendAll(fd, "xpassword:yCommand>");
        HoldOpen(fd);
    });
    EXPECT_EQ(m_client.ReadUntil("password:"), "x");
    const long long ms = ElapsedMs([&] { EXPECT_EQ(m_client.ReadUntil("Command>"), "y"); });
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), 0);
    EXPECT_LT(ms, 1000);
}

TEST_F(TelnetSession, PromptWithNothingBeforeItIsAMatch) {
    Open([this](int fd) {
        SendAll(fd, "password:");
        HoldOpen(fd);
    });
    EXPECT_EQ(m_client.ReadUntil("password:"), "");
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), 0);
}

TEST_F(TelnetSession, MatchIsCaseSensitive) {
    Open(
        [this](int fd) {
            SendAll(fd, "command>");
            HoldOpen(fd);
        },
        200);
    EXPECT_EQ(m_client.ReadUntil("Command>"), "");
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), kWsaEtimedout);
    EXPECT_EQ(m_client.TcpSocket.PendingInput, "command>");
}

TEST_F(TelnetSession, SilentPeerTimesOutWith10060AfterTimeout) {
    Open([this](int fd) { HoldOpen(fd); }, 300);
    const long long ms = ElapsedMs([&] { EXPECT_EQ(m_client.ReadUntil("password:"), ""); });
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), kWsaEtimedout);
    EXPECT_GE(ms, 290);
    EXPECT_LT(ms, 300 + 500);
}

TEST_F(TelnetSession, ClosedPeerReturns10054AtOnceAgainAndAgain) {
    Open([](int fd) { SendAll(fd, "abc"); }, 5000);
    m_peer.Join();
    const long long ms = ElapsedMs([&] {
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(m_client.ReadUntil("password:"), "");
            EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), kWsaEconnreset);
        }
    });
    EXPECT_LT(ms, 1000);
    // A terminator already in the pending data is still found.
    EXPECT_EQ(m_client.ReadUntil("c"), "ab");
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), 0);
}

TEST_F(TelnetSession, SendEscapedDoublesIacAndAddsNothing) {
    std::string received;
    Open([&](int fd) { received = test::ReadUntilQuiet(fd, 300); });
    m_client.SendEscaped("y\r\n");
    m_client.SendEscaped(std::string("a\xff\xff", 3));
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), 0);
    m_peer.Join();
    EXPECT_EQ(ToHex(received), "79 0d 0a 61 ff ff ff ff");
    const std::vector<std::string> expected = {"79 0d 0a", "61 ff ff ff ff"};
    EXPECT_EQ(Writes(), expected);
}

TEST_F(TelnetSession, ReadUntilDeadlineStopsATricklingPeer) {
    Open(
        [this](int fd) {
            while (!m_peer.Stopping()) {
                SendAll(fd, ".");
                SleepMs(20);
            }
        },
        1000);
    const uint32_t deadline = GetTickCount() + 200;
    const long long ms = ElapsedMs([&] { EXPECT_EQ(m_client.ReadUntil("#", deadline), ""); });
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), kWsaEtimedout);
    EXPECT_LT(ms, 200 + 200);
    EXPECT_NE(m_client.TcpSocket.PendingInput.find('.'), std::string::npos);
}

TEST_F(TelnetSession, AbortEndsABlockedReadUntilWithin50Ms) {
    Open([this](int fd) { HoldOpen(fd); }, 60000);
    std::chrono::steady_clock::time_point abortedAt;
    std::thread aborter([&] {
        SleepMs(100);
        abortedAt = std::chrono::steady_clock::now();
        m_client.Abort();
    });
    EXPECT_EQ(m_client.ReadUntil("password:"), "");
    const auto returnedAt = std::chrono::steady_clock::now();
    aborter.join();
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), kWsaEintr);
    EXPECT_LT(returnedAt - abortedAt, std::chrono::milliseconds(50));
}

TEST_F(TelnetSession, CloseSessionClosesInAnOrderlyWay) {
    ssize_t peerRead = -2;
    Open([&](int fd) {
        SendAll(fd, FromHex("ff fd 18") + "unread text");
        SleepMs(50);
        char byte[16];
        peerRead = ::recv(fd, byte, sizeof byte, 0);
        if (peerRead == 3) { // the WILL reply sent while draining, if any
            peerRead = ::recv(fd, byte, sizeof byte, 0);
        }
    });
    SleepMs(100);
    m_client.CloseSession();
    EXPECT_EQ(m_client.TcpSocket.SocketHandle(), -1);
    m_peer.Join();
    EXPECT_EQ(peerRead, 0);
}

TEST_F(TelnetSession, FailedNegotiationReplyEndsReadUntilWithTheDataPending) {
    Open([this](int fd) {
        SendAll(fd, "ab" + FromHex("ff fd 18") + "cd");
        HoldOpen(fd);
    });
    ::shutdown(m_client.TcpSocket.SocketHandle(), SHUT_WR); // the reply cannot go out
    SleepMs(50);
    EXPECT_EQ(m_client.ReadUntil("prompt>"), "");
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), kWsaEshutdown);
    EXPECT_EQ(m_client.TcpSocket.PendingInput, "abcd");
}

TEST_F(TelnetSession, CloseSessionEndsAgainstAPeerThatNeverStopsSending) {
    Open([this](int fd) {
        std::string nops;
        for (int i = 0; i < 512; ++i) {
            nops += FromHex("ff f1");
        }
        while (!m_peer.Stopping() && ::send(fd, nops.data(), nops.size(), MSG_NOSIGNAL) > 0) {
        }
    });
    SleepMs(50);
    const long long ms = ElapsedMs([&] { m_client.CloseSession(); });
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(m_client.TcpSocket.SocketHandle(), -1);
}

TEST_F(TelnetSession, SendToAPeerThatStopsReadingEndsAtTheDeadline) {
    const int small = 64 << 10; // fixed, so that autotuning cannot absorb the answer
    ::setsockopt(m_peer.ListenerFd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    Open([this](int fd) { HoldOpen(fd); });
    m_client.TcpSocket.OnSendFilter = nullptr; // no copy of the large answer
    const std::string answer(16 << 20, 'x');   // more than both buffers hold
    m_client.TcpSocket.SendDeadlineTick = GetTickCount() + 300;
    const long long ms = ElapsedMs([&] { m_client.TcpSocket.SendText(answer); });
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), kWsaEtimedout);
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 300 + 700);
}

TEST_F(TelnetSession, ReadRemainingEndsWhenThePeerFallsQuiet) {
    Open([this](int fd) {
        SendAll(fd, "y\r\n" + FromHex("ff fd 18"));
        SleepMs(100);
        SendAll(fd, "bye");
        HoldOpen(fd);
    });
    const long long ms = ElapsedMs(
        [&] { EXPECT_EQ(m_client.ReadRemaining(300, GetTickCount() + 5000), "y\r\nbye"); });
    EXPECT_EQ(m_client.TcpSocket.LastErrorCode(), kWsaEtimedout);
    EXPECT_GE(ms, 100 + 250);
    EXPECT_LT(ms, 100 + 300 + 500);
    EXPECT_EQ(Writes(), std::vector<std::string>{"ff fb 18"}); // negotiation still answered
}

TEST_F(TelnetSession, ReadRemainingEndsAtTheDeadlineAgainstAChatteringPeer) {
    Open([this](int fd) {
        while (!m_peer.Stopping()) {
            SendAll(fd, "log line\r\n");
            SleepMs(20);
        }
    });
    m_client.TcpSocket.MaxPendingInput = 40;
    std::string said;
    const long long ms =
        ElapsedMs([&] { said = m_client.ReadRemaining(300, GetTickCount() + 400); });
    EXPECT_GE(ms, 350);
    EXPECT_LT(ms, 400 + 500);
    EXPECT_EQ(said.size(), 40U); // the first bytes, no more
    EXPECT_EQ(said.substr(0, 10), "log line\r\n");
}

// The accept queue of a listener with backlog 0 fills after one connection;
// later SYNs are dropped, so a connect hangs until the OS gives up.
TEST(TelnetClient, AbortEndsABlockedConnectWithin50Ms) {
    TLoopbackPeer listener(false, 0);
    std::vector<std::unique_ptr<TTcpSocket>> fillers;
    bool hangs = false;
    for (int i = 0; i < 8 && !hangs; ++i) {
        auto filler = std::make_unique<TTcpSocket>();
        std::thread aborter([&] {
            SleepMs(200);
            filler->Abort();
        });
        filler->ConnectTo("127.0.0.1", listener.Port());
        aborter.join();
        hangs = filler->LastErrorCode() == kWsaEintr;
        fillers.push_back(std::move(filler));
    }
    if (!hangs) {
        GTEST_SKIP() << "the loopback listener never refused to queue a connection";
    }
    TTelnetClient client;
    client.RemotePort = listener.Port();
    std::chrono::steady_clock::time_point abortedAt;
    std::thread aborter([&] {
        SleepMs(100);
        abortedAt = std::chrono::steady_clock::now();
        client.Abort();
    });
    EXPECT_FALSE(client.OpenSession());
    const auto returnedAt = std::chrono::steady_clock::now();
    aborter.join();
    EXPECT_EQ(client.TcpSocket.LastErrorCode(), kWsaEintr);
    EXPECT_LT(returnedAt - abortedAt, std::chrono::milliseconds(50));
}

} // namespace
} // namespace pingvard
