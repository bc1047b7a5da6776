// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/echo/icmp_packet.h"

#include <cstring>

namespace pingvard {

uint16_t InternetChecksum(std::string_view bytes) noexcept {
    uint32_t sum = 0;
    const std::size_t words = bytes.size() / 2;
    for (std::size_t i = 0; i < words; ++i) {
        sum += ReadLe16(bytes, 2 * i);
    }
    if (bytes.size() % 2 != 0) {
        sum += static_cast<uint8_t>(bytes.back());
    }
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

uint16_t ReadLe16(std::string_view bytes, std::size_t offset) noexcept {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) |
                                 static_cast<uint8_t>(bytes[offset + 1]) << 8);
}

uint32_t ReadLe32(std::string_view bytes, std::size_t offset) noexcept {
    return static_cast<uint32_t>(ReadLe16(bytes, offset)) |
           static_cast<uint32_t>(ReadLe16(bytes, offset + 2)) << 16;
}

namespace {

void StoreLe(std::string& bytes, std::size_t offset, uint32_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

} // namespace

std::string BuildEchoRequest(const TEchoFields& fields) {
    const std::size_t payload =
        fields.PayloadSize > 0 ? static_cast<std::size_t>(fields.PayloadSize) : 0;
    std::string message(kEchoHeaderSize + payload, static_cast<char>(kEchoFill));
    message[0] = static_cast<char>(fields.Type);
    message[1] = 0;
    StoreLe(message, 2, 0, 2);
    StoreLe(message, 4, fields.Identifier, 2);
    StoreLe(message, 6, fields.Sequence, 2);
    StoreLe(message, 8, fields.Tick, 4);
    return message;
}

void StoreChecksum(std::string& message, uint16_t checksum) {
    StoreLe(message, 2, checksum, 2);
}

uint16_t Icmp6Checksum(const in6_addr& peer, const in6_addr& local, std::string_view message) {
    std::string buffer(40, '\0');
    std::memcpy(buffer.data(), &peer, 16);
    std::memcpy(buffer.data() + 16, &local, 16);
    const auto length = static_cast<uint32_t>(message.size());
    for (int i = 0; i < 4; ++i) {
        buffer[32 + i] = static_cast<char>((length >> (8 * (3 - i))) & 0xFF); // big-endian
    }
    buffer[39] = static_cast<char>(IPPROTO_ICMPV6);
    buffer.append(message);
    return InternetChecksum(buffer);
}

int EchoHeaderOffset(std::string_view datagram, const TEchoExpectation& expect) noexcept {
    std::size_t offset = 0;
    if (!expect.IPv6 && !expect.Datagram) {
        if (datagram.empty()) {
            return -1;
        }
        offset = (static_cast<uint8_t>(datagram[0]) & 0x0F) * 4U;
        if (offset < 20) {
            return -1; // not a valid IPv4 header length
        }
    }
    if (datagram.size() < offset + kEchoHeaderSize) {
        return -1;
    }
    return static_cast<int>(offset);
}

TEchoMatch MatchEcho(std::string_view datagram, const TEchoExpectation& expect) noexcept {
    const int offset = EchoHeaderOffset(datagram, expect);
    if (offset < 0) {
        return TEchoMatch::Skip;
    }
    const std::string_view header = datagram.substr(static_cast<std::size_t>(offset));
    const auto type = static_cast<uint8_t>(header[0]);
    const uint8_t requestType = expect.IPv6 ? kIcmp6EchoRequest : kIcmpEchoRequest;
    const uint8_t replyType = expect.IPv6 ? kIcmp6EchoReply : kIcmpEchoReply;
    if (expect.Datagram) {
        return type == replyType && ReadLe16(header, 6) == expect.Sequence ? TEchoMatch::Reply
                                                                           : TEchoMatch::Skip;
    }
    if (type == requestType || ReadLe16(header, 4) != expect.Identifier) {
        return TEchoMatch::Skip;
    }
    if (type == replyType) {
        return TEchoMatch::Reply;
    }
    return expect.IPv6 ? TEchoMatch::Skip : TEchoMatch::Failure;
}

} // namespace pingvard
