// SPDX-License-Identifier: GPL-3.0-or-later
// Drives a pingvard-apsim process over loopback for the live tests: the
// process with its pipes, and a small scripted telnet client on a raw socket.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace pingvard::apsim::test {

class TApsimProcess {
public:
    // Starts the simulator with args; unless args name --listen/--port it
    // listens on 127.0.0.1 at a free port. Waits for its start-up line.
    explicit TApsimProcess(std::vector<std::string> args);
    ~TApsimProcess(); // SIGTERM and reap
    TApsimProcess(const TApsimProcess&) = delete;
    TApsimProcess& operator=(const TApsimProcess&) = delete;

    int Port() const { return m_port; }
    const std::string& StartLine() const { return m_startLine; }
    // The next record line on stdout, or "" when none came within timeoutMs.
    std::string NextRecord(int timeoutMs = 10000);
    // Exit status after waiting up to timeoutMs; -1 if still running.
    int WaitExit(int timeoutMs);
    void Signal(int signal) const;

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
    int m_stderr = -1;
    int m_port = 0;
    int m_status = -1;
    std::string m_startLine;
    std::string m_outBuffer;
};

// Runs the simulator to completion (for command-line errors): exit status
// and what it wrote on stderr.
int RunApsimToExit(const std::vector<std::string>& args, std::string& errorText);

class TTestClient {
public:
    ~TTestClient();
    bool Connect(const std::string& address, int port); // false: errno in Error
    void Close();
    void Send(std::string_view bytes);
    void SendAnswer(std::string_view text); // IAC doubled, CR LF added

    // Reads (answering negotiation as a refusing client that accepts SGA and
    // reports TerminalType) until the decoded data contain text; returns the
    // data before it, or nothing on time-out or end of connection.
    std::optional<std::string> ReadUntil(std::string_view text, int timeoutMs = 10000);
    // Everything decoded during ms, stopping early at the end of the connection.
    std::string ReadFor(int ms);
    // Raw bytes until at least count have arrived (or time-out/close).
    std::string ReadRaw(std::size_t count, int timeoutMs = 10000);

    std::string TerminalType = "PINGVARD";
    bool AnswerNegotiation = true;
    std::string Raw;                   // every byte received
    std::vector<std::size_t> Chunks;   // size of every receive
    std::vector<std::string> Commands; // every 3-byte command received, raw
    bool Ended = false;                // EOF or error seen
    int Error = 0;                     // errno of the failure that ended it, 0 for EOF

private:
    bool ReceiveOnce(int timeoutMs);
    void Decode(unsigned char b);

    int m_fd = -1;
    std::string m_data;
    enum class TState { Data, Command, Verb, Sub, SubIac } m_state = TState::Data;
    unsigned char m_verb = 0;
    std::string m_sub;
};

} // namespace pingvard::apsim::test
