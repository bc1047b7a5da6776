#pragma once

#include "net/blocking_socket.h"

#include <cstddef>

namespace pingvard {

// Stream socket. The connect is non-blocking plus an abortable wait, so only the
// operating system's own connection time-out (or Abort()) limits it.
class TTcpSocket : public TProxySocket {
public:
    // Upper bound on what Disconnect reads and discards while draining, so a peer
    // that keeps streaming cannot hold the close forever.
    static constexpr std::size_t kMaxDrainBytes = 256 * 1024;

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
