// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_connection.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

using namespace std::chrono_literals;

const std::string kGet = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";

class HttpConnection : public ::testing::Test {
protected:
    HttpConnection() {
        m_limits.RequestTimeout = 5s;
        m_limits.IdleTimeout = 30s;
        m_limits.WriteTimeout = 10s;
        m_limits.LingerTimeout = 1s;
    }
    // A request answered in full, the connection kept alive.
    void Serve(THttpConnection& c, THttpClock::time_point at) {
        c.Received(kGet, at);
        ASSERT_TRUE(c.Next(at).Request);
        c.Answer("answer", false, at);
        EXPECT_FALSE(c.Sent(6, at));
    }
    THttpLimits m_limits;
    const THttpClock::time_point m_t0{};
};

// Slowloris: a byte every second never moves the deadline.
TEST_F(HttpConnection, TrickledBytesDoNotExtendTheRequestDeadline) {
    THttpConnection c(m_limits, m_t0);
    const std::string head = "GET / HTTP/1.1\r\nHost: x\r\nX-a: b\r\n";
    for (std::size_t i = 0; i < head.size() && i < 4; ++i) {
        c.Received(head.substr(i, 1), m_t0 + std::chrono::seconds(i));
        EXPECT_FALSE(c.Next(m_t0 + std::chrono::seconds(i)).Request);
    }
    EXPECT_EQ(c.Phase(), THttpPhase::Reading);
    EXPECT_EQ(c.Deadline(), m_t0 + 5s);
    EXPECT_TRUE(c.Expire(m_t0 + 5s)); // the caller answers 408
    c.Answer("408", true, m_t0 + 5s);
    EXPECT_EQ(c.Deadline(), m_t0 + 6s); // and it goes within the linger
}

TEST_F(HttpConnection, AConnectionThatNeverSpeaksGetsA408AtTheRequestDeadline) {
    THttpConnection c(m_limits, m_t0);
    EXPECT_EQ(c.Deadline(), m_t0 + 5s);
    EXPECT_TRUE(c.Expire(m_t0 + 5s));
}

TEST_F(HttpConnection, AKeptAliveConnectionIdlesThenClosesQuietly) {
    THttpConnection c(m_limits, m_t0);
    Serve(c, m_t0 + 1s);
    EXPECT_EQ(c.Phase(), THttpPhase::Waiting);
    EXPECT_EQ(c.Deadline(), m_t0 + 31s);
    EXPECT_FALSE(c.Expire(m_t0 + 31s));
    EXPECT_EQ(c.Phase(), THttpPhase::Closed);
}

TEST_F(HttpConnection, ALaterRequestIsTimedFromItsFirstByte) {
    THttpConnection c(m_limits, m_t0);
    Serve(c, m_t0);
    c.Received("GE", m_t0 + 20s);
    EXPECT_EQ(c.Phase(), THttpPhase::Reading);
    EXPECT_EQ(c.Deadline(), m_t0 + 25s);
}

TEST_F(HttpConnection, AnAnswerNotTakenWithinTheWriteTimeoutCloses) {
    THttpConnection c(m_limits, m_t0);
    c.Received(kGet, m_t0);
    ASSERT_TRUE(c.Next(m_t0).Request);
    c.Answer(std::string(1000, 'x'), false, m_t0);
    EXPECT_FALSE(c.Sent(10, m_t0 + 9s)); // progress does not buy time
    EXPECT_EQ(c.Deadline(), m_t0 + 10s);
    EXPECT_FALSE(c.Expire(m_t0 + 10s));
    EXPECT_EQ(c.Phase(), THttpPhase::Closed);
}

TEST_F(HttpConnection, ClosingAfterTheAnswerLingersUntilThePeerCloses) {
    THttpConnection c(m_limits, m_t0);
    c.Received("GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", m_t0);
    const THttpTurn turn = c.Next(m_t0);
    ASSERT_TRUE(turn.Request);
    EXPECT_TRUE(turn.Close);
    c.Answer("bye", turn.Close, m_t0);
    EXPECT_TRUE(c.Sent(3, m_t0)); // shut the sending side now
    EXPECT_EQ(c.Phase(), THttpPhase::Lingering);
    EXPECT_TRUE(c.WantsRead());
    c.PeerClosed(m_t0);
    EXPECT_EQ(c.Phase(), THttpPhase::Closed);
}

