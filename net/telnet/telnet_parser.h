// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The telnet command layer as a pure state machine (no I/O): received bytes go
// in, the data bytes and the replies to send come out. State is kept between
// chunks, so a command split over two chunks is decoded as if it had come whole.
//
// Negotiation: the server's WILL SUPPRESS-GO-AHEAD (3) is accepted with DO, its DO
// TERMINAL-TYPE (24) with WILL; every other WILL/DO is refused, and every WONT /
// DONT is answered with DONT / WONT each time it arrives. A TERMINAL-TYPE SEND
// subnegotiation is answered with IS and TerminalType; any other subnegotiation
// with the empty frame IAC SB <option> IAC SE.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

inline constexpr uint8_t kTelnetIac = 255, kTelnetDont = 254, kTelnetDo = 253, kTelnetWont = 252,
                         kTelnetWill = 251, kTelnetSb = 250, kTelnetSe = 240;
inline constexpr uint8_t kTelnetOptSuppressGoAhead = 3, kTelnetOptTerminalType = 24;
inline constexpr uint8_t kTelnetTtypeIs = 0, kTelnetTtypeSend = 1;

enum class TTelnetState : uint8_t {
    psData,
    psCommand,
    psSubOption,
    psWill,
    psDo,
    psWont,
    psDont,
    psSubData,
    psSubDataCommand,
};

struct TTelnetOutput {
    std::string Data;                 // never longer than the input
    std::vector<std::string> Replies; // in order; each is written whole, on its own
};

class TTelnetParser {
public:
    // Subnegotiation bytes kept; further ones are dropped (only the first byte
    // decides the reply), so an endless subnegotiation cannot exhaust memory.
    static constexpr std::size_t kMaxSubData = 256;

    std::string TerminalType = "PINGVARD"; // sent unchanged (no doubling of 255)

    TTelnetOutput Process(std::string_view chunk);
    void Process(std::string_view chunk, TTelnetOutput& out);
    void Reset() noexcept; // back to psData, as at the start of a connection

    TTelnetState ParserState() const noexcept { return m_state; }
    uint8_t SubOption() const noexcept { return m_subOption; }
    const std::string& SubData() const noexcept { return m_subData; }

private:
    void Apply(uint8_t action, uint8_t b, TTelnetOutput& out);
    std::string SubnegotiationReply() const;

    TTelnetState m_state = TTelnetState::psData;
    uint8_t m_subOption = 0;
    std::string m_subData;
};

} // namespace pingvard
