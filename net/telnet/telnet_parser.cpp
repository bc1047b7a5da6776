// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/telnet/telnet_parser.h"

namespace pingvard {
namespace {

using S = TTelnetState;

enum TAction : uint8_t {
    kNone,
    kEmit,         // append b to the data
    kEmitIac,      // append one byte 255 to the data
    kStartSub,     // SubOption := 0, SubData := empty
    kSetSubOption, // SubOption := b
    kAppendSub,    // append b to SubData
    kReplyDo,
    kReplyDont,
    kReplyWill,
    kReplyWont,
    kSubReply, // send the subnegotiation reply
};

constexpr int kAnyByte = -1;

struct TRow {
    S State;
    int Byte; // kAnyByte matches every byte not matched by an earlier row of the state
    TAction Action;
    S Next;
};

// The parser, row for row (RFC 854 command codes).
constexpr TRow kRows[] = {
    {S::psData, kTelnetIac, kNone, S::psCommand},
    {S::psData, kAnyByte, kEmit, S::psData},
    {S::psCommand, kTelnetSb, kStartSub, S::psSubOption},
    {S::psCommand, kTelnetWill, kNone, S::psWill},
    {S::psCommand, kTelnetWont, kNone, S::psWont},
    {S::psCommand, kTelnetDo, kNone, S::psDo},
    {S::psCommand, kTelnetDont, kNone, S::psDont},
    {S::psCommand, kTelnetIac, kEmitIac, S::psData},
    {S::psCommand, kAnyByte, kNone, S::psData}, // IAC and b dropped (GA, NOP, ...)
    {S::psSubOption, kAnyByte, kSetSubOption, S::psSubData},
    {S::psWill, kTelnetOptSuppressGoAhead, kReplyDo, S::psData},
    {S::psWill, kAnyByte, kReplyDont, S::psData},
    {S::psDo, kTelnetOptTerminalType, kReplyWill, S::psData},
    {S::psDo, kAnyByte, kReplyWont, S::psData},
    {S::psWont, kAnyByte, kReplyDont, S::psData},
    {S::psDont, kAnyByte, kReplyWont, S::psData},
    {S::psSubData, kTelnetIac, kNone, S::psSubDataCommand},
    {S::psSubData, kAnyByte, kAppendSub, S::psSubData},
    {S::psSubDataCommand, kTelnetSe, kSubReply, S::psData},
    {S::psSubDataCommand, kTelnetIac, kAppendSub, S::psSubData},
    {S::psSubDataCommand, kAnyByte, kNone, S::psData}, // abandoned without a reply
};

constexpr std::size_t kStateCount = static_cast<std::size_t>(S::psSubDataCommand) + 1;

struct TCell {
    TAction Action = kNone;
    S Next = S::psData;
};

using TTable = std::array<std::array<TCell, 256>, kStateCount>;

// Expands the rows into a lookup per (state, byte); the first matching row wins.
constexpr TTable BuildTable() {
    TTable table{};
    std::array<std::array<bool, 256>, kStateCount> set{};
    for (const TRow& row : kRows) {
        const auto state = static_cast<std::size_t>(row.State);
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<std::size_t>(b);
            if (!set[state][byte] && (row.Byte == kAnyByte || row.Byte == b)) {
                table[state][byte] = {row.Action, row.Next};
                set[state][byte] = true;
            }
        }
    }
    return table;
}

constexpr TTable kTable = BuildTable();

std::string Command(uint8_t verb, uint8_t option) {
    return {static_cast<char>(kTelnetIac), static_cast<char>(verb), static_cast<char>(option)};
}

} // namespace

TTelnetOutput TTelnetParser::Process(std::string_view chunk) {
    TTelnetOutput out;
    Process(chunk, out);
    return out;
}

void TTelnetParser::Process(std::string_view chunk, TTelnetOutput& out) {
    out.Data.reserve(out.Data.size() + chunk.size());
    for (const char c : chunk) {
        const auto b = static_cast<uint8_t>(c);
        const TCell& cell = kTable[static_cast<std::size_t>(m_state)][b];
        Apply(cell.Action, b, out);
        m_state = cell.Next;
    }
}

void TTelnetParser::Apply(uint8_t action, uint8_t b, TTelnetOutput& out) {
    switch (action) {
    case kEmit:
        out.Data.push_back(static_cast<char>(b));
        break;
    case kEmitIac:
        out.Data.push_back(static_cast<char>(kTelnetIac));
        break;
    case kStartSub:
        m_subOption = 0;
        m_subData.clear();
        break;
    case kSetSubOption:
        m_subOption = b;
        break;
    case kAppendSub:
        if (m_subData.size() < kMaxSubData) {
            m_subData.push_back(static_cast<char>(b));
        }
        break;
    case kReplyDo:
        out.Replies.push_back(Command(kTelnetDo, b));
        break;
    case kReplyDont:
        out.Replies.push_back(Command(kTelnetDont, b));
        break;
    case kReplyWill:
        out.Replies.push_back(Command(kTelnetWill, b));
        break;
    case kReplyWont:
        out.Replies.push_back(Command(kTelnetWont, b));
        break;
    case kSubReply:
        out.Replies.push_back(SubnegotiationReply());
        break;
    default:
        break;
    }
}

std::string TTelnetParser::SubnegotiationReply() const {
    std::string reply{static_cast<char>(kTelnetIac), static_cast<char>(kTelnetSb),
                      static_cast<char>(m_subOption)};
    if (m_subOption == kTelnetOptTerminalType && !m_subData.empty() &&
        static_cast<uint8_t>(m_subData[0]) == kTelnetTtypeSend) {
        reply.push_back(static_cast<char>(kTelnetTtypeIs));
        reply += TerminalType;
    }
    reply.push_back(static_cast<char>(kTelnetIac));
    reply.push_back(static_cast<char>(kTelnetSe));
    return reply;
}

void TTelnetParser::Reset() noexcept {
    m_state = TTelnetState::psData;
}

} // namespace pingvard
