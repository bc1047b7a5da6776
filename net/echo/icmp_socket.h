// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/blocking_socket.h"

#include <cstddef>
#include <ctime>
#include <optional>
#include <span>

namespace pingvard {

// ICMP / ICMPv6 socket. Opens a raw socket when the process may (root or
// CAP_NET_RAW); when that is refused, the unprivileged ICMP datagram socket
// (allowed for the groups in the sysctl net.ipv4.ping_group_range), on which the
// kernel owns the echo identifier and delivers no IP header.
class TIcmpSocket : public TBlockingSocket {
public:
    enum class TMode { Auto, RawOnly, DatagramOnly };
    TMode Mode = TMode::Auto; // which kinds OpenSocket may try; tests force one

    ~TIcmpSocket() override;

    int SocketType() const override;     // SOCK_RAW, or SOCK_DGRAM for the fallback
    int SocketProtocol() const override; // IPPROTO_ICMPV6 when UsesIPv6, else IPPROTO_ICMP
    bool IsDatagram() const noexcept { return m_datagram; }
    // True when the last attempt to open the OS socket was refused for lack of
    // privilege for every kind Mode allows.
    bool AccessDenied() const noexcept { return m_accessDenied; }
    // For a caller whose own deadline ended the wait between two datagrams.
    void MarkTimedOut() { SetLastError(kWsaEtimedout); }
    // True when the kernel stamps each datagram with its arrival time
    // (SO_TIMESTAMPNS was accepted on the open socket).
    bool KernelStamps() const noexcept { return m_kernelStamps; }

    struct TDatagram {
        std::size_t Size = 0;
        // When the kernel took the datagram in (CLOCK_REALTIME); none when it
        // gave no stamp.
        std::optional<timespec> Arrived;
    };
    // Waits up to timeoutMs for one datagram and reads it into buffer, which the
    // caller keeps between calls: nothing is allocated or copied between the
    // wake-up and the read, so a busy machine delays only the reading, never
    // the arrival time. None with the code set when nothing came.
    std::optional<TDatagram> ReceiveStamped(int timeoutMs, std::span<char> buffer);

protected:
    int CreateOsSocket(int family) override;
    bool ResolvesHostOnly() const override { return true; }

private:
    int CreateIcmpSocket(int family);

    bool m_datagram = false;
    bool m_accessDenied = false;
    bool m_kernelStamps = false;
};

} // namespace pingvard
