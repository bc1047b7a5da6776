// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/echo/icmp_socket.h"
#include "net/net_client.h"
#include "net/tick_clock.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <random>
#include <string>

namespace pingvard {

// One ICMP echo exchange per Ping. The round-trip time in ms comes from the
// send tick that travels in the request and comes back in the reply; the one
// in µs from the kernel's arrival stamp of the reply less the time read just
// before the send, so a busy machine that wakes the thread late does not
// lengthen it.
//
// Ping returns within Timeout (plus a few ms) whatever unrelated ICMP traffic
// arrives meanwhile and however long the resolver takes: the lookup of a name
// and the wait for the reply share one deadline, so a watchdog can always see
// an outage. The socket follows the host's family: a host changed from IPv4 to
// IPv6 (or back) gets a new socket of its family.
class TPingClient : public TNetClient {
public:
    TPingClient();

    TIcmpSocket IcmpSocket;  // opened at the first Ping, kept until destruction
    int32_t RoundTripMs = 0; // -1 after a failed Ping
    // The same round trip from the monotonic clock in microseconds, for the
    // history and the metrics; none after a failed Ping.
    std::optional<int64_t> RoundTripUs;
    // Where the end of RoundTripUs came from: the kernel's stamp, or the clock
    // read when the thread got the reply (a kernel that gives no stamp, or a
    // wall clock stepped during the echo).
    enum class TStampSource { Kernel, Clock };
    TStampSource LastStampSource = TStampSource::Clock;
    int32_t PayloadSize = 32;

    // True when a matching echo reply arrived within Timeout; never throws for
    // network failures. host: dotted IPv4, IPv6 literal or name.
    bool Ping(const std::string& host);
    void Abort() noexcept; // thread-safe; a Ping in progress (and later ones) returns false at once
    int LastErrorCode() const { return IcmpSocket.LastErrorCode(); }

    // Why no ICMP socket could be opened (empty when one could): plain English
    // with the fix.
    std::string IcmpUnavailableReason() const;
    // Same text, found by trying to open a raw, then a datagram ICMP socket; ""
    // when pinging works.
    static std::string ProbeIcmpAccess();

    void SetClock(const TTickClock& clock) noexcept;
    // The request of the last Ping as sent (before the kernel's changes, if any).
    const std::string& LastRequest() const noexcept { return m_lastRequest; }
    int32_t EchoSequence() const noexcept { return m_echoSequence; }
    int32_t EchoIdentifier() const noexcept { return m_echoIdentifier; }
    // Datagrams the last Ping received and skipped as not its reply.
    int32_t SkippedDatagrams() const noexcept { return m_skipped; }

private:
    bool SendRequest();
    bool AwaitReply(uint32_t deadlineTick);
    uint16_t RequestChecksum() const;

    std::string m_lastRequest;
    std::string m_connectedHost; // the numeric address the socket is connected to
    std::string m_boundAddress;
    int32_t m_echoSequence = 0;
    int32_t m_echoIdentifier = 0;
    int32_t m_skipped = 0;
    uint8_t m_requestType = 0;
    uint8_t m_replyType = 0;
    // Each client draws its identifiers from its own generator, so the workers'
    // draws never race.
    std::minstd_rand m_random;
    const TTickClock* m_clock = &SystemTickClock();
    std::chrono::steady_clock::time_point m_sentAt;
    timespec m_sentAtReal{}; // the kernel stamps arrivals on CLOCK_REALTIME
    // Kept from echo to echo: a reply is matched on its headers, so a longer
    // datagram cut here still matches.
    std::array<char, 1024> m_receiveBuffer{};
};

// The round trip in µs from the send time and the kernel's arrival stamp, both
// CLOCK_REALTIME; none when the difference is not a plausible round trip
// within limitMs (the wall clock was stepped meanwhile).
std::optional<int64_t> StampedRoundTripUs(const timespec& sent, const timespec& arrived,
                                          int32_t limitMs) noexcept;

// The text IcmpUnavailableReason and ProbeIcmpAccess give.
inline constexpr const char* kIcmpUnavailableText =
    "Pinging is not permitted: this program may not open raw ICMP sockets and unprivileged "
    "ICMP sockets are not allowed for its group. To fix it, give the program the capability "
    "with 'setcap cap_net_raw+ep <binary>' (as root, <binary> being the path of the program), "
    "or allow the group in the sysctl net.ipv4.ping_group_range, for example "
    "'sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"'.";

} // namespace pingvard
