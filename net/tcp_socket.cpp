// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/tcp_socket.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <utility>

namespace pingvard {

TTcpSocket::~TTcpSocket() {
    Disconnect();
}

void TTcpSocket::Disconnect() {
    if (SocketHandle() >= 0) {
        ::shutdown(SocketHandle(), SHUT_WR);
        // Reading what is still on its way lets the peer see an orderly close
        // instead of a reset; the bound keeps a streaming peer from holding us.
        // Closing never raises: it also runs from the destructor.
        const bool raiseOnError = std::exchange(RaiseOnError, false);
        m_maxChunk = kDrainChunk;
        for (int reads = 0; reads < kMaxDrainReads; ++reads) {
            ReceiveAvailable(0);
            if (LastErrorCode() != 0) {
                break;
            }
        }
        m_maxChunk = kMaxStreamRead;
        RaiseOnError = raiseOnError;
    }
    TBlockingSocket::Disconnect();
}

void TTcpSocket::StartListening() {
    // The call first: as one argument list, errno could be read before listen ran.
    const int listening = ::listen(SocketHandle(), 0x7FFFFFFF);
    CheckResult(listening, errno);
    if (LastErrorCode() == 0) {
        Notify(TSocketStatus::Listening, LocalAddressText());
    }
    RaiseIfFailed();
}

int TTcpSocket::SocketType() const {
    return SOCK_STREAM;
}

int TTcpSocket::SocketProtocol() const {
    return IPPROTO_TCP;
}

} // namespace pingvard
