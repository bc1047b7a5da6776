// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/echo/ping_client.h"

#include "net/echo/icmp_packet.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <span>
#include <string_view>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace pingvard {
namespace {

constexpr int32_t kReceiveBufferSize = 61440;
constexpr int kIdentifierRange = 32767; // identifiers 0..32766

// The local address the system would use to reach the peer: connecting a UDP
// socket sends nothing but makes the kernel choose the route and source.
bool RoutingSourceAddress(const sockaddr_in6& peer, in6_addr& local) {
    const int fd = ::socket(AF_INET6, SOCK_DGRAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in6 target = peer;
    target.sin6_port = htons(9); // any port: only the route lookup matters
    sockaddr_in6 source{};
    socklen_t length = sizeof source;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&source), &length) == 0;
    ::close(fd);
    if (ok) {
        local = source.sin6_addr;
    }
    return ok;
}

bool IsNumericHost(const std::string& host) {
    in6_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

int RemainingMs(const TTickClock& clock, uint32_t deadlineTick) {
    return std::max(static_cast<int32_t>(deadlineTick - clock.Now()), 0);
}

// A second of slack past Timeout: the tick deadline rounds to whole ms and a
// reply may sit in the socket until the thread reads it.
constexpr int64_t kStampSlackUs = 1'000'000;

} // namespace

std::optional<int64_t> StampedRoundTripUs(const timespec& sent, const timespec& arrived,
                                          int32_t limitMs) noexcept {
    const int64_t ns = (int64_t{arrived.tv_sec} - int64_t{sent.tv_sec}) * 1'000'000'000 +
                       (int64_t{arrived.tv_nsec} - int64_t{sent.tv_nsec});
    const int64_t us = ns / 1000;
    if (ns < 0 || us > int64_t{std::max(limitMs, 0)} * 1000 + kStampSlackUs) {
        return std::nullopt;
    }
    return us;
}

TPingClient::TPingClient() : m_random(std::random_device{}()) {
    // A host changed to the other family must get a socket of that family.
    IcmpSocket.FollowPeerFamily = true;
}

void TPingClient::SetClock(const TTickClock& clock) noexcept {
    m_clock = &clock;
    IcmpSocket.SetClock(clock);
}

void TPingClient::Abort() noexcept {
    IcmpSocket.Abort();
}

bool TPingClient::Ping(const std::string& host) {
    RoundTripMs = -1;
    RoundTripUs.reset();
    // One deadline for the whole call: unrelated ICMP arriving meanwhile must not
    // stretch it (each skipped datagram does not restart the wait).
    const uint32_t deadline = m_clock->Now() + static_cast<uint32_t>(std::max(Timeout, 0));
    // An address connected before is connected still: only a name is looked
    // up again (it may have moved), so most echoes go straight to the send.
    if (IcmpSocket.SocketHandle() < 0 || host != m_connectedHost || !IsNumericHost(host) ||
        BindAddress != m_boundAddress) {
        m_connectedHost.clear();
        // The lookup of a name is part of the echo: it gets what is left of Timeout.
        IcmpSocket.ResolveTimeout = RemainingMs(*m_clock, deadline);
        IcmpSocket.BindTo(BindAddress, "0");
        IcmpSocket.ResolveTimeout = RemainingMs(*m_clock, deadline);
        IcmpSocket.ConnectTo(host, "0");
        if (IcmpSocket.LastErrorCode() != 0) {
            return false;
        }
        IcmpSocket.SetReceiveBufferSize(kReceiveBufferSize);
        m_connectedHost = host;
        m_boundAddress = BindAddress;
    }
    const bool ipv6 = IcmpSocket.UsesIPv6();
    m_requestType = ipv6 ? kIcmp6EchoRequest : kIcmpEchoRequest;
    m_replyType = ipv6 ? kIcmp6EchoReply : kIcmpEchoReply;
    SendRequest();
    return AwaitReply(deadline);
}

