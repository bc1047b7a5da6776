// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Telnet client: the caller sees a plain byte stream; option negotiation is
// answered from inside the receive that brought it, each reply as its own write.
//
// Pending text is bounded: while ReadUntil has not found its terminator it keeps
// at most the newest TcpSocket.MaxPendingInput bytes (64 KiB by default, and at
// least terminator length - 1 so a split terminator is still found); older bytes
// are dropped. A peer that streams forever therefore cannot exhaust memory, and
// ReadUntil's optional deadline tick stops a peer that trickles bytes forever.

#include "net/net_client.h"
#include "net/tcp_socket.h"
#include "net/telnet/telnet_parser.h"
#include "net/tick_clock.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pingvard {

class TTelnetClient : public TNetClient {
public:
    TTelnetClient(); // Timeout 60000, RemotePort "telnet"
    ~TTelnetClient();
    TTelnetClient(const TTelnetClient&) = delete;
    TTelnetClient& operator=(const TTelnetClient&) = delete;

    TTcpSocket TcpSocket; // the reset session reads TcpSocket.LastErrorCode()
    std::string TerminalType = "PINGVARD";

    // Connects to RemoteHost:RemotePort (after ending any earlier connection);
    // sends nothing. Only the OS's connection time-out or Abort() limits it.
    bool OpenSession();
    // The text before the terminator; "" when it did not arrive (LastErrorCode
    // 10060 after a silent Timeout, 10054 once the server has closed, at once on
    // every later call), with everything received kept pending. Each wait lasts
    // up to Timeout; with deadlineTick, never past that tick (then "" with 10060).
    std::string ReadUntil(const std::string& terminator,
                          std::optional<uint32_t> deadlineTick = std::nullopt);
    void SendEscaped(const std::string& text); // doubles every byte 255, one send
    // What the server still says, pending text first, until it closes the
    // connection (LastErrorCode 10054), a read fails, nothing arrives for
    // quietMs (10060) or deadlineTick passes (0). Every byte passes the telnet filter, so
    // negotiation is still answered. Keeps the first TcpSocket.MaxPendingInput
    // bytes (all when 0) and reads past them without keeping them.
    std::string ReadRemaining(int32_t quietMs, uint32_t deadlineTick);
    void CloseSession();
    void Abort() noexcept; // thread-safe
    void SetClock(const TTickClock& clock) noexcept { TcpSocket.SetClock(clock); }

private:
    void FilterReceived(TBlockingSocket& sender, std::string& chunk);
    std::string ProcessTelnetInput(const std::string& chunk);

    TTelnetParser m_parser;
};

} // namespace pingvard
