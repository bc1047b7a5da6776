// SPDX-License-Identifier: GPL-3.0-or-later
#include "lab/echo_packet.h"
#include "net/echo/icmp_packet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace pingvard::lab {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

// An echo request 10.0.0.1 -> 10.0.0.2, identifier 0x1234, sequence 7, payload "abcd".
std::string EchoRequestPacket() {
    std::string icmp = Bytes({8, 0, 0, 0, 0x12, 0x34, 0, 7}) + "abcd";
    const uint16_t sum = InternetChecksum(icmp);
    icmp[2] = static_cast<char>(sum >> 8);
    icmp[3] = static_cast<char>(sum & 0xFF);
    const int total = 20 + static_cast<int>(icmp.size());
    return Bytes({0x45, 0, 0, total, 0, 0, 0, 0, 64, 1, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2}) + icmp;
}

TEST(EchoPacket, ChecksumMatchesKnownValue) {
    // RFC 1071's worked example sums to 0xddf2; the stored checksum is its complement.
    EXPECT_EQ(InternetChecksum(Bytes({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7})), 0x220d);
    EXPECT_EQ(InternetChecksum(Bytes({0xff})), 0x00ff); // odd length pads with zero
}

// Linked together, the responder's checksum and the client's each keep their
// own contract: the same sum, stored most / least significant byte first.
TEST(EchoPacket, ChecksumAgreesWithTheClientsOnTheWire) {
    const std::string icmp = Bytes({8, 0, 0, 0, 0x12, 0x34, 0, 7}) + "abcde";
    const uint16_t client = pingvard::InternetChecksum(icmp);
    EXPECT_EQ(InternetChecksum(icmp), static_cast<uint16_t>((client << 8) | (client >> 8)));
}

TEST(EchoPacket, ParsesRequestAndBuildsValidReply) {
    const auto request = ParseEchoRequest(EchoRequestPacket());
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Source, inet_addr("10.0.0.1"));
    EXPECT_EQ(request->Destination, inet_addr("10.0.0.2"));
    EXPECT_EQ(request->Identifier, 0x1234);
    EXPECT_EQ(request->Sequence, 7);
    const std::string reply = BuildEchoReply(request->Icmp);
    ASSERT_EQ(reply.size(), request->Icmp.size());
    EXPECT_EQ(reply[0], 0);
    EXPECT_EQ(InternetChecksum(reply), 0);
    EXPECT_EQ(reply.substr(4), request->Icmp.substr(4));
}

struct TBadPacket {
    const char* Name;
    size_t At;
    int Value;
};

void PrintTo(const TBadPacket& bad, std::ostream* os) {
    *os << bad.Name;
}

class EchoPacketRejects : public testing::TestWithParam<TBadPacket> {};

TEST_P(EchoPacketRejects, MalformedOrForeignPacket) {
    std::string packet = EchoRequestPacket();
    packet[GetParam().At] = static_cast<char>(GetParam().Value);
    EXPECT_FALSE(ParseEchoRequest(packet)) << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, EchoPacketRejects,
    testing::Values(TBadPacket{"Ipv6Version", 0, 0x65}, TBadPacket{"HeaderBelow20", 0, 0x44},
                    TBadPacket{"HeaderPastPacket", 0, 0x4F}, TBadPacket{"TotalPastBuffer", 3, 200},
                    TBadPacket{"TotalCutsIcmp", 3, 24}, TBadPacket{"NotIcmp", 9, 6},
                    TBadPacket{"EchoReply", 20, 0}, TBadPacket{"NonzeroCode", 21, 1},
                    TBadPacket{"BadChecksum", 22, 0x5A}),
    [](const testing::TestParamInfo<TBadPacket>& p) { return std::string(p.param.Name); });

TEST(EchoPacket, RejectsTruncatedPackets) {
    const std::string packet = EchoRequestPacket();
    for (size_t n = 0; n < 28; ++n)
        EXPECT_FALSE(ParseEchoRequest(packet.substr(0, n))) << n;
}

TEST(LossPattern, EvenModeDropsExactShareForEachFlow) {
    TLossPattern loss(TLossMode::Even, 25);
    TEchoRequest a, b;
    a.Source = 1;
    b.Source = 2;
    int droppedA = 0, droppedB = 0;
    for (int i = 0; i < 400; ++i) {
        ++a.Identifier; // a new identifier for each echo is still the same flow
        droppedA += loss.Drop(a);
        if (i % 3 == 0) // an interleaved flow must not shift the first one's share
            droppedB += loss.Drop(b);
    }
    EXPECT_EQ(droppedA, 100);
    EXPECT_EQ(droppedB, 134 / 4);
}

TEST(LossPattern, RandomModeStaysNearShareAndHonoursBounds) {
    TLossPattern loss(TLossMode::Random, 25, 12345);
    int dropped = 0;
    for (int i = 0; i < 10000; ++i)
        dropped += loss.Drop({});
    EXPECT_NEAR(dropped, 2500, 250);
    loss.Configure(TLossMode::Random, 0);
    EXPECT_FALSE(loss.Drop({}));
    loss.Configure(TLossMode::Random, 150); // clamped to 100
    EXPECT_TRUE(loss.Drop({}));
}

} // namespace
} // namespace pingvard::lab
