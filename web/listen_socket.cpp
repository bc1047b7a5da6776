// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/listen_socket.h"

#include "web/http_text.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pingvard {

namespace {

struct TSockAddr {
    sockaddr_storage Storage{};
    socklen_t Length = 0;
};

bool ToSockAddr(const std::string& address, uint16_t port, TSockAddr& out) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&out.Storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&out.Storage);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        out.Length = sizeof *v4;
        return true;
    }
    if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        out.Length = sizeof *v6;
        return true;
    }
    return false;
}

} // namespace

std::string EndpointText(const std::string& address, uint16_t port) {
    const bool v6 = address.find(':') != std::string::npos;
    return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

int OpenListenSocket(const std::string& address, uint16_t port, std::string& error) {
    TSockAddr where;
    if (!ToSockAddr(address, port, where)) {
        error = "not a numeric IPv4 or IPv6 address";
        return -1;
    }
    const int fd = ::socket(where.Storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    // A restart binds again at once, past the previous run's TIME_WAIT
    // connections; a port another program listens on stays refused.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&where.Storage), where.Length) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

uint16_t LocalPort(int fd) noexcept {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        return 0;
    }
    if (storage.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

bool IsLoopbackAddress(const std::string& address) noexcept {
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    return ::inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool IsLoopbackHost(std::string_view host) noexcept {
    std::string_view name = host;
    if (!name.empty() && name.front() == '[') {
        const std::size_t close = name.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        name = name.substr(1, close - 1);
    } else if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) {
        name = name.substr(0, colon);
    }
    if (!name.empty() && name.back() == '.') {
        name.remove_suffix(1); // "localhost." is the same name
    }
    return EqualsNoCase(name, "localhost") || IsLoopbackAddress(std::string(name));
}

} // namespace pingvard
