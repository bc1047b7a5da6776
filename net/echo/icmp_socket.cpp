// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/echo/icmp_socket.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

namespace pingvard {
namespace {

bool IsPermissionError(int err) {
    return err == EPERM || err == EACCES;
}

} // namespace

TIcmpSocket::~TIcmpSocket() = default;

int TIcmpSocket::SocketType() const {
    return m_datagram ? static_cast<int>(SOCK_DGRAM) : static_cast<int>(SOCK_RAW);
}

int TIcmpSocket::SocketProtocol() const {
    return UsesIPv6() ? static_cast<int>(IPPROTO_ICMPV6) : static_cast<int>(IPPROTO_ICMP);
}

int TIcmpSocket::CreateOsSocket(int family) {
    const int protocol =
        family == AF_INET6 ? static_cast<int>(IPPROTO_ICMPV6) : static_cast<int>(IPPROTO_ICMP);
    m_accessDenied = false;
    m_datagram = false;
    int err = 0;
    if (Mode != TMode::DatagramOnly) {
        const int fd = ::socket(family, SOCK_RAW, protocol);
        if (fd >= 0) {
            return fd;
        }
        err = errno;
        if (Mode == TMode::RawOnly || !IsPermissionError(err)) {
            m_accessDenied = IsPermissionError(err);
            errno = err;
            return -1;
        }
    }
    const int fd = ::socket(family, SOCK_DGRAM, protocol);
    if (fd >= 0) {
        m_datagram = true;
        return fd;
    }
    err = errno;
    m_accessDenied = IsPermissionError(err);
    errno = err;
    return -1;
}

} // namespace pingvard
