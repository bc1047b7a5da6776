// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/telnet/telnet_client.h"

#include <algorithm>

namespace pingvard {

TTelnetClient::TTelnetClient() {
    Timeout = 60000;
    RemotePort = "telnet";
    TcpSocket.OnReceiveFilter = [this](TBlockingSocket& sender, std::string& chunk) {
        FilterReceived(sender, chunk);
    };
}

TTelnetClient::~TTelnetClient() {
    // Disconnect here, while the filter's target (this client) still exists.
    TcpSocket.Disconnect();
    TcpSocket.OnReceiveFilter = nullptr;
}

bool TTelnetClient::OpenSession() {
    m_parser.Reset();
    TcpSocket.Disconnect();
    TcpSocket.PendingInput.clear();
    TcpSocket.BindTo(BindAddress, "0");
    TcpSocket.ConnectTo(RemoteHost, RemotePort);
    return TcpSocket.LastErrorCode() == 0;
}

std::string TTelnetClient::ReadUntil(const std::string& terminator,
                                     std::optional<uint32_t> deadlineTick) {
    return TcpSocket.ReceiveUntil(Timeout, terminator, deadlineTick);
}

void TTelnetClient::SendEscaped(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        escaped.push_back(c);
        if (static_cast<uint8_t>(c) == kTelnetIac) {
            escaped.push_back(c);
        }
    }
    TcpSocket.SendText(escaped);
}

std::string TTelnetClient::ReadRemaining(int32_t quietMs, uint32_t deadlineTick) {
    std::string said;
    const std::size_t keep = TcpSocket.MaxPendingInput;
    for (;;) {
        const auto left = static_cast<int32_t>(deadlineTick - TcpSocket.Clock().Now());
        if (left <= 0 && TcpSocket.PendingInput.empty()) {
            break;
        }
        const std::string chunk = TcpSocket.ReceiveAvailable(std::clamp(left, 0, quietMs));
        if (keep == 0 || said.size() < keep) {
            said.append(chunk, 0, keep == 0 ? chunk.size() : keep - said.size());
        }
        if (TcpSocket.LastErrorCode() != 0) {
            break;
        }
    }
    return said;
}

void TTelnetClient::CloseSession() {
    TcpSocket.Disconnect();
}

void TTelnetClient::Abort() noexcept {
    TcpSocket.Abort();
}

void TTelnetClient::FilterReceived(TBlockingSocket& /*sender*/, std::string& chunk) {
    chunk = ProcessTelnetInput(chunk);
}

std::string TTelnetClient::ProcessTelnetInput(const std::string& chunk) {
    if (m_parser.TerminalType != TerminalType) {
        m_parser.TerminalType = TerminalType;
    }
    TTelnetOutput out = m_parser.Process(chunk);
    // Each reply is one write of its own, in order. After a failed one the rest
    // cannot get through either; its code stays as the receive's outcome.
    for (const std::string& reply : out.Replies) {
        if (TcpSocket.SendText(reply) < 0) {
            break;
        }
    }
    return std::move(out.Data);
}

} // namespace pingvard
