// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_session.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace pingvard::apsim {
namespace {

constexpr std::size_t kFloodTopUp = 64 * 1024;
constexpr std::size_t kReadChunk = 4096;

// A filler byte that cannot complete any challenge, so that trickle and flood
// never show a prompt even with a custom script.
char FillerFor(const TScript& script) {
    for (char c : std::string_view(".#~*-")) {
        const bool safe = std::all_of(script.Steps.begin(), script.Steps.end(), [c](auto& step) {
            return step.Challenge.empty() || step.Challenge.find_first_not_of(
                                                 std::string{c, '\r', '\n'}) != std::string::npos;
        });
        if (safe) {
            return c;
        }
    }
    return '\x01';
}

bool MentionsPassword(std::string_view challenge) {
    std::string lower(challenge);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c | 0x20); });
    return lower.find("password") != std::string::npos;
}

} // namespace

TApsimSession::TApsimSession(int fd, int stopFd, const TApsimOptions& options,
                             TSessionRecord& record)
    : m_fd(fd), m_stopFd(stopFd), m_options(options), m_record(record) {}

std::string TApsimSession::Run() {
    if (m_options.SessionLimitMs > 0) {
        m_deadlineMs = Now().MonoMs + m_options.SessionLimitMs;
    }
    if (m_options.SplitBytes) {
        // Each byte its own segment: no coalescing while the pause runs.
        const int on = 1;
        setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    try {
        PlayScript();
        m_record.Outcome = "reset";
    } catch (const TEnd& end) {
        m_record.Outcome = m_confirmed ? "reset" : end.Outcome;
    }
    m_record.Ended = Now();
    return m_record.Outcome;
}

void TApsimSession::PlayScript() {
    Negotiate();
    if (m_options.IacStorm) {
        Storm();
    }
    const auto& steps = m_options.Script.Steps;
    const auto stallAfter = m_options.StallAfter();
    if (!m_options.NeverPrompt) {
        Queue(m_options.Script.Banner);
    }
    if (m_options.Burst) {
        const std::size_t shown = std::min(steps.size(), std::size_t(stallAfter.value_or(1 << 30)));
        for (std::size_t i = 0; i < shown; ++i) {
            Queue(steps[i].Before + steps[i].Challenge);
        }
    }
    Flush();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (m_options.CloseMidScript && std::size_t(*m_options.CloseMidScript) == i) {
            throw TEnd{"closed-mid-script"};
        }
        if (stallAfter && std::size_t(*stallAfter) == i) {
            Stall();
        }
        if (!m_options.Burst) {
            if (m_options.IacStorm && i > 0) {
                Storm();
            }
            Queue(steps[i].Before + steps[i].Challenge);
            Flush();
        }
        AnswerStep(i);
    }
    m_confirmed = true;
    m_record.Confirmed = Now();
    if (m_options.AbortOnReset) {
        ResetConnection();
    }
    Queue(m_options.Script.Farewell);
    Flush();
    if (m_options.Chatter) {
        Chatter();
    }
}

void TApsimSession::AnswerStep(std::size_t step) {
    const TScriptStep& s = m_options.Script.Steps[step];
    m_echoAllowed = !MentionsPassword(s.Challenge);
    for (int wrong = 0;;) {
        m_expecting = static_cast<int>(step) + 1;
        bool properEnd = false;
        std::string line = NextLine(properEnd);
        m_expecting = 0;
        TAnswerRecord answer{"ok", Now(), line};
        ConsoleRead(answer);
        if (!properEnd) {
            answer.Status = "bad-eol";
        } else if (m_options.WrongPassword && step == 0) {
            answer.Status = "rejected";
        } else if (line != s.Answer) {
            answer.Status = "wrong";
        }
        m_record.Answers.push_back(answer);
        if (answer.Status == "ok") {
            return;
        }
        Queue(m_options.Script.Rejected);
        if (m_options.MaxWrong > 0 && ++wrong >= m_options.MaxWrong) {
            Flush();
            throw TEnd{"wrong-answer"};
        }
        Queue(s.Before + s.Challenge);
        Flush();
    }
}

void TApsimSession::ConsoleRead(TAnswerRecord& answer) {
    try {
        PumpUntil(answer.At.MonoMs + m_options.ConsoleDelayMs);
    } catch (const TEnd&) {
        answer.Status = "lost";
        m_record.Answers.push_back(answer);
        throw;
    }
}

