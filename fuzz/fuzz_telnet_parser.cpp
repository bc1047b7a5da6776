// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzer for the telnet command parser. The input is a byte stream plus a way of
// cutting it into chunks. Checks, for every chunking: each chunk's data is no
// longer than the chunk; every reply is a three-byte verb or a complete
// subnegotiation frame; data and replies equal those of the whole stream fed at
// once, and equal those of a reference machine written here from the protocol
// table (RFC 854/855 negotiation as the client answers it).
#include "net/telnet/telnet_parser.h"

#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kSe = 240;

struct TTranscript {
    std::string Data;
    std::vector<std::string> Replies;
    bool operator==(const TTranscript&) const = default;
};

// The reference: one switch per state, kept deliberately plain.
class TReferenceParser {
public:
    explicit TReferenceParser(std::string terminalType) : m_terminalType(std::move(terminalType)) {}

    void Feed(std::string_view bytes, TTranscript& out) {
        for (char c : bytes) {
            Step(static_cast<uint8_t>(c), out);
        }
    }

private:
    enum class S { Data, Command, SubOption, Will, Do, Wont, Dont, SubData, SubDataCommand };

    static std::string Verb(uint8_t verb, uint8_t option) {
        return std::string{static_cast<char>(kIac), static_cast<char>(verb),
                           static_cast<char>(option)};
    }

    std::string Frame() const {
        std::string frame{static_cast<char>(kIac), static_cast<char>(kSb),
                          static_cast<char>(m_option)};
        if (m_option == 24 && !m_sub.empty() && m_sub[0] == 1) {
            frame += '\0';
            frame += m_terminalType;
        }
        frame += static_cast<char>(kIac);
        frame += static_cast<char>(kSe);
        return frame;
    }

    void Step(uint8_t b, TTranscript& out) {
        switch (m_state) {
        case S::Data:
            if (b == kIac) {
                m_state = S::Command;
            } else {
                out.Data += static_cast<char>(b);
            }
            return;
        case S::Command:
            m_state = S::Data;
            if (b == kSb) {
                m_option = 0;
                m_sub.clear();
                m_state = S::SubOption;
            } else if (b == kWill) {
                m_state = S::Will;
            } else if (b == kWont) {
                m_state = S::Wont;
            } else if (b == kDo) {
                m_state = S::Do;
            } else if (b == kDont) {
                m_state = S::Dont;
            } else if (b == kIac) {
                out.Data += static_cast<char>(kIac);
            }
            return;
        case S::SubOption:
            m_option = b;
            m_state = S::SubData;
            return;
        case S::Will:
            out.Replies.push_back(Verb(b == 3 ? kDo : kDont, b));
            m_state = S::Data;
            return;
        case S::Do:
            out.Replies.push_back(Verb(b == 24 ? kWill : kWont, b));
            m_state = S::Data;
            return;
        case S::Wont:
            out.Replies.push_back(Verb(kDont, b));
            m_state = S::Data;
            return;
        case S::Dont:
            out.Replies.push_back(Verb(kWont, b));
            m_state = S::Data;
            return;
        case S::SubData:
            if (b == kIac) {
                m_state = S::SubDataCommand;
            } else {
                m_sub += static_cast<char>(b);
            }
            return;
        case S::SubDataCommand:
            if (b == kSe) {
                out.Replies.push_back(Frame());
                m_state = S::Data;
            } else if (b == kIac) {
                m_sub += static_cast<char>(kIac);
                m_state = S::SubData;
            } else {
                m_state = S::Data;
            }
            return;
        }
    }

    std::string m_terminalType;
    S m_state = S::Data;
    uint8_t m_option = 0;
    std::string m_sub;
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "telnet parser: %s\n", what);
    std::abort();
}

void CheckReply(const std::string& reply, const std::string& terminalType) {
    auto byte = [&](std::size_t i) { return static_cast<uint8_t>(reply[i]); };
    if (reply.size() == 3) {
        if (byte(0) != kIac || byte(1) < kWill || byte(1) > kDont) {
            Fail("a three-byte reply is not IAC WILL/WONT/DO/DONT <option>");
        }
        return;
    }
    if (reply.size() < 5 || byte(0) != kIac || byte(1) != kSb || byte(reply.size() - 2) != kIac ||
        byte(reply.size() - 1) != kSe) {
        Fail("a reply is neither a verb nor a complete IAC SB ... IAC SE frame");
    }
    const std::string body = reply.substr(3, reply.size() - 5);
    if (!body.empty() && (byte(2) != 24 || body != std::string(1, '\0') + terminalType)) {
        Fail("a subnegotiation reply carries something other than IS <terminal type>");
    }
}

TTranscript RunChunked(const std::string& stream, const std::vector<std::size_t>& cuts,
                       const std::string& terminalType) {
    pingvard::TTelnetParser parser;
    parser.TerminalType = terminalType;
    TTranscript all;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::size_t end = i < cuts.size() ? cuts[i] : stream.size();
        const std::string_view chunk = std::string_view(stream).substr(begin, end - begin);
        const pingvard::TTelnetOutput out = parser.Process(chunk);
        if (out.Data.size() > chunk.size()) {
            Fail("a chunk's data is longer than the chunk");
        }
        all.Data += out.Data;
        for (const std::string& reply : out.Replies) {
            CheckReply(reply, terminalType);
            all.Replies.push_back(reply);
        }
        begin = end;
    }
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    // Mostly the product's name; sometimes any bytes, 255 included, which must go
    // out unchanged.
    std::string terminalType = "PINGVARD";
    if (input.ConsumeBool()) {
        terminalType = input.ConsumeRandomLengthString(16);
    }
    const uint64_t cutSeed = input.ConsumeIntegral<uint64_t>();
    const std::string stream = input.ConsumeRemainingBytesAsString();

    TTranscript expected;
    TReferenceParser(terminalType).Feed(stream, expected);
    if (RunChunked(stream, {}, terminalType) != expected) {
        Fail("the whole stream decodes differently from the reference");
    }
    // Cuts from the seed: one chunking of many small and a few large pieces, then
    // the extreme of one byte per chunk.
    std::vector<std::size_t> cuts;
    uint64_t state = cutSeed | 1;
    for (std::size_t at = 0; at < stream.size();) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        at += 1 + state % 7;
        if (at < stream.size()) {
            cuts.push_back(at);
        }
    }
    if (RunChunked(stream, cuts, terminalType) != expected) {
        Fail("the result depends on how the stream is cut into chunks");
    }
    cuts.clear();
    for (std::size_t at = 1; at < stream.size(); ++at) {
        cuts.push_back(at);
    }
    if (RunChunked(stream, cuts, terminalType) != expected) {
        Fail("one byte per chunk decodes differently from the whole stream");
    }
    return 0;
}
