// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small HTTP/1.1 server on one thread: one listening socket, non-blocking
// connections in one poll() loop, the routes' handlers run on that thread.
// Every client is bounded (web/http_limits.h): a connection that sends
// nothing, trickles its head or never reads its answer costs one slot for a
// few seconds at most, and when the slots are full a new connection closes the
// one that has waited longest, so a scrape always gets in. Stop() wakes the
// loop through a pipe and returns as soon as it has ended.
//
//     THttpRoutes routes;
//     routes.Get("/metrics", handler);
//     THttpServer server(std::move(routes));
//     if (!server.Start("127.0.0.1", 9770, error)) { ... }
//     ...
//     server.Stop();

#include "net/abort_signal.h"
#include "web/http_connection.h"
#include "web/http_limits.h"
#include "web/http_routes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {

// What the listener has done since it started (tests, diagnostics).
struct THttpServerCounts {
    uint64_t Accepted = 0;
    uint64_t Answered = 0;
    uint64_t Evicted = 0;  // closed to make room for a new connection
    uint64_t TimedOut = 0; // closed (or answered 408) at a deadline
    std::size_t Open = 0;
};

class THttpServer {
public:
    explicit THttpServer(THttpRoutes routes, THttpLimits limits = {});
    ~THttpServer(); // Stop()
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    // Listens on address:port (numeric; port 0 takes a free one) and starts
    // the thread. False, with error "cannot listen on A:P (why)", when the
    // address cannot be used.
    bool Start(const std::string& address, uint16_t port, std::string& error);
    // Ends the thread and closes every connection; at once, whatever clients do.
    void Stop() noexcept;
    uint16_t Port() const noexcept { return m_port; } // 0 when not listening
    THttpServerCounts Counts() const noexcept;

private:
    struct TClient;

    void Run();
    void Accept(THttpClock::time_point now);
    void Handle(TClient& client, short revents, THttpClock::time_point now);
    void Read(TClient& client, THttpClock::time_point now);
    void Write(TClient& client, THttpClock::time_point now);
    void Serve(TClient& client, THttpClock::time_point now);
    THttpResponse Respond(const THttpRequest& request) const;
    std::size_t Buffered() const noexcept; // answers waiting, over every connection
    void Expire(THttpClock::time_point now);
    void EvictOne();
    void Sweep();

    const THttpRoutes m_routes;
    const THttpLimits m_limits;
    TAbortSignal m_stop;
    int m_listenFd = -1;
    uint16_t m_port = 0;
    bool m_loopbackHostsOnly = false;
    THttpClock::time_point m_acceptPausedUntil{};
    std::vector<std::unique_ptr<TClient>> m_clients; // the loop's thread only
    std::atomic<uint64_t> m_accepted{0}, m_answered{0}, m_evicted{0}, m_timedOut{0};
    std::atomic<std::size_t> m_open{0};
    std::thread m_thread;
};

} // namespace pingvard
