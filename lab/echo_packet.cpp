// SPDX-License-Identifier: GPL-3.0-or-later
#include "lab/echo_packet.h"

#include <algorithm>
#include <cstring>

namespace pingvard::lab {

namespace {

constexpr size_t kIpHeaderMin = 20;
constexpr size_t kIcmpHeader = 8;
constexpr uint8_t kProtocolIcmp = 1;
constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kEchoReply = 0;

uint8_t Byte(std::string_view data, size_t at) {
    return static_cast<uint8_t>(data[at]);
}

uint16_t Read16(std::string_view data, size_t at) {
    return static_cast<uint16_t>(Byte(data, at) << 8 | Byte(data, at + 1));
}

uint32_t ReadRaw32(std::string_view data, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, data.data() + at, sizeof value);
    return value;
}

} // namespace

uint16_t InternetChecksum(std::string_view data) noexcept {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < data.size(); i += 2)
        sum += Read16(data, i);
    if (i < data.size())
        sum += static_cast<uint32_t>(Byte(data, i)) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

std::optional<TEchoRequest> ParseEchoRequest(std::string_view ipPacket) {
    if (ipPacket.size() < kIpHeaderMin || Byte(ipPacket, 0) >> 4 != 4)
        return std::nullopt;
    const size_t headerLength = (Byte(ipPacket, 0) & 0x0F) * 4u;
    const size_t totalLength = Read16(ipPacket, 2);
    if (headerLength < kIpHeaderMin || totalLength < headerLength + kIcmpHeader ||
        totalLength > ipPacket.size() || Byte(ipPacket, 9) != kProtocolIcmp)
        return std::nullopt;
    const std::string_view icmp = ipPacket.substr(headerLength, totalLength - headerLength);
    if (Byte(icmp, 0) != kEchoRequest || Byte(icmp, 1) != 0 || InternetChecksum(icmp) != 0)
        return std::nullopt;
    TEchoRequest request;
    request.Source = ReadRaw32(ipPacket, 12);
    request.Destination = ReadRaw32(ipPacket, 16);
    request.Identifier = Read16(icmp, 4);
    request.Sequence = Read16(icmp, 6);
    request.Icmp = std::string(icmp);
    return request;
}

std::string BuildEchoReply(std::string_view icmpRequest) {
    std::string reply(icmpRequest);
    if (reply.size() < kIcmpHeader)
        return {};
    reply[0] = static_cast<char>(kEchoReply);
    reply[2] = reply[3] = 0;
    const uint16_t sum = InternetChecksum(reply);
    reply[2] = static_cast<char>(sum >> 8);
    reply[3] = static_cast<char>(sum & 0xFF);
    return reply;
}

TLossPattern::TLossPattern(TLossMode mode, double percent, uint32_t seed)
    : m_mode(mode), m_percent(std::clamp(percent, 0.0, 100.0)), m_random(seed) {}

void TLossPattern::Configure(TLossMode mode, double percent) {
    m_mode = mode;
    m_percent = std::clamp(percent, 0.0, 100.0);
    m_owed.clear();
}

bool TLossPattern::Drop(const TEchoRequest& request) {
    if (m_percent <= 0)
        return false;
    if (m_mode == TLossMode::Random)
        return std::uniform_real_distribution<double>(0, 100)(m_random) < m_percent;
    // Carry the share owed so far; drop when a whole request is owed.
    double& owed = m_owed[{request.Source, request.Destination}];
    owed += m_percent;
    if (owed < 100)
        return false;
    owed -= 100;
    return true;
}

} // namespace pingvard::lab
