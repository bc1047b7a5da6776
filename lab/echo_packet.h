// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pure packet handling of the lab's echo responder: no I/O, so the parsing and
// the loss pattern are testable without a network namespace.

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>

// The lab's own namespace: the program's network layer has an InternetChecksum
// of its own, with another byte-order contract, and a target may link both.
namespace pingvard::lab {

// One ICMP echo request taken from a whole IPv4 packet (as a raw socket
// delivers it). Addresses stay in network byte order.
struct TEchoRequest {
    uint32_t Source = 0;
    uint32_t Destination = 0;
    uint16_t Identifier = 0;
    uint16_t Sequence = 0;
    std::string Icmp; // the ICMP message: header and payload
};

// The RFC 1071 one's-complement sum over data, ready to store in a header.
uint16_t InternetChecksum(std::string_view data) noexcept;

// Empty for anything that is not a well-formed echo request: short or
// inconsistent headers, other protocols, other ICMP types, bad checksums.
std::optional<TEchoRequest> ParseEchoRequest(std::string_view ipPacket);

// The echo reply to a request's ICMP message: type 0, everything else kept,
// checksum recomputed.
std::string BuildEchoReply(std::string_view icmpRequest);

enum class TLossMode { Random, Even };

// Decides which requests to drop. Even mode keeps a running share per
// source and destination address, so a pinging program sees exactly the set
// share whatever programs pinging from other addresses do (identifiers are
// no flow key: some programs draw a new one for every echo); random mode
// draws each time.
class TLossPattern {
public:
    explicit TLossPattern(TLossMode mode = TLossMode::Random, double percent = 0,
                          uint32_t seed = std::random_device{}());
    void Configure(TLossMode mode, double percent);
    bool Drop(const TEchoRequest& request);

private:
    using TFlowKey = std::pair<uint32_t, uint32_t>;
    TLossMode m_mode;
    double m_percent;
    std::mt19937 m_random;
    std::map<TFlowKey, double> m_owed;
};

} // namespace pingvard::lab
