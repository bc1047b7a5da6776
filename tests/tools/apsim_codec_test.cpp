// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_codec.h"

#include <gtest/gtest.h>

namespace pingvard::apsim {
namespace {

using TKind = TTelnetEvent::TKind;

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += out.empty() ? "" : " ";
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string Unhex(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size() + 1; i += 3) {
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return out;
}

std::string Describe(const std::vector<TTelnetEvent>& events) {
    static constexpr const char* kNames[] = {"local+", "local-", "remote+", "remote-", "sb", "ayt"};
    std::string out;
    for (const auto& e : events) {
        out += out.empty() ? "" : ",";
        out += kNames[static_cast<int>(e.Kind)] + std::to_string(e.Option);
        if (e.Kind == TKind::Subnegotiation) {
            out += "[" + Hex(e.Data) + "]";
        }
    }
    return out;
}

// Golden transcripts: the codec after the standard opening offers, fed the
// client's bytes, must produce these data bytes, replies and events.
struct TGolden {
    const char* Name;
    const char* Input;   // hex
    const char* Data;    // hex
    const char* Replies; // hex
    const char* Events;
};

class ServerTelnetCodecGolden : public ::testing::TestWithParam<TGolden> {
protected:
    static TServerTelnetCodec Opened() {
        TServerTelnetCodec codec;
        codec.Offer(kWill, kOptEcho);
        codec.Offer(kWill, kOptSga);
        codec.Offer(kDo, kOptTerminalType);
        codec.Offer(kDo, kOptNaws);
        return codec;
    }
};

const TGolden kGolden[] = {
    // pingvard's client: refuses ECHO and NAWS, takes SGA, offers its type.
    {"ClientAnswersOffers", "ff fe 01 ff fd 03 ff fb 18 ff fc 1f", "", "",
     "local-1,local+3,remote+24,remote-31"},
    {"EveryOfferAccepted", "ff fd 01 ff fd 03 ff fb 18 ff fb 1f", "", "",
     "local+1,local+3,remote+24,remote+31"},
    {"UnknownOfferRefused", "ff fb 05 ff fd 05", "", "ff fe 05 ff fc 05", ""},
    {"WithdrawalOfAnOffOptionIsIgnored", "ff fc 05 ff fe 05", "", "", ""},
    {"WithdrawalOfAnOnOptionIsConfirmed", "ff fb 18 ff fc 18", "", "ff fe 18",
     "remote+24,remote-24"},
    {"RepeatedWillIsNotAnsweredTwice", "ff fb 18 ff fb 18 ff fd 03 ff fd 03", "", "",
     "remote+24,local+3"},
    {"TerminalTypeIs", "ff fa 18 00 50 49 4e 47 ff f0", "", "", "sb24[00 50 49 4e 47]"},
    {"WindowSize", "ff fa 1f 00 50 00 18 ff f0", "", "", "sb31[00 50 00 18]"},
    {"DoubledIacInsideSubnegotiation", "ff fa 18 00 ff ff 41 ff f0", "", "", "sb24[00 ff 41]"},
    {"DataWithDoubledIac", "61 ff ff 62 0d 0a 00", "61 ff 62 0d 0a 00", "", ""},
    {"OtherCommandsDropped", "61 ff f1 62 ff f9 63", "61 62 63", "", ""},
    {"AreYouThere", "ff f6", "", "", "ayt0"},
    {"UnterminatedSubnegotiationYieldsToCommand", "ff fa 18 00 41 ff fb 07 78", "78", "ff fe 07",
     ""},
};

TEST_P(ServerTelnetCodecGolden, WholeInput) {
    TServerTelnetCodec codec = Opened();
    const TFeedResult result = codec.Feed(Unhex(GetParam().Input));
    EXPECT_EQ(Hex(result.Data), GetParam().Data);
    EXPECT_EQ(Hex(result.Replies), GetParam().Replies);
    EXPECT_EQ(Describe(result.Events), GetParam().Events);
}

TEST_P(ServerTelnetCodecGolden, SameResultByteByByte) {
    TServerTelnetCodec codec = Opened();
    TFeedResult all;
    for (char c : Unhex(GetParam().Input)) {
        TFeedResult part = codec.Feed(std::string_view(&c, 1));
        all.Data += part.Data;
        all.Replies += part.Replies;
        all.Events.insert(all.Events.end(), part.Events.begin(), part.Events.end());
    }
    EXPECT_EQ(Hex(all.Data), GetParam().Data);
    EXPECT_EQ(Hex(all.Replies), GetParam().Replies);
    EXPECT_EQ(Describe(all.Events), GetParam().Events);
}

INSTANTIATE_TEST_SUITE_P(Transcripts, ServerTelnetCodecGolden, ::testing::ValuesIn(kGolden),
                         [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(ServerTelnetCodec, OffersEachOptionOnlyOnce) {
    TServerTelnetCodec codec;
    EXPECT_EQ(Hex(codec.Offer(kWill, kOptEcho)), "ff fb 01");
    EXPECT_EQ(codec.Offer(kWill, kOptEcho), "");
    EXPECT_EQ(codec.Local(kOptEcho), TOptionState::WantYes);
    codec.Feed(Unhex("ff fe 01"));
    EXPECT_EQ(codec.Local(kOptEcho), TOptionState::No);
    EXPECT_EQ(Hex(codec.Offer(kDo, kOptNaws)), "ff fd 1f");
}

// A client that answers every WONT and DONT (as pingvard's does) must not
// be able to start an endless exchange with us.
TEST(ServerTelnetCodec, AnsweringClientCannotStartALoop) {
    TServerTelnetCodec codec;
    std::string toServer = Unhex("ff fb 18 ff fc 18 ff fd 03 ff fe 03 ff fc 05 ff fe 05");
    for (int round = 0; round < 10 && !toServer.empty(); ++round) {
        const TFeedResult result = codec.Feed(toServer);
        toServer.clear();
        // The client's rule: WONT -> DONT, DONT -> WONT, WILL 3/DO 24 accepted.
        for (std::size_t i = 0; i + 2 < result.Replies.size(); i += 3) {
            const auto verb = static_cast<uint8_t>(result.Replies[i + 1]);
            const char option = result.Replies[i + 2];
            const uint8_t answer = verb == kWont ? kDont : verb == kDont ? kWont : 0;
            if (answer != 0) {
                toServer += TServerTelnetCodec::Command(answer, uint8_t(option));
            }
        }
    }
    EXPECT_EQ(Hex(toServer), "");
}

TEST(ServerTelnetCodec, CapsAnEndlessSubnegotiation) {
    TServerTelnetCodec codec;
    const TFeedResult result =
        codec.Feed(Unhex("ff fa 18") + std::string(100000, 'x') + Unhex("ff f0"));
    ASSERT_EQ(result.Events.size(), 1U);
    EXPECT_EQ(result.Events[0].Data.size(), 1024U);
}

TEST(ServerTelnetCodec, BuildsEscapedOutput) {
    EXPECT_EQ(Hex(TServerTelnetCodec::EscapeData(Unhex("41 ff 42 ff ff"))),
              "41 ff ff 42 ff ff ff ff");
    EXPECT_EQ(Hex(TServerTelnetCodec::Subnegotiation(kOptTerminalType, "\x01")),
              "ff fa 18 01 ff f0");
    EXPECT_EQ(Hex(TServerTelnetCodec::Subnegotiation(kOptNaws, Unhex("00 ff"))),
              "ff fa 1f 00 ff ff ff f0");
}

} // namespace
} // namespace pingvard::apsim
