// SPDX-License-Identifier: GPL-3.0-or-later
// One console session on an accepted connection: negotiation, banner, the
// script's prompts with the answers checked, and the failure modes.
//
// It models a console program on the pseudo-terminal of a telnet daemon: the
// terminal echoes what the client types at once (except after a password
// prompt), but the console reads an answer only ConsoleDelayMs after its line
// end arrived; a hang-up before that kills the console with the line unread.
// The device restarts once the console has read the last correct answer,
// whatever the connection does after that.
#pragma once

#include "tools/apsim_codec.h"
#include "tools/apsim_options.h"
#include "tools/apsim_record.h"

#include <cstdint>
#include <string>

namespace pingvard::apsim {

class TApsimSession {
public:
    // stopFd becomes readable when the simulator is asked to stop; it is
    // polled, never read. The caller owns both descriptors.
    TApsimSession(int fd, int stopFd, const TApsimOptions& options, TSessionRecord& record);

    // Plays the session to its end and returns the outcome (also stored in
    // the record).
    std::string Run();
    // The socket is set to reset on close: no orderly close must follow.
    bool Aborted() const { return m_aborted; }

private:
    struct TEnd {
        std::string Outcome;
    };

    void PlayScript();
    void Negotiate();
    bool NegotiationSettled() const;
    void Storm();
    void AnswerStep(std::size_t step);
    void ConsoleRead(TAnswerRecord& answer);
    [[noreturn]] void Chatter();
    [[noreturn]] void Stall();
    void Queue(std::string_view text) { m_out += TServerTelnetCodec::EscapeData(text); }
    void Flush();
    void PumpUntil(int64_t untilMs);
    void PumpOnce(int64_t untilMs);
    bool WriteSome(int64_t now);
    void ReadInput();
    void OnEvent(const TTelnetEvent& event);
    bool TakeLine(std::string& line, bool& properEnd);
    std::string NextLine(bool& properEnd);
    [[noreturn]] void ResetConnection();

    int m_fd;
    int m_stopFd;
    const TApsimOptions& m_options;
    TSessionRecord& m_record;
    TServerTelnetCodec m_codec;
    std::string m_out;
    std::string m_inbox;
    int64_t m_nextWriteMs = 0;
    int64_t m_deadlineMs = -1;
    int m_expecting = 0; // 1-based step whose answer is awaited
    bool m_echoAllowed = true;
    bool m_terminalTypeReceived = false;
    bool m_confirmed = false;
    bool m_aborted = false;
};

} // namespace pingvard::apsim
