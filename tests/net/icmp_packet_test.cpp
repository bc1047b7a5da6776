// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/echo/icmp_packet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pingvard {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (const int v : values) {
        bytes.push_back(static_cast<char>(v));
    }
    return bytes;
}

std::string Signed(uint8_t type, int payload) {
    TEchoFields fields;
    fields.Type = type;
    fields.Identifier = 0x1234;
    fields.Sequence = 1;
    fields.Tick = 0x89ABCDEF;
    fields.PayloadSize = payload;
    std::string message = BuildEchoRequest(fields);
    StoreChecksum(message, InternetChecksum(message));
    return message;
}

TEST(EchoRequest, DefaultIPv4RequestIsByteExact) {
    const std::string expected =
        Bytes({8, 0, 0xD2, 0x40, 0x34, 0x12, 0x01, 0x00, 0xEF, 0xCD, 0xAB, 0x89}) +
        std::string(32, '\x55');
    EXPECT_EQ(Signed(kIcmpEchoRequest, 32), expected);
}

TEST(EchoRequest, ZeroPayloadIsTheHeaderAlone) {
    EXPECT_EQ(Signed(kIcmpEchoRequest, 0),
              Bytes({8, 0, 0x27, 0x96, 0x34, 0x12, 0x01, 0x00, 0xEF, 0xCD, 0xAB, 0x89}));
}

TEST(EchoRequest, OddPayloadAddsTheLastByteAsPlainValue) {
    const std::string message = Signed(kIcmpEchoRequest, 3);
    ASSERT_EQ(message.size(), 15U);
    EXPECT_EQ(message.substr(2, 2), Bytes({0x7D, 0x40}));
    // A correct checksum makes the whole message sum to zero.
    EXPECT_EQ(InternetChecksum(message), 0);
}

TEST(EchoRequest, IPv6ChecksumCoversThePseudoHeader) {
    in6_addr local{}, peer{};
    ASSERT_EQ(inet_pton(AF_INET6, "fd77::1", &local), 1);
    ASSERT_EQ(inet_pton(AF_INET6, "fd77::2", &peer), 1);
    TEchoFields fields;
    fields.Type = kIcmp6EchoRequest;
    fields.Identifier = 0x1234;
    fields.Sequence = 1;
    fields.Tick = 0x89ABCDEF;
    std::string message = BuildEchoRequest(fields);
    StoreChecksum(message, Icmp6Checksum(peer, local, message));
    EXPECT_EQ(message.substr(0, 4), Bytes({128, 0, 0x5E, 0xE7}));
}

// A raw IPv4 datagram: 20-byte IP header (or longer), then the ICMP message.
std::string Ipv4Datagram(uint8_t type, uint16_t identifier, int ihlWords = 5) {
    std::string datagram(static_cast<std::size_t>(ihlWords) * 4, '\0');
    datagram[0] = static_cast<char>(0x40 | ihlWords);
    TEchoFields fields;
    fields.Type = type;
    fields.Identifier = identifier;
    fields.Sequence = 7;
    fields.Tick = 1000;
    return datagram + BuildEchoRequest(fields);
}

std::string Icmp6Message(uint8_t type, uint16_t identifier, uint16_t sequence = 7) {
    TEchoFields fields;
    fields.Type = type;
    fields.Identifier = identifier;
    fields.Sequence = sequence;
    return BuildEchoRequest(fields);
}

struct TMatchCase {
    const char* Name;
    std::string Datagram;
    TEchoExpectation Expect;
    TEchoMatch Result;
};

class EchoMatchTest : public testing::TestWithParam<TMatchCase> {};

TEST_P(EchoMatchTest, ClassifiesDatagram) {
    EXPECT_EQ(MatchEcho(GetParam().Datagram, GetParam().Expect), GetParam().Result);
}

const TEchoExpectation kRaw4{false, false, 42, 7};
const TEchoExpectation kRaw6{true, false, 42, 7};
const TEchoExpectation kDgram4{false, true, 42, 7};

INSTANTIATE_TEST_SUITE_P(
    Table, EchoMatchTest,
    testing::Values(
        TMatchCase{"ReplyWithOurIdentifier", Ipv4Datagram(0, 42), kRaw4, TEchoMatch::Reply},
        TMatchCase{"OwnRequestCopyIsSkipped", Ipv4Datagram(8, 42), kRaw4, TEchoMatch::Skip},
        TMatchCase{"OtherClientsReplyIsSkipped", Ipv4Datagram(0, 43), kRaw4, TEchoMatch::Skip},
        TMatchCase{"OtherTypeWithOurIdentifierFails", Ipv4Datagram(3, 42), kRaw4,
                   TEchoMatch::Failure},
        TMatchCase{"IpOptionsAreSkippedByHeaderLength", Ipv4Datagram(0, 42, 7), kRaw4,
                   TEchoMatch::Reply},
        TMatchCase{"ShortDatagramIsSkipped", Ipv4Datagram(0, 42).substr(0, 31), kRaw4,
                   TEchoMatch::Skip},
        TMatchCase{"BadHeaderLengthIsSkipped", Ipv4Datagram(0, 42, 4), kRaw4, TEchoMatch::Skip},
        TMatchCase{"EmptyDatagramIsSkipped", "", kRaw4, TEchoMatch::Skip},
        TMatchCase{"IPv6ReplyMatches", Icmp6Message(129, 42), kRaw6, TEchoMatch::Reply},
        TMatchCase{"IPv6OwnRequestIsSkipped", Icmp6Message(128, 42), kRaw6, TEchoMatch::Skip},
        TMatchCase{"IPv6NeighbourDiscoveryIsSkipped", Icmp6Message(135, 42), kRaw6,
                   TEchoMatch::Skip},
        TMatchCase{"DatagramReplyMatchesOnSequence", Icmp6Message(0, 999), kDgram4,
                   TEchoMatch::Reply},
        TMatchCase{"DatagramLateReplyIsSkipped", Icmp6Message(0, 999, 6), kDgram4,
                   TEchoMatch::Skip}),
    [](const testing::TestParamInfo<TMatchCase>& p) { return std::string(p.param.Name); });

TEST(EchoRequest, ReadsLittleEndianFields) {
    const std::string bytes = Bytes({0x01, 0x02, 0x03, 0x04});
    EXPECT_EQ(ReadLe16(bytes, 0), 0x0201);
    EXPECT_EQ(ReadLe32(bytes, 0), 0x04030201U);
}

} // namespace
} // namespace pingvard
