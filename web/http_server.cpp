// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_server.h"

#include "web/listen_socket.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pingvard {

namespace {

using namespace std::chrono_literals;

// One read per connection and pass keeps every client's turn short.
constexpr std::size_t kReadChunk = 16 * 1024;
// Accepts per pass: a burst is drained in a few passes, with the clients'
// reads and deadlines looked at in between.
constexpr int kAcceptsPerPass = 256;
// Out of descriptors with nothing to close: try again after this.
constexpr auto kAcceptPause = 100ms;
constexpr auto kLongestWait = 60s;

} // namespace

struct THttpServer::TClient {
    TClient(int fd_, const THttpLimits& limits, THttpClock::time_point now)
        : Fd(fd_), Connection(limits, now) {}
    ~TClient() {
        if (Abort) {
            // A reset frees the kernel's buffers at once and leaves no
            // TIME_WAIT behind: for clients closed at a limit.
            const linger reset{1, 0};
            ::setsockopt(Fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
        ::close(Fd); // not retried on EINTR: the descriptor may be reused
    }
    TClient(const TClient&) = delete;
    TClient& operator=(const TClient&) = delete;

    const int Fd;
    THttpConnection Connection;
    bool Abort = false; // close with a reset
};

THttpServer::THttpServer(THttpRoutes routes, THttpLimits limits)
    : m_routes(std::move(routes)), m_limits(limits) {}

THttpServer::~THttpServer() {
    Stop();
}

bool THttpServer::Start(const std::string& address, uint16_t port, std::string& error) {
    Stop();
    std::string why;
    m_listenFd = OpenListenSocket(address, port, why);
    if (m_listenFd < 0) {
        error = "cannot listen on " + EndpointText(address, port) + " (" + why + ")";
        return false;
    }
    m_port = LocalPort(m_listenFd);
    m_loopbackHostsOnly = IsLoopbackAddress(address);
    m_stop.Clear();
    m_thread = std::thread([this] { Run(); });
    return true;
}

void THttpServer::Stop() noexcept {
    if (m_thread.joinable()) {
        m_stop.Raise();
        m_thread.join();
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
    }
    m_port = 0;
}

THttpServerCounts THttpServer::Counts() const noexcept {
    return {m_accepted.load(), m_answered.load(), m_evicted.load(), m_timedOut.load(),
            m_open.load()};
}

void THttpServer::Run() {
    std::vector<pollfd> fds;
    while (!m_stop.Raised()) {
        auto now = THttpClock::now();
        const bool accepting = now >= m_acceptPausedUntil;
        fds.assign({{m_stop.WaitFd(), POLLIN, 0}, {accepting ? m_listenFd : -1, POLLIN, 0}});
        auto wake = accepting ? now + kLongestWait : m_acceptPausedUntil;
        for (const auto& client : m_clients) {
            const THttpConnection& c = client->Connection;
            const auto events =
                static_cast<short>((c.WantsRead() ? POLLIN : 0) | (c.WantsWrite() ? POLLOUT : 0));
            fds.push_back({client->Fd, events, 0});
            wake = std::min(wake, c.Deadline());
        }
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
        if (::poll(fds.data(), fds.size(), static_cast<int>(std::max<int64_t>(waitMs, 0))) < 0) {
            if (errno != EINTR && errno != ENOMEM) {
                break; // EFAULT or EINVAL: nothing a retry would mend
            }
            if (errno == ENOMEM) {
                std::this_thread::sleep_for(kAcceptPause / 10); // the kernel's, for a moment
            }
            continue;
        }
        if (m_stop.Raised()) {
            break;
        }
        now = THttpClock::now();
        // The clients polled are the first ones of the list: Accept appends.
        const std::size_t polled = fds.size() - 2;
        for (std::size_t i = 0; i < polled; ++i) {
            if (fds[i + 2].revents != 0) {
                Handle(*m_clients[i], fds[i + 2].revents, now);
            }
        }
        Sweep();
        if (fds[1].revents != 0) {
            Accept(now);
        }
        Expire(now);
        Sweep();
    }
    m_clients.clear();
    m_open = 0;
}

void THttpServer::Accept(THttpClock::time_point now) {
    for (int i = 0; i < kAcceptsPerPass; ++i) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The listening socket stays readable: without a pause the
                // loop would spin until a descriptor is free.
                if (m_clients.empty()) {
                    m_acceptPausedUntil = now + kAcceptPause;
                    return;
                }
                EvictOne();
                continue;
            }
            return; // EAGAIN: drained
        }
        ++m_accepted;
        if (m_clients.size() >= m_limits.MaxConnections) {
            EvictOne();
        }
        m_clients.push_back(std::make_unique<TClient>(fd, m_limits, now));
        // Its request is often here already: take it before the rest of a
        // burst can push the connection out. A client of a burst that has
        // gone already leaves at once.
        Handle(*m_clients.back(), POLLIN, now);
        if (m_clients.back()->Connection.Phase() == THttpPhase::Closed) {
            m_clients.pop_back();
        }
        m_open = m_clients.size();
    }
}

