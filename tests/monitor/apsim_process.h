// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace pingvard::test {

// pingvard-apsim on 127.0.0.1, on a free port it picks itself, for one test.
class TApsimProcess {
public:
    // Extra command-line arguments (script, modes). Throws when it does not start.
    explicit TApsimProcess(const std::vector<std::string>& args);
    ~TApsimProcess();
    TApsimProcess(const TApsimProcess&) = delete;
    TApsimProcess& operator=(const TApsimProcess&) = delete;

    const std::string& Port() const { return m_port; }
    // Ends the simulator (SIGTERM) and returns its session records.
    std::string StopAndReadRecords();

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
    int m_stderr = -1;
    std::string m_port;
};

// A loopback port that refuses connects for the object's lifetime: bound, never
// listening, so no parallel test can take it between the pick and the connect.
class TRefusedPort {
public:
    TRefusedPort();
    ~TRefusedPort();
    TRefusedPort(const TRefusedPort&) = delete;
    TRefusedPort& operator=(const TRefusedPort&) = delete;

    const std::string& Number() const { return m_port; }

private:
    int m_fd = -1;
    std::string m_port;
};

} // namespace pingvard::test