// A device that goes on logging while it restarts and leaves the line to the
// client: only the client's hang-up, the session limit or a stop ends it.
void TApsimSession::Chatter() {
    for (int line = 1;; ++line) {
        Queue("\r\n[" + std::to_string(line) + "] restart in progress");
        Flush();
        PumpUntil(Now().MonoMs + m_options.ChatterIntervalMs);
    }
}

void TApsimSession::Negotiate() {
    if (m_options.NoOffers) {
        return;
    }
    // What a stock daemon opens with: it echoes and suppresses go-ahead
    // itself, and wants the terminal's type and size.
    m_out += m_codec.Offer(kWill, kOptEcho);
    m_out += m_codec.Offer(kWill, kOptSga);
    m_out += m_codec.Offer(kDo, kOptTerminalType);
    m_out += m_codec.Offer(kDo, kOptNaws);
    const int64_t until = Now().MonoMs + m_options.NegotiationWaitMs;
    while (!NegotiationSettled() && Now().MonoMs < until) {
        PumpOnce(until);
    }
}

bool TApsimSession::NegotiationSettled() const {
    for (uint8_t option : {kOptEcho, kOptSga}) {
        if (m_codec.Local(option) == TOptionState::WantYes) {
            return false;
        }
    }
    for (uint8_t option : {kOptTerminalType, kOptNaws}) {
        if (m_codec.Remote(option) == TOptionState::WantYes) {
            return false;
        }
    }
    const bool typePending =
        m_codec.Remote(kOptTerminalType) == TOptionState::Yes && !m_terminalTypeReceived;
    return m_out.empty() && !typePending;
}

void TApsimSession::Storm() {
    for (int round = 0; round < m_options.StormRounds; ++round) {
        for (int option = 0; option < 256; ++option) {
            const auto o = static_cast<uint8_t>(option);
            m_out += TServerTelnetCodec::Command(kWill, o) + TServerTelnetCodec::Command(kWont, o) +
                     TServerTelnetCodec::Command(kDo, o) + TServerTelnetCodec::Command(kDont, o);
        }
        Flush();
    }
}

void TApsimSession::Stall() {
    const char filler = FillerFor(m_options.Script);
    if (m_options.Trickle) {
        for (;;) {
            Queue(std::string(1, filler));
            Flush();
            PumpUntil(Now().MonoMs + m_options.TrickleIntervalMs);
        }
    }
    if (m_options.Flood) {
        std::string block;
        for (std::string line = std::string(78, filler) + "\r\n"; block.size() < kFloodTopUp;) {
            block += line;
        }
        for (int64_t sent = 0; m_options.FloodBytes == 0 || sent < m_options.FloodBytes;) {
            if (m_out.size() < kFloodTopUp) {
                int64_t size = int64_t(block.size());
                if (m_options.FloodBytes > 0) {
                    size = std::min(size, m_options.FloodBytes - sent);
                }
                m_out.append(block, 0, std::size_t(size)); // filler needs no escaping
                sent += size;
            }
            PumpOnce(-1);
        }
        Flush();
    }
    for (;;) {
        PumpOnce(-1); // silence until the client gives up
    }
}

void TApsimSession::Flush() {
    while (!m_out.empty()) {
        PumpOnce(-1);
    }
}

void TApsimSession::PumpUntil(int64_t untilMs) {
    while (Now().MonoMs < untilMs) {
        PumpOnce(untilMs);
    }
}

// One wait for input, room to write, the stop request, the session limit or
// untilMs (-1: no own limit), then the work that woke it.
void TApsimSession::PumpOnce(int64_t untilMs) {
    const int64_t now = Now().MonoMs;
    if (m_deadlineMs >= 0 && now >= m_deadlineMs) {
        throw TEnd{"timeout"};
    }
    int64_t wake = untilMs;
    const auto earliest = [&wake](int64_t t) { wake = wake < 0 ? t : std::min(wake, t); };
    if (m_deadlineMs >= 0) {
        earliest(m_deadlineMs);
    }
    const bool paced = !m_out.empty() && m_options.SplitBytes && now < m_nextWriteMs;
    if (paced) {
        earliest(m_nextWriteMs);
    }
    pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {m_fd, POLLIN, 0}};
    if (!m_out.empty() && !paced) {
        fds[1].events |= POLLOUT;
    }
    const int timeout = wake < 0 ? -1 : int(std::max<int64_t>(0, wake - now));
    const int ready = poll(fds, 2, timeout);
    if (ready < 0) {
        if (errno == EINTR) {
            return;
        }
        throw TEnd{"error"};
    }
    if (fds[0].revents != 0) {
        throw TEnd{"shutdown"};
    }
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        ReadInput();
    }
    if ((fds[1].revents & POLLOUT) != 0) {
        WriteSome(Now().MonoMs);
    }
}