void THttpServer::Handle(TClient& client, short revents, THttpClock::time_point now) {
    if (revents & (POLLERR | POLLNVAL)) {
        client.Abort = true;
        client.Connection.Close(now);
        return;
    }
    if ((revents & (POLLIN | POLLHUP)) && client.Connection.WantsRead()) {
        Read(client, now);
    }
    Serve(client, now);
    if (client.Connection.WantsWrite()) {
        Write(client, now);
    }
}

void THttpServer::Read(TClient& client, THttpClock::time_point now) {
    char buffer[kReadChunk];
    const ssize_t n = ::recv(client.Fd, buffer, sizeof buffer, 0);
    if (n > 0) {
        client.Connection.Received(std::string_view(buffer, static_cast<std::size_t>(n)), now);
    } else if (n == 0) {
        client.Connection.PeerClosed(now);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        client.Abort = true; // ECONNRESET and the like: nothing more will come
        client.Connection.PeerClosed(now);
    }
}

void THttpServer::Write(TClient& client, THttpClock::time_point now) {
    while (client.Connection.WantsWrite()) {
        const std::string_view out = client.Connection.Output();
        const ssize_t n = ::send(client.Fd, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            if (client.Connection.Sent(static_cast<std::size_t>(n), now)) {
                ::shutdown(client.Fd, SHUT_WR);
            }
            // A kept-alive connection may hold the next request already.
            Serve(client, now);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            client.Abort = true; // EPIPE, ECONNRESET: the client has gone
            client.Connection.Close(now);
            return;
        }
    }
}

void THttpServer::Serve(TClient& client, THttpClock::time_point now) {
    THttpTurn turn = client.Connection.Next(now);
    if (!turn.Request && turn.RefuseStatus == 0) {
        return;
    }
    const bool headOnly = turn.Request && turn.Request->Method == "HEAD";
    const THttpResponse response =
        turn.Request ? Respond(*turn.Request) : THttpResponse::Error(turn.RefuseStatus);
    bool close = turn.Close;
    std::string bytes =
        SerializeResponse(response, headOnly, close, std::chrono::system_clock::now());
    // Past the bound of waiting answers a short 503 goes instead: memory stays
    // bounded whatever the clients leave unread.
    if (Buffered() + bytes.size() > m_limits.MaxBufferedBytes) {
        THttpResponse busy = THttpResponse::Error(503);
        busy.Headers.emplace_back("Retry-After", "1");
        close = true;
        bytes = SerializeResponse(busy, false, close, std::chrono::system_clock::now());
    }
    client.Connection.Answer(std::move(bytes), close, now);
    ++m_answered;
}

THttpResponse THttpServer::Respond(const THttpRequest& request) const {
    if (m_loopbackHostsOnly) {
        const auto host = request.Header("host");
        if (host && !IsLoopbackHost(*host)) {
            return THttpResponse::Error(421);
        }
    }
    THttpResponse response = m_routes.Dispatch(request);
    if (response.Body.size() > m_limits.MaxResponseBytes) {
        return THttpResponse::Error(500);
    }
    return response;
}

std::size_t THttpServer::Buffered() const noexcept {
    std::size_t buffered = 0;
    for (const auto& client : m_clients) {
        buffered += client->Connection.Output().size();
    }
    return buffered;
}

void THttpServer::Expire(THttpClock::time_point now) {
    for (const auto& client : m_clients) {
        THttpConnection& c = client->Connection;
        if (c.Phase() == THttpPhase::Closed || c.Deadline() > now) {
            continue;
        }
        ++m_timedOut;
        // An idle kept-alive connection and one whose answer has gone end
        // with a FIN, as clients expect; the others with a reset.
        const bool polite = c.Phase() == THttpPhase::Waiting || c.Phase() == THttpPhase::Lingering;
        if (c.Expire(now)) {
            c.Answer(SerializeResponse(THttpResponse::Error(408), false, true,
                                       std::chrono::system_clock::now()),
                     true, now);
            Write(*client, now);
        } else {
            client->Abort = !polite;
        }
    }
}

void THttpServer::EvictOne() {
    if (m_clients.empty()) {
        return;
    }
    const auto victim =
        std::min_element(m_clients.begin(), m_clients.end(), [](const auto& a, const auto& b) {
            return a->Connection.EvictionRank() < b->Connection.EvictionRank();
        });
    (*victim)->Abort = true;
    m_clients.erase(victim);
    ++m_evicted;
    m_open = m_clients.size();
}

void THttpServer::Sweep() {
    std::erase_if(m_clients, [](const auto& client) {
        return client->Connection.Phase() == THttpPhase::Closed;
    });
    m_open = m_clients.size();
}

} // namespace pingvard
