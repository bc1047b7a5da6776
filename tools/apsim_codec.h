// SPDX-License-Identifier: GPL-3.0-or-later
// Server end of the telnet protocol for the access-point simulator: a pure
// state machine (no I/O). Bytes from the client go in; the data bytes, the
// negotiation replies to write back and the events the console reacts to come
// out. Option state follows RFC 1143 (without its queue bits), so that a
// client that answers every WONT/DONT can never drive the two ends into a loop.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard::apsim {

inline constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                         kAyt = 246, kSe = 240;
inline constexpr uint8_t kOptEcho = 1, kOptSga = 3, kOptTerminalType = 24, kOptNaws = 31;
inline constexpr uint8_t kTtypeIs = 0, kTtypeSend = 1;

enum class TOptionState : uint8_t { No, Yes, WantNo, WantYes };

struct TTelnetEvent {
    enum class TKind : uint8_t {
        LocalEnabled,   // we now perform the option (client said DO)
        LocalDisabled,  // we stopped, or our offer was refused
        RemoteEnabled,  // the client now performs it (client said WILL)
        RemoteDisabled, // the client stopped, or refused our request
        Subnegotiation, // IAC SB option data IAC SE, data unescaped
        AreYouThere,    // IAC AYT
    };
    TKind Kind;
    uint8_t Option = 0;
    std::string Data;
};

struct TFeedResult {
    std::string Data;    // plain data bytes, IAC IAC folded to one 255
    std::string Replies; // negotiation replies, to be written in this order
    std::vector<TTelnetEvent> Events;
};

class TServerTelnetCodec {
public:
    TServerTelnetCodec();

    // Options this end agrees to when the client asks: we perform ECHO and
    // SUPPRESS-GO-AHEAD; the client may perform TERMINAL-TYPE and NAWS.
    void SetLocalAccepted(uint8_t option, bool accepted) { m_localAccepted[option] = accepted; }
    void SetRemoteAccepted(uint8_t option, bool accepted) { m_remoteAccepted[option] = accepted; }

    // IAC WILL/DO option, with the option marked as asked for; empty when the
    // option is already on or already asked for (RFC 1143: never repeat).
    std::string Offer(uint8_t verb, uint8_t option);

    TFeedResult Feed(std::string_view bytes);

    TOptionState Local(uint8_t option) const { return m_local[option]; }
    TOptionState Remote(uint8_t option) const { return m_remote[option]; }

    static std::string EscapeData(std::string_view data); // doubles every 255
    static std::string Command(uint8_t verb, uint8_t option);
    static std::string Subnegotiation(uint8_t option, std::string_view data);

private:
    enum class TParse : uint8_t { Data, Command, Verb, SubOption, SubData, SubDataCommand };

    void OnVerb(uint8_t verb, uint8_t option, TFeedResult& out);
    void OnPeerWill(uint8_t option, bool will, TFeedResult& out);
    void OnPeerDo(uint8_t option, bool doIt, TFeedResult& out);
    void FeedByte(uint8_t b, TFeedResult& out);
    void FeedSubByte(uint8_t b, TFeedResult& out);

    std::array<TOptionState, 256> m_local{};
    std::array<TOptionState, 256> m_remote{};
    std::array<bool, 256> m_localAccepted{};
    std::array<bool, 256> m_remoteAccepted{};
    TParse m_parse = TParse::Data;
    uint8_t m_verb = 0;
    uint8_t m_subOption = 0;
    std::string m_subData;
};

} // namespace pingvard::apsim