bool TApsimSession::WriteSome(int64_t now) {
    const std::size_t size = m_options.SplitBytes ? 1 : m_out.size();
    const ssize_t sent = send(m_fd, m_out.data(), size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
            return false;
        }
        throw TEnd{errno == EPIPE || errno == ECONNRESET ? "closed-by-client" : "error"};
    }
    m_out.erase(0, std::size_t(sent));
    m_nextWriteMs = now + m_options.SplitPauseMs;
    return true;
}

void TApsimSession::ReadInput() {
    char buffer[kReadChunk];
    const ssize_t got = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        }
        throw TEnd{errno == ECONNRESET ? "closed-by-client" : "error"};
    }
    if (got == 0) {
        throw TEnd{"closed-by-client"};
    }
    TFeedResult fed = m_codec.Feed(std::string_view(buffer, std::size_t(got)));
    m_out += fed.Replies;
    for (const auto& event : fed.Events) {
        OnEvent(event);
    }
    // The terminal echoes, whatever the client answered to WILL ECHO: both
    // stock daemons leave their pseudo-terminal's echo on for a refusing client.
    if (m_echoAllowed) {
        Queue(fed.Data);
    }
    m_inbox += fed.Data;
    if (m_options.ResetDuringAnswer && m_expecting == *m_options.ResetDuringAnswer &&
        m_inbox.find_first_not_of(std::string_view("\0\r\n", 3)) != std::string::npos) {
        ResetConnection();
    }
}

void TApsimSession::OnEvent(const TTelnetEvent& event) {
    using TKind = TTelnetEvent::TKind;
    if (event.Kind == TKind::RemoteEnabled && event.Option == kOptTerminalType) {
        m_out += TServerTelnetCodec::Subnegotiation(kOptTerminalType, std::string(1, kTtypeSend));
    } else if (event.Kind == TKind::Subnegotiation && event.Option == kOptTerminalType &&
               !event.Data.empty() && uint8_t(event.Data[0]) == kTtypeIs) {
        m_record.TerminalType = event.Data.substr(1);
        m_terminalTypeReceived = true;
    } else if (event.Kind == TKind::Subnegotiation && event.Option == kOptNaws &&
               event.Data.size() == 4) {
        const auto at = [&event](int i) { return unsigned(uint8_t(event.Data[std::size_t(i)])); };
        m_record.WindowSize =
            std::to_string(at(0) * 256 + at(1)) + "x" + std::to_string(at(2) * 256 + at(3));
    } else if (event.Kind == TKind::AreYouThere) {
        Queue("\r\n[Yes]\r\n");
    }
}

// A line ends with CR LF, or CR NUL (RFC 854's bare CR); a bare LF is taken
// too but marked, since the client is expected to send CR LF.
bool TApsimSession::TakeLine(std::string& line, bool& properEnd) {
    std::size_t lf = m_inbox.find('\n');
    std::size_t crNul = m_inbox.find(std::string_view("\r\0", 2));
    if (lf == std::string::npos && crNul == std::string::npos) {
        return false;
    }
    if (crNul != std::string::npos && (lf == std::string::npos || crNul < lf)) {
        line = m_inbox.substr(0, crNul);
        m_inbox.erase(0, crNul + 2);
        properEnd = true;
        return true;
    }
    properEnd = lf > 0 && m_inbox[lf - 1] == '\r';
    line = m_inbox.substr(0, properEnd ? lf - 1 : lf);
    m_inbox.erase(0, lf + 1);
    return true;
}

std::string TApsimSession::NextLine(bool& properEnd) {
    std::string line;
    while (!TakeLine(line, properEnd)) {
        PumpOnce(-1);
    }
    return line;
}

void TApsimSession::ResetConnection() {
    // Linger 0: the owner's close() then aborts with RST instead of FIN.
    const linger abortive{1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    m_aborted = true;
    throw TEnd{"rst-sent"};
}

} // namespace pingvard::apsim
