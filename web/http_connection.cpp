// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_connection.h"

namespace pingvard {

namespace {

constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

} // namespace

THttpConnection::THttpConnection(const THttpLimits& limits, THttpClock::time_point now)
    : m_limits(limits), m_parser(limits) {
    Enter(THttpPhase::Waiting, now);
}

void THttpConnection::Enter(THttpPhase phase, THttpClock::time_point now) {
    m_phase = phase;
    m_since = now;
    switch (phase) {
    case THttpPhase::Waiting:
        m_deadline = now + (m_keptAlive ? m_limits.IdleTimeout : m_limits.RequestTimeout);
        break;
    case THttpPhase::Reading:
        m_deadline = now + m_limits.RequestTimeout;
        break;
    case THttpPhase::Writing:
        m_deadline = now + m_limits.WriteTimeout;
        break;
    case THttpPhase::Lingering:
        m_deadline = now + m_limits.LingerTimeout;
        break;
    case THttpPhase::Answering:
    case THttpPhase::Closed:
        break;
    }
}

bool THttpConnection::WantsRead() const noexcept {
    if (m_phase == THttpPhase::Lingering) {
        return true; // read and dropped until the peer closes
    }
    return (m_phase == THttpPhase::Waiting || m_phase == THttpPhase::Reading) && m_output.empty() &&
           !m_peerClosed;
}

void THttpConnection::Received(std::string_view bytes, THttpClock::time_point now) {
    if (m_phase != THttpPhase::Waiting && m_phase != THttpPhase::Reading) {
        return;
    }
    m_parser.Push(bytes);
    if (m_phase == THttpPhase::Waiting && m_parser.Started()) {
        if (m_keptAlive) {
            Enter(THttpPhase::Reading, now);
        } else {
            m_phase = THttpPhase::Reading; // still counted from the accept
        }
    }
}

void THttpConnection::PeerClosed(THttpClock::time_point now) {
    m_peerClosed = true;
    m_closeAfter = true;
    if (m_phase == THttpPhase::Lingering) {
        Enter(THttpPhase::Closed, now);
    }
}

THttpTurn THttpConnection::Next(THttpClock::time_point now) {
    THttpTurn turn;
    if ((m_phase != THttpPhase::Waiting && m_phase != THttpPhase::Reading) || !m_output.empty()) {
        return turn;
    }
    switch (m_parser.Parse()) {
    case THttpParse::Request:
        turn.Close = m_parser.CloseAfter() || m_peerClosed;
        turn.Request = m_parser.Take();
        Enter(THttpPhase::Answering, now);
        break;
    case THttpParse::Error:
        turn.RefuseStatus = m_parser.ErrorStatus();
        turn.Close = true;
        Enter(THttpPhase::Answering, now);
        break;
    case THttpParse::NeedMore:
        if (m_peerClosed) {
            Enter(THttpPhase::Closed, now); // the request can never be whole
        } else if (m_parser.WantsContinue() && !m_continueSent) {
            m_output = kContinue;
            m_continueSent = true;
        } else if (m_phase == THttpPhase::Waiting && m_keptAlive && m_parser.Started()) {
            Enter(THttpPhase::Reading, now);
        }
        break;
    }
    return turn;
}

void THttpConnection::Answer(std::string bytes, bool close, THttpClock::time_point now) {
    m_output += bytes;
    m_closeAfter = m_closeAfter || close;
    m_continueSent = false;
    Enter(THttpPhase::Writing, now);
    if (m_expired) {
        m_deadline = now + m_limits.LingerTimeout; // a 408 gets no longer than the linger
    }
}

bool THttpConnection::Sent(std::size_t n, THttpClock::time_point now) {
    m_output.erase(0, n);
    if (!m_output.empty() || m_phase != THttpPhase::Writing) {
        return false;
    }
    if (m_closeAfter) {
        Enter(THttpPhase::Lingering, now);
        return true;
    }
    m_keptAlive = true;
    Enter(m_parser.Started() ? THttpPhase::Reading : THttpPhase::Waiting, now);
    return false;
}

bool THttpConnection::Expire(THttpClock::time_point now) {
    const bool first = !m_keptAlive || m_phase == THttpPhase::Reading;
    if ((m_phase == THttpPhase::Waiting || m_phase == THttpPhase::Reading) && first &&
        m_output.empty()) {
        m_closeAfter = m_expired = true;
        Enter(THttpPhase::Answering, now);
        return true;
    }
    Enter(THttpPhase::Closed, now);
    return false;
}

std::pair<int, THttpClock::time_point> THttpConnection::EvictionRank() const noexcept {
    switch (m_phase) {
    case THttpPhase::Lingering:
    case THttpPhase::Closed:
        return {0, m_since};
    case THttpPhase::Waiting:
    case THttpPhase::Reading:
        return {1, m_since};
    case THttpPhase::Answering:
    case THttpPhase::Writing:
        break;
    }
    return {2, m_since};
}

} // namespace pingvard
