// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/echo/icmp_socket.h"

#include "net/socket_errors.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace pingvard {
namespace {

bool IsPermissionError(int err) {
    return err == EPERM || err == EACCES;
}

// The arrival time the kernel put beside the datagram, if any.
std::optional<timespec> ArrivalStamp(msghdr& message) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS &&
            c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            return stamp;
        }
    }
    return std::nullopt;
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
    const int fd = CreateIcmpSocket(family);
    const int on = 1;
    m_kernelStamps = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
    return fd;
}

std::optional<TIcmpSocket::TDatagram> TIcmpSocket::ReceiveStamped(int timeoutMs,
                                                                  std::span<char> buffer) {
    SetLastError(0);
    if (!WaitReadable(timeoutMs)) {
        if (LastErrorCode() == 0) {
            SetLastError(kWsaEtimedout);
        }
        RaiseIfFailed();
        return std::nullopt;
    }
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec)) * 2];
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = ::recvmsg(SocketHandle(), &message, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        // Readiness without a datagram (one that failed its checksum) is a
        // wait that found nothing: the caller's deadline decides.
        const int err = errno;
        SetLastError(err == EAGAIN || err == EWOULDBLOCK ? 0 : WinsockFromErrno(err));
        RaiseIfFailed();
        return TDatagram{};
    }
    TDatagram datagram;
    datagram.Size = static_cast<std::size_t>(n);
    datagram.Arrived = ArrivalStamp(message);
    return datagram;
}

int TIcmpSocket::CreateIcmpSocket(int family) {
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
