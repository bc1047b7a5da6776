// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_codec.h"

namespace pingvard::apsim {
namespace {

// A client may send an endless subnegotiation; keep only what a terminal
// type or a window size could need.
constexpr std::size_t kMaxSubData = 1024;

using TKind = TTelnetEvent::TKind;

} // namespace

TServerTelnetCodec::TServerTelnetCodec() {
    m_localAccepted[kOptEcho] = true;
    m_localAccepted[kOptSga] = true;
    m_remoteAccepted[kOptTerminalType] = true;
    m_remoteAccepted[kOptNaws] = true;
}

std::string TServerTelnetCodec::Command(uint8_t verb, uint8_t option) {
    return std::string{static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string TServerTelnetCodec::EscapeData(std::string_view data) {
    if (data.find(static_cast<char>(kIac)) == std::string_view::npos) {
        return std::string(data); // the usual case, and the flood's
    }
    std::string out;
    out.reserve(data.size());
    for (char c : data) {
        out += c;
        if (static_cast<uint8_t>(c) == kIac) {
            out += c;
        }
    }
    return out;
}

std::string TServerTelnetCodec::Subnegotiation(uint8_t option, std::string_view data) {
    std::string out{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(option)};
    out += EscapeData(data);
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
    return out;
}

std::string TServerTelnetCodec::Offer(uint8_t verb, uint8_t option) {
    auto& state = verb == kWill ? m_local[option] : m_remote[option];
    if (state != TOptionState::No) {
        return {};
    }
    state = TOptionState::WantYes;
    return Command(verb, option);
}

TFeedResult TServerTelnetCodec::Feed(std::string_view bytes) {
    TFeedResult out;
    for (char c : bytes) {
        FeedByte(static_cast<uint8_t>(c), out);
    }
    return out;
}

void TServerTelnetCodec::FeedByte(uint8_t b, TFeedResult& out) {
    switch (m_parse) {
    case TParse::Data:
        if (b == kIac) {
            m_parse = TParse::Command;
        } else {
            out.Data += static_cast<char>(b);
        }
        return;
    case TParse::Command:
        m_parse = TParse::Data;
        if (b == kIac) {
            out.Data += static_cast<char>(b);
        } else if (b >= kWill && b <= kDont) {
            m_verb = b;
            m_parse = TParse::Verb;
        } else if (b == kSb) {
            m_subData.clear();
            m_parse = TParse::SubOption;
        } else if (b == kAyt) {
            out.Events.push_back({TKind::AreYouThere, 0, {}});
        } // NOP, GA, BRK and the rest carry nothing a console needs
        return;
    case TParse::Verb:
        m_parse = TParse::Data;
        OnVerb(m_verb, b, out);
        return;
    case TParse::SubOption:
        m_subOption = b;
        m_parse = TParse::SubData;
        return;
    case TParse::SubData:
    case TParse::SubDataCommand:
        FeedSubByte(b, out);
        return;
    }
}

void TServerTelnetCodec::FeedSubByte(uint8_t b, TFeedResult& out) {
    if (m_parse == TParse::SubData) {
        if (b == kIac) {
            m_parse = TParse::SubDataCommand;
        } else if (m_subData.size() < kMaxSubData) {
            m_subData += static_cast<char>(b);
        }
        return;
    }
    if (b == kIac) {
        if (m_subData.size() < kMaxSubData) {
            m_subData += static_cast<char>(b);
        }
        m_parse = TParse::SubData;
    } else if (b == kSe) {
        out.Events.push_back({TKind::Subnegotiation, m_subOption, std::move(m_subData)});
        m_subData.clear();
        m_parse = TParse::Data;
    } else {
        // RFC 855 leaves an unterminated frame undefined; drop it and take b
        // as the command it most likely is.
        m_subData.clear();
        m_parse = TParse::Command;
        FeedByte(b, out);
    }
}

void TServerTelnetCodec::OnVerb(uint8_t verb, uint8_t option, TFeedResult& out) {
    switch (verb) {
    case kWill:
    case kWont:
        OnPeerWill(option, verb == kWill, out);
        break;
    default:
        OnPeerDo(option, verb == kDo, out);
        break;
    }
}

// RFC 1143 section 7, "him" side, without the queue bits.
void TServerTelnetCodec::OnPeerWill(uint8_t option, bool will, TFeedResult& out) {
    auto& state = m_remote[option];
    if (will) {
        if (state == TOptionState::No) {
            const bool accept = m_remoteAccepted[option];
            out.Replies += Command(accept ? kDo : kDont, option);
            if (accept) {
                state = TOptionState::Yes;
                out.Events.push_back({TKind::RemoteEnabled, option, {}});
            }
        } else if (state == TOptionState::WantYes) {
            state = TOptionState::Yes;
            out.Events.push_back({TKind::RemoteEnabled, option, {}});
        } else if (state == TOptionState::WantNo) {
            state = TOptionState::No; // DONT answered by WILL: RFC 1143 says give up
        }
        return;
    }
    if (state == TOptionState::No) {
        return; // already off: answering would start a loop
    }
    if (state == TOptionState::Yes) {
        out.Replies += Command(kDont, option);
    }
    const bool wasOn = state != TOptionState::WantNo;
    state = TOptionState::No;
    if (wasOn) {
        out.Events.push_back({TKind::RemoteDisabled, option, {}});
    }
}

// RFC 1143 section 7, "us" side.
void TServerTelnetCodec::OnPeerDo(uint8_t option, bool doIt, TFeedResult& out) {
    auto& state = m_local[option];
    if (doIt) {
        if (state == TOptionState::No) {
            const bool accept = m_localAccepted[option];
            out.Replies += Command(accept ? kWill : kWont, option);
            if (accept) {
                state = TOptionState::Yes;
                out.Events.push_back({TKind::LocalEnabled, option, {}});
            }
        } else if (state == TOptionState::WantYes) {
            state = TOptionState::Yes;
            out.Events.push_back({TKind::LocalEnabled, option, {}});
        } else if (state == TOptionState::WantNo) {
            state = TOptionState::No;
        }
        return;
    }
    if (state == TOptionState::No) {
        return;
    }
    if (state == TOptionState::Yes) {
        out.Replies += Command(kWont, option);
    }
    const bool wasOn = state != TOptionState::WantNo;
    state = TOptionState::No;
    if (wasOn) {
        out.Events.push_back({TKind::LocalDisabled, option, {}});
    }
}

} // namespace pingvard::apsim