// A client that sends its request and shuts its side still gets the answer.
TEST_F(HttpConnection, AHalfClosedClientIsStillAnswered) {
    THttpConnection c(m_limits, m_t0);
    c.Received(kGet, m_t0);
    c.PeerClosed(m_t0);
    const THttpTurn turn = c.Next(m_t0);
    ASSERT_TRUE(turn.Request);
    EXPECT_TRUE(turn.Close);
}

TEST_F(HttpConnection, AnIncompleteRequestEndsWithThePeer) {
    THttpConnection c(m_limits, m_t0);
    c.Received("GET / HT", m_t0);
    c.PeerClosed(m_t0);
    EXPECT_FALSE(c.Next(m_t0).Request);
    EXPECT_EQ(c.Phase(), THttpPhase::Closed);
}

TEST_F(HttpConnection, APipelinedRequestWaitsUntilTheAnswerBeforeItIsSent) {
    THttpConnection c(m_limits, m_t0);
    c.Received(kGet + kGet, m_t0);
    ASSERT_TRUE(c.Next(m_t0).Request);
    c.Answer("one", false, m_t0);
    EXPECT_FALSE(c.Next(m_t0).Request);
    EXPECT_FALSE(c.WantsRead()); // nothing more is read meanwhile
    c.Sent(3, m_t0);
    EXPECT_TRUE(c.Next(m_t0).Request);
}

TEST_F(HttpConnection, AMalformedRequestIsRefusedAndClosed) {
    THttpConnection c(m_limits, m_t0);
    c.Received("GET / HTTP/1.1\r\n\r\n", m_t0);
    const THttpTurn turn = c.Next(m_t0);
    EXPECT_EQ(turn.RefuseStatus, 400);
    EXPECT_TRUE(turn.Close);
}

TEST_F(HttpConnection, SaysContinueBeforeTheBody) {
    THttpConnection c(m_limits, m_t0);
    c.Received("POST / HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n",
               m_t0);
    EXPECT_FALSE(c.Next(m_t0).Request);
    EXPECT_EQ(c.Output(), "HTTP/1.1 100 Continue\r\n\r\n");
    c.Sent(c.Output().size(), m_t0);
    c.Received("ok", m_t0);
    EXPECT_EQ(c.Next(m_t0).Request->Body, "ok");
}

// Who goes when the listener is full: the lingering, then the longest
// waiting for a request, and only then one that is being answered.
TEST_F(HttpConnection, RanksForEvictionByPhaseThenByWaitingTime) {
    THttpConnection answering(m_limits, m_t0);
    answering.Received(kGet, m_t0);
    answering.Next(m_t0);
    answering.Answer("x", false, m_t0);
    THttpConnection older(m_limits, m_t0 + 1s);
    THttpConnection newer(m_limits, m_t0 + 2s);
    THttpConnection kept(m_limits, m_t0);
    Serve(kept, m_t0 + 3s);
    THttpConnection lingering(m_limits, m_t0 + 4s);
    lingering.Received("GET / HTTP/1.0\r\n\r\n", m_t0 + 4s);
    lingering.Next(m_t0 + 4s);
    lingering.Answer("x", true, m_t0 + 4s);
    lingering.Sent(1, m_t0 + 4s);
    std::vector<const THttpConnection*> order{&answering, &newer, &kept, &older, &lingering};
    std::sort(order.begin(), order.end(),
              [](auto* a, auto* b) { return a->EvictionRank() < b->EvictionRank(); });
    EXPECT_EQ(order,
              (std::vector<const THttpConnection*>{&lingering, &older, &newer, &kept, &answering}));
}

} // namespace
} // namespace pingvard
