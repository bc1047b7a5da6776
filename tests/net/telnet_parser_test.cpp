// SPDX-License-Identifier: GPL-3.0-or-later
#include "hex.h"
#include "net/telnet/telnet_parser.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pingvard {
namespace {

using test::FromHex;
using test::ToHex;

// One golden transcript: received chunks in hex ('|' separates chunks), the data
// the caller must see and the replies the client must write, each on its own.
struct TTranscript {
    const char* Name;
    const char* Input;
    const char* Data;
    std::vector<const char*> Replies;
};

constexpr const char* kTtypeIsPingvard = "ff fa 18 00 50 49 4e 47 56 41 52 44 ff f0";

const TTranscript kTranscripts[] = {
    // Rows of psData.
    {"PlainDataPassesThrough", "41 42 43", "41 42 43", {}},
    {"NulLineFeedAndCarriageReturnPassUnchanged", "00 0a 0d", "00 0a 0d", {}},
    // Rows of psCommand.
    {"DoubledIacIsOneDataByte", "41 ff ff 42", "41 ff 42", {}},
    {"IacWithOtherCommandIsDropped", "41 ff f1 42 ff f9 43", "41 42 43", {}},
    {"WillSuppressGoAheadIsAccepted", "ff fb 03", "", {"ff fd 03"}},
    {"WillOtherOptionIsRefused", "ff fb 18", "", {"ff fe 18"}},
    {"DoTerminalTypeIsAccepted", "ff fd 18", "", {"ff fb 18"}},
    {"DoOtherOptionIsRefused", "ff fd 03", "", {"ff fc 03"}},
    {"WontIsAnsweredWithDont", "ff fc 03", "", {"ff fe 03"}},
    {"DontIsAnsweredWithWont", "ff fe 18", "", {"ff fc 18"}},
    {"WontIsAnsweredEachTime", "ff fc 01 ff fc 01", "", {"ff fe 01", "ff fe 01"}},
    // Rows of the subnegotiation states.
    {"TerminalTypeSendIsAnsweredWithIs", "ff fa 18 01 ff f0", "", {kTtypeIsPingvard}},
    {"WindowSizeGetsTheEmptyFrame", "ff fa 1f 00 50 00 18 ff f0", "", {"ff fa 1f ff f0"}},
    {"TerminalTypeIsGetsTheEmptyFrame", "ff fa 18 00 41 ff f0", "", {"ff fa 18 ff f0"}},
    {"EmptySubnegotiationGetsTheEmptyFrame", "ff fa 18 ff f0", "", {"ff fa 18 ff f0"}},
    {"DoubledIacInsideSubnegotiationIsData", "ff fa 18 ff ff ff f0", "", {"ff fa 18 ff f0"}},
    {"SubnegotiationBrokenByOtherCommandIsAbandoned", "ff fa 18 01 ff 41 42", "42", {}},
    // Edge cases of whole exchanges.
    {"FourOffersInOneChunk",
     "ff fb 01 ff fb 03 ff fd 18 ff fd 1f",
     "",
     {"ff fe 01", "ff fd 03", "ff fb 18", "ff fc 1f"}},
    {"CommandsBetweenData", "4c 6f ff fb 03 67 69 6e 3a", "4c 6f 67 69 6e 3a", {"ff fd 03"}},
    {"CommandSplitAfterIac", "41 ff | fd 18 42", "41 42", {"ff fb 18"}},
    {"CommandSplitAfterVerb", "ff fb | 03", "", {"ff fd 03"}},
    {"DoubledIacSplit", "41 ff | ff 42", "41 ff 42", {}},
    {"SubnegotiationSplitOverChunks", "ff fa | 18 | 01 ff | f0", "", {kTtypeIsPingvard}},
    {"PromptSplitOverChunks", "43 6f 6d 6d | 61 6e 64 3e", "43 6f 6d 6d 61 6e 64 3e", {}},
};

class TelnetTranscriptTest : public testing::TestWithParam<TTranscript> {};

TEST_P(TelnetTranscriptTest, YieldsDataAndReplies) {
    const TTranscript& transcript = GetParam();
    TTelnetParser parser;
    TTelnetOutput out;
    std::string_view input = transcript.Input;
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t bar = std::min(input.find('|', start), input.size());
        const std::string chunk = FromHex(input.substr(start, bar - start));
        const std::size_t before = out.Data.size();
        parser.Process(chunk, out);
        EXPECT_LE(out.Data.size() - before, chunk.size());
        start = bar + 1;
    }
    EXPECT_EQ(ToHex(out.Data), ToHex(FromHex(transcript.Data)));
    std::vector<std::string> expected;
    for (const char* reply : transcript.Replies) {
        expected.push_back(ToHex(FromHex(reply)));
    }
    std::vector<std::string> actual;
    for (const std::string& reply : out.Replies) {
        actual.push_back(ToHex(reply));
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(parser.ParserState(), TTelnetState::psData);
}

INSTANTIATE_TEST_SUITE_P(Golden, TelnetTranscriptTest, testing::ValuesIn(kTranscripts),
                         [](const testing::TestParamInfo<TTranscript>& p) {
                             return std::string(p.param.Name);
                         });

TEST(TelnetParser, KeepsStateBetweenChunks) {
    TTelnetParser parser;
    parser.Process(FromHex("ff"));
    EXPECT_EQ(parser.ParserState(), TTelnetState::psCommand);
    parser.Process(FromHex("fa 18 01"));
    EXPECT_EQ(parser.ParserState(), TTelnetState::psSubData);
    EXPECT_EQ(parser.SubOption(), 24);
    EXPECT_EQ(parser.SubData(), FromHex("01"));
    parser.Reset();
    EXPECT_EQ(parser.ParserState(), TTelnetState::psData);
}

TEST(TelnetParser, SendsTheConfiguredTerminalTypeUnescaped) {
    TTelnetParser parser;
    parser.TerminalType = "X\xff";
    const TTelnetOutput out = parser.Process(FromHex("ff fa 18 01 ff f0"));
    ASSERT_EQ(out.Replies.size(), 1U);
    EXPECT_EQ(ToHex(out.Replies[0]), "ff fa 18 00 58 ff ff f0");
}

TEST(TelnetParser, BoundsAnEndlessSubnegotiation) {
    TTelnetParser parser;
    parser.Process(FromHex("ff fa 18 01"));
    parser.Process(std::string(100000, 'x'));
    EXPECT_LE(parser.SubData().size(), TTelnetParser::kMaxSubData);
    const TTelnetOutput out = parser.Process(FromHex("ff f0"));
    ASSERT_EQ(out.Replies.size(), 1U);
    EXPECT_EQ(ToHex(out.Replies[0]), ToHex(FromHex(kTtypeIsPingvard)));
}

} // namespace
} // namespace pingvard
