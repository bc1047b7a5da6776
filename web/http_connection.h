// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One client connection as the listener keeps it, without the socket: the
// bytes read and still to send, its phase, and the deadline of that phase,
// on a clock the caller passes in (tests use their own). The listener's loop
// moves bytes between it and the socket and answers the requests it yields.
//
//   accepted ──> Waiting ──first byte──> Reading ──request──> Answering
//                   ^                                            │ Answer()
//                   └──────────── kept alive <── Writing <───────┘
//                                                   │ close
//                                                   v
//                                               Lingering ──peer closed / deadline──> Closed
//
// Waiting and Reading end RequestTimeout after the connection was accepted,
// or after the first byte of a later request; a kept-alive connection waits
// IdleTimeout for that byte. An answer must be sent within WriteTimeout.

#include "web/http_limits.h"
#include "web/http_parser.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pingvard {

using THttpClock = std::chrono::steady_clock;

enum class THttpPhase { Waiting, Reading, Answering, Writing, Lingering, Closed };

// What the connection asks of the listener.
struct THttpTurn {
    std::optional<THttpRequest> Request; // answer it with Answer()
    int RefuseStatus = 0;                // or answer this error and close
    bool Close = false;                  // close once the answer is sent
};

class THttpConnection {
public:
    THttpConnection(const THttpLimits& limits, THttpClock::time_point now);

    THttpPhase Phase() const noexcept { return m_phase; }
    bool WantsRead() const noexcept;
    bool WantsWrite() const noexcept { return !m_output.empty(); }
    THttpClock::time_point Deadline() const noexcept { return m_deadline; }

    // Bytes the socket gave; the peer's end of input.
    void Received(std::string_view bytes, THttpClock::time_point now);
    void PeerClosed(THttpClock::time_point now);

    // The next request once no answer is pending (Answering then), or the
    // error its bytes amount to; nothing while more is needed.
    THttpTurn Next(THttpClock::time_point now);
    // The whole answer to the request (or refusal) Next() gave.
    void Answer(std::string bytes, bool close, THttpClock::time_point now);

    std::string_view Output() const noexcept { return m_output; }
    // n bytes of Output() went out. True when the answer is all sent and the
    // connection is to close: the caller shuts the socket's sending side.
    bool Sent(std::size_t n, THttpClock::time_point now);

    // At the deadline. True: the client was sending (or owes) a request, and
    // the caller answers 408 with Answer(), which closes after a short
    // linger; false: the connection is Closed.
    bool Expire(THttpClock::time_point now);

    // The socket failed or the listener gives up on it: Closed.
    void Close(THttpClock::time_point now) { Enter(THttpPhase::Closed, now); }

    // Which connection goes first when the listener is full: lower first.
    // Lingering ones, then those waiting for a request by how long they have
    // waited, then those answering by how long their answer has been pending.
    std::pair<int, THttpClock::time_point> EvictionRank() const noexcept;

private:
    void Enter(THttpPhase phase, THttpClock::time_point now);

    const THttpLimits& m_limits;
    THttpRequestParser m_parser;
    THttpPhase m_phase = THttpPhase::Waiting;
    THttpClock::time_point m_since;    // when the current phase began counting
    THttpClock::time_point m_deadline; // when it ends
    bool m_keptAlive = false;          // Waiting for a later request
    bool m_peerClosed = false;
    bool m_closeAfter = false;
    bool m_continueSent = false;
    bool m_expired = false;
    std::string m_output;
};

} // namespace pingvard
