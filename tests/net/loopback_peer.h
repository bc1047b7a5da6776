// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A TCP peer on loopback for live socket tests: listens on 127.0.0.1 (or ::1)
// at a free port and runs a script on the accepted connection on a thread of
// its own, which the destructor joins.

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pingvard::test {

class TLoopbackPeer {
public:
    explicit TLoopbackPeer(bool ipv6 = false, int backlog = 8) {
        m_listener = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (ipv6) {
            auto& address = reinterpret_cast<sockaddr_in6&>(storage);
            address.sin6_family = AF_INET6;
            address.sin6_addr = in6addr_loopback;
            length = sizeof address;
        } else {
            auto& address = reinterpret_cast<sockaddr_in&>(storage);
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof address;
        }
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&storage), length);
        ::listen(m_listener, backlog);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&storage), &length);
        m_port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(storage).sin6_port
                            : reinterpret_cast<sockaddr_in&>(storage).sin_port);
    }

    ~TLoopbackPeer() {
        Stop();
        Join();
        ::close(m_listener);
    }

    std::string Port() const { return std::to_string(m_port); }
    int ListenerFd() const { return m_listener; }

    // Accepts one connection and runs script on it; the connection is closed
    // when the script returns.
    void Serve(std::function<void(int fd)> script) {
        m_thread = std::thread([this, script = std::move(script)] {
            pollfd pfd{m_listener, POLLIN, 0};
            while (!m_stop.load() && ::poll(&pfd, 1, 20) == 0) {
            }
            if (m_stop.load()) {
                return;
            }
            const int fd = ::accept(m_listener, nullptr, nullptr);
            if (fd >= 0) {
                script(fd);
                ::close(fd);
            }
        });
    }

    // Scripts that wait for the test watch this flag.
    void Stop() { m_stop.store(true); }
    bool Stopping() const { return m_stop.load(); }

    void Join() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

inline void SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

// Reads until the peer has been quiet for quietMs (or closed); returns the bytes.
inline std::string ReadUntilQuiet(int fd, int quietMs) {
    std::string bytes;
    char buffer[4096];
    pollfd pfd{fd, POLLIN, 0};
    while (::poll(&pfd, 1, quietMs) > 0) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

// Waits (polling every 10 ms) until the flag is set or ms have passed.
inline void WaitUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A loopback port where nothing listens: bound, then closed again.
inline std::string RefusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return std::to_string(ntohs(address.sin_port));
}

// Milliseconds a callable takes.
template <typename F> long long ElapsedMs(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

} // namespace pingvard::test
