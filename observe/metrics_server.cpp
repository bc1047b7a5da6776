// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/metrics_server.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <prometheus/exposer.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pingvard {

TMetricsServer::TMetricsServer() = default;
TMetricsServer::~TMetricsServer() {
    Stop();
}

bool TMetricsServer::Start(const std::string& address, uint16_t port,
                           const TMetricsRegistry& registry, std::string& error) {
    Stop();
    const bool v6 = address.find(':') != std::string::npos;
    const std::string where = (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
    try {
        // One worker thread: a scrape every few seconds needs no more.
        m_exposer = std::make_unique<prometheus::Exposer>(where, 1);
    } catch (const std::exception& e) {
        error = "Metrics not served: cannot listen on " + where + " (" + e.what() + ")";
        return false;
    }
    m_address = address;
    m_registry = registry.Registry();
    m_exposer->RegisterCollectable(m_registry);
    return true;
}

namespace {

// The listener's thread looks at its stop flag only between waits of up to 2 s
// for a connection; connecting to it ends the wait, so the exit is not held up.
// The address is this machine's own listening address, so nothing leaves it.
void Knock(const std::string& address, uint16_t port) noexcept {
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        if (v4->sin_addr.s_addr == htonl(INADDR_ANY)) {
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        }
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        if (IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr)) {
            v6->sin6_addr = in6addr_loopback;
        }
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    } else {
        return;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        ::connect(fd, reinterpret_cast<sockaddr*>(&storage), length);
        ::close(fd);
    }
}

} // namespace

void TMetricsServer::Stop() noexcept {
    if (m_exposer) {
        const uint16_t port = Port();
        std::atomic<bool> stopped{false};
        std::thread knocker([&] {
            while (!stopped) {
                Knock(m_address, port);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        m_exposer.reset(); // joins the listener's threads
        stopped = true;
        knocker.join();
    }
    m_registry.reset();
}

uint16_t TMetricsServer::Port() const {
    if (!m_exposer) {
        return 0;
    }
    const std::vector<int> ports = m_exposer->GetListeningPorts();
    return ports.empty() ? 0 : static_cast<uint16_t>(ports.front());
}

} // namespace pingvard
