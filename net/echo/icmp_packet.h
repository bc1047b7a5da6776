// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// ICMP echo requests and the matching of replies, free of I/O. The identifier,
// sequence and send tick are stored least significant byte first (host order of
// the original design, not network order): only this client reads them back.

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <string_view>

namespace pingvard {

inline constexpr uint8_t kIcmpEchoRequest = 8, kIcmpEchoReply = 0;
inline constexpr uint8_t kIcmp6EchoRequest = 128, kIcmp6EchoReply = 129;
inline constexpr std::size_t kEchoHeaderSize = 12;
inline constexpr uint8_t kEchoFill = 0x55;

struct TEchoFields {
    uint8_t Type = kIcmpEchoRequest;
    uint16_t Identifier = 0;
    uint16_t Sequence = 0;
    uint32_t Tick = 0;
    int32_t PayloadSize = 32; // fill bytes after the 12-byte header (negative: none)
};

// RFC 1071 checksum over bytes read as little-endian words; stored least
// significant byte first it forms the correct network-order checksum.
uint16_t InternetChecksum(std::string_view bytes) noexcept;

// The request with a zero checksum field.
std::string BuildEchoRequest(const TEchoFields& fields);
void StoreChecksum(std::string& message, uint16_t checksum);
// The checksum of an ICMPv6 message: over the 40-byte pseudo-header (peer,
// local address, length, next header 58) followed by the message.
uint16_t Icmp6Checksum(const in6_addr& peer, const in6_addr& local, std::string_view message);

uint16_t ReadLe16(std::string_view bytes, std::size_t offset) noexcept;
uint32_t ReadLe32(std::string_view bytes, std::size_t offset) noexcept;

// What one received datagram means for the request in flight.
enum class TEchoMatch { Skip, Reply, Failure };

struct TEchoExpectation {
    bool IPv6 = false;
    bool Datagram = false; // kernel-owned identifier, no IP header
    uint16_t Identifier = 0;
    uint16_t Sequence = 0;
};

// Where the ICMP header starts in a received datagram, or -1 when the datagram is
// too short for the header plus the 12-byte echo header. Raw IPv4 sockets deliver
// the IP header first (length from its IHL field, checked before use).
int EchoHeaderOffset(std::string_view datagram, const TEchoExpectation& expect) noexcept;

// Raw sockets: our own request (seen when pinging this host) and other
// identifiers are skipped; an IPv4 message of another type that carries our
// identifier bytes ends the call as a failure. IPv6 raw sockets also see
// neighbour discovery, so anything but an echo reply is skipped there.
// Datagram sockets: the kernel delivers only this socket's replies, with its own
// identifier, so the sequence number tells the current reply from a late one.
TEchoMatch MatchEcho(std::string_view datagram, const TEchoExpectation& expect) noexcept;

} // namespace pingvard
