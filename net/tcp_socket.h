// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/blocking_socket.h"

#include <cstddef>

namespace pingvard {

// Stream socket. The connect is non-blocking plus an abortable wait, so only the
// operating system's own connection time-out (or Abort()) limits it.
class TTcpSocket : public TProxySocket {
public:
    // Upper bound on the reads Disconnect makes while draining, so a peer that
    // keeps streaming (data or telnet commands) cannot hold the close forever.
    static constexpr int kMaxDrainReads = 64;
    static constexpr std::size_t kDrainChunk = 16 * 1024;

    // Tunnel and encryption settings: never set in this system, not built.
    bool TunnelEnabled = false;
    bool EncryptionEnabled = false;

    ~TTcpSocket() override;

    // Shuts the sending direction down, reads and discards whatever can be read
    // without waiting (PendingInput first, each chunk through OnReceiveFilter)
    // until a read fails, then closes.
    void Disconnect() override;
    void StartListening();

    int SocketType() const override;
    int SocketProtocol() const override;
};

} // namespace pingvard
