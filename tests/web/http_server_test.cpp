// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/web/http_test_client.h"
#include "web/http_server.h"

#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace pingvard {
namespace {

using namespace std::chrono_literals;
using test::BodyOf;
using test::StatusOf;
using test::THttpTestClient;
using Clock = std::chrono::steady_clock;

class HttpServer : public ::testing::Test {
protected:
    HttpServer() {
        m_limits.MaxConnections = 4;
        m_limits.RequestTimeout = 300ms;
        m_limits.IdleTimeout = 300ms;
        m_limits.LingerTimeout = 200ms;
        m_limits.MaxHeadBytes = 1024;
        m_limits.MaxBodyBytes = 64;
        m_limits.MaxResponseBytes = 100'000;
        m_limits.MaxBufferedBytes = 150'000;
    }
    void Start() {
        THttpRoutes routes;
        routes.Get("/hello", [](const THttpRequest&) { return THttpResponse::Text(200, "hi\n"); });
        routes.Get("/big", [](const THttpRequest& r) {
            return THttpResponse::Text(200, std::string(std::stoul(r.Query), 'x'));
        });
        routes.Post("/echo",
                    [](const THttpRequest& r) { return THttpResponse::Text(200, r.Body); });
        m_server = std::make_unique<THttpServer>(std::move(routes), m_limits);
        std::string error;
        ASSERT_TRUE(m_server->Start("127.0.0.1", 0, error)) << error;
        m_port = m_server->Port();
    }
    std::string Get(const std::string& path) {
        return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    }
    // Until the server has accepted that many connections (it does so on
    // its own thread).
    void WaitAccepted(uint64_t n) {
        const auto deadline = Clock::now() + 5s;
        while (m_server->Counts().Accepted < n && Clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        ASSERT_GE(m_server->Counts().Accepted, n);
    }

    THttpLimits m_limits;
    std::unique_ptr<THttpServer> m_server;
    uint16_t m_port = 0;
};

TEST_F(HttpServer, AnswersGetAndHeadOnOneKeptAliveConnection) {
    Start();
    THttpTestClient client(m_port);
    ASSERT_TRUE(client.Send(Get("/hello")));
    const std::string get = client.ReadAnswer();
    EXPECT_EQ(StatusOf(get), 200) << get;
    EXPECT_EQ(BodyOf(get), "hi\n");
    ASSERT_TRUE(client.Send("HEAD /hello HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    const std::string head = client.ReadAnswer();
    EXPECT_EQ(StatusOf(head), 200) << head;
    EXPECT_NE(head.find("Content-Length: 3\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(head), "");
    EXPECT_EQ(m_server->Counts().Accepted, 1u);
}

// The scrape gets in; the client that has waited longest is closed for it.
TEST_F(HttpServer, AFullListenerClosesTheLongestWaitingClientForANewOne) {
    Start();
    std::vector<std::unique_ptr<THttpTestClient>> idle;
    for (int i = 0; i < 4; ++i) {
        idle.push_back(std::make_unique<THttpTestClient>(m_port));
        WaitAccepted(static_cast<uint64_t>(i + 1));
    }
    const std::string answer = test::HttpGet(m_port, "/hello");
    EXPECT_EQ(StatusOf(answer), 200) << answer;
    EXPECT_TRUE(idle.front()->ClosedWithin(1s));
    EXPECT_FALSE(idle.back()->ClosedWithin(20ms));
    EXPECT_EQ(m_server->Counts().Evicted, 1u);
}

// Slowloris: a byte every 50 ms does not keep the request open past its
// deadline.
TEST_F(HttpServer, ATricklingClientIsAnswered408AtTheRequestDeadline) {
    Start();
    THttpTestClient client(m_port);
    const auto start = Clock::now();
    ASSERT_TRUE(client.Send("GET /hello HTTP/1.1\r\n"));
    std::string answer;
    for (int i = 0; i < 40 && answer.empty(); ++i) {
        client.Send("X");
        answer = client.ReadAnswer(50ms);
    }
    const auto took = Clock::now() - start;
    EXPECT_EQ(StatusOf(answer), 408) << answer;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 1500ms);
    EXPECT_TRUE(client.ClosedWithin(1s));
}

TEST_F(HttpServer, AnIdleKeptAliveConnectionIsClosedAfterTheIdleTimeout) {
    Start();
    THttpTestClient client(m_port);
    ASSERT_TRUE(client.Send(Get("/hello")));
    ASSERT_EQ(StatusOf(client.ReadAnswer()), 200);
    const auto start = Clock::now();
    EXPECT_TRUE(client.ClosedWithin(2s));
    EXPECT_GE(Clock::now() - start, 250ms);
}

struct TRefusal {
    const char* Name;
    std::string Bytes;
    int Status;
    bool Closes;
};

class HttpServerRefusals : public HttpServer, public ::testing::WithParamInterface<TRefusal> {};

TEST_P(HttpServerRefusals, AnswersWithTheStatusAndClosesWhenTheRequestCannotGoOn) {
    Start();
    const TRefusal& c = GetParam();
    THttpTestClient client(m_port);
    ASSERT_TRUE(client.Send(c.Bytes));
    const std::string answer = client.ReadAnswer();
    EXPECT_EQ(StatusOf(answer), c.Status) << answer;
    EXPECT_EQ(client.ClosedWithin(c.Closes ? 1000ms : 100ms), c.Closes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpServerRefusals,
    ::testing::Values(
        TRefusal{"unknown_path", "GET /nothing HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, false},
        TRefusal{"wrong_method", "POST /hello HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 405, false},
        TRefusal{"head_too_large",
                 "GET /hello HTTP/1.1\r\nHost: 127.0.0.1\r\nX: " + std::string(2000, 'a') +
                     "\r\n\r\n",
                 431, true},
        TRefusal{"body_too_large",
                 "POST /echo HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 65\r\n\r\n", 413, true},
        TRefusal{"foreign_host", "GET /hello HTTP/1.1\r\nHost: rebound.example:80\r\n\r\n", 421,
                 false},
        TRefusal{"asked_to_close",
                 "GET /hello HTTP/1.1\r\nHost: localhost:9770\r\nConnection: close\r\n\r\n", 200,
                 true},
        TRefusal{"response_too_large", "GET /big?100001 HTTP/1.1\r\nHost: [::1]\r\n\r\n", 500,
                 false}),
    [](const auto& p) { return std::string(p.param.Name); });

// Answers waiting to be sent are bounded over all connections: past the
// bound a short 503 goes instead.
TEST_F(HttpServer, AnAnswerPastTheBufferBoundIsABusyRefusal) {
    m_limits.MaxBufferedBytes = 1000;
    Start();
    EXPECT_EQ(StatusOf(test::HttpGet(m_port, "/big?500")), 200);
    const std::string answer = test::HttpGet(m_port, "/big?2000");
    EXPECT_EQ(StatusOf(answer), 503) << answer;
    EXPECT_NE(answer.find("Retry-After: 1\r\n"), std::string::npos);
}

TEST_F(HttpServer, ABurstOfVanishingConnectsLeavesNothingOpen) {
    Start();
    for (int i = 0; i < 300; ++i) {
        THttpTestClient gone(m_port);
    }
    EXPECT_EQ(StatusOf(test::HttpGet(m_port, "/hello")), 200);
    const auto deadline = Clock::now() + 5s;
    while ((m_server->Counts().Accepted < 301 || m_server->Counts().Open > 0) &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(m_server->Counts().Open, 0u);
}

TEST_F(HttpServer, StopsAtOnceWhateverTheClientsDo) {
    Start();
    THttpTestClient idle(m_port);
    THttpTestClient trickling(m_port);
    trickling.Send("GET /hello HTTP/1.1\r\nHo");
    THttpTestClient hoarder(m_port);
    hoarder.Send(Get("/big?100000"));
    WaitAccepted(3);
    const auto start = Clock::now();
    m_server->Stop();
    EXPECT_LT(Clock::now() - start, 200ms);
    EXPECT_EQ(m_server->Port(), 0);
    EXPECT_TRUE(idle.ClosedWithin(1s));
    EXPECT_FALSE(THttpTestClient(m_port).Connected());
}

TEST_F(HttpServer, NamesAnAddressItCannotUse) {
    Start();
    THttpServer second(THttpRoutes{});
    std::string error;
    EXPECT_FALSE(second.Start("127.0.0.1", m_port, error));
    EXPECT_EQ(error,
              "cannot listen on 127.0.0.1:" + std::to_string(m_port) + " (Address already in use)");
    EXPECT_FALSE(second.Start("localhost", 9770, error));
    EXPECT_EQ(error, "cannot listen on localhost:9770 (not a numeric IPv4 or IPv6 address)");
    EXPECT_EQ(second.Port(), 0);
}

} // namespace
} // namespace pingvard