bool TPingClient::SendRequest() {
    m_echoIdentifier = std::uniform_int_distribution<int32_t>(0, kIdentifierRange - 1)(m_random);
    TEchoFields fields;
    fields.Type = m_requestType;
    fields.Identifier = static_cast<uint16_t>(m_echoIdentifier);
    fields.Tick = m_clock->Now();
    m_echoSequence = static_cast<int32_t>(static_cast<uint32_t>(m_echoSequence) + 1U);
    fields.Sequence = static_cast<uint16_t>(m_echoSequence);
    fields.PayloadSize = PayloadSize;
    m_lastRequest = BuildEchoRequest(fields);
    StoreChecksum(m_lastRequest, RequestChecksum());
    m_sentAt = std::chrono::steady_clock::now();
    ::clock_gettime(CLOCK_REALTIME, &m_sentAtReal);
    // A failed send is not examined: it shows up as the reply's time-out.
    return IcmpSocket.SendText(m_lastRequest) >= 0;
}

uint16_t TPingClient::RequestChecksum() const {
    if (!IcmpSocket.UsesIPv6()) {
        return InternetChecksum(m_lastRequest);
    }
    const in6_addr peer = IcmpSocket.RemoteAddress.IPv6Address.sin6_addr;
    in6_addr local = IcmpSocket.LocalAddress.IPv6Address.sin6_addr;
    RoutingSourceAddress(IcmpSocket.RemoteAddress.IPv6Address, local);
    return Icmp6Checksum(peer, local, m_lastRequest);
}

bool TPingClient::AwaitReply(uint32_t deadline) {
    TEchoExpectation expect;
    expect.IPv6 = IcmpSocket.UsesIPv6();
    expect.Datagram = IcmpSocket.IsDatagram();
    expect.Identifier = static_cast<uint16_t>(m_echoIdentifier);
    expect.Sequence = static_cast<uint16_t>(m_echoSequence);
    m_skipped = 0;
    for (;;) {
        const auto received = IcmpSocket.ReceiveStamped(RemainingMs(*m_clock, deadline),
                                                        std::span<char>(m_receiveBuffer));
        // The clock read at once: the fallback when the kernel gave no stamp.
        const auto readAt = std::chrono::steady_clock::now();
        if (IcmpSocket.LastErrorCode() != 0 || !received) {
            return false;
        }
        const std::string_view datagram(m_receiveBuffer.data(), received->Size);
        switch (datagram.empty() ? TEchoMatch::Skip : MatchEcho(datagram, expect)) {
        case TEchoMatch::Reply: {
            const auto header = static_cast<std::size_t>(EchoHeaderOffset(datagram, expect));
            const uint32_t sentTick = ReadLe32(datagram, header + 8);
            RoundTripMs = static_cast<int32_t>(TickDifference(sentTick, m_clock->Now()));
            RoundTripUs = received->Arrived
                              ? StampedRoundTripUs(m_sentAtReal, *received->Arrived, Timeout)
                              : std::nullopt;
            LastStampSource = RoundTripUs ? TStampSource::Kernel : TStampSource::Clock;
            if (!RoundTripUs) {
                RoundTripUs =
                    std::chrono::duration_cast<std::chrono::microseconds>(readAt - m_sentAt)
                        .count();
            }
            return true;
        }
        case TEchoMatch::Failure:
            return false;
        case TEchoMatch::Skip:
            m_skipped += datagram.empty() ? 0 : 1;
            break;
        }
        if (RemainingMs(*m_clock, deadline) == 0) {
            IcmpSocket.MarkTimedOut();
            return false;
        }
    }
}

std::string TPingClient::IcmpUnavailableReason() const {
    return IcmpSocket.AccessDenied() ? kIcmpUnavailableText : "";
}

std::string TPingClient::ProbeIcmpAccess() {
    for (const int type : {SOCK_RAW, SOCK_DGRAM}) {
        const int fd = ::socket(AF_INET, type, IPPROTO_ICMP);
        if (fd >= 0) {
            ::close(fd);
            return "";
        }
    }
    return kIcmpUnavailableText;
}

} // namespace pingvard
