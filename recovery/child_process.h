// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A local program run once, with arguments passed as they are (no shell), an
// environment of its own on top of the inherited one, and a time limit. Used by
// the program recovery action and the event hooks, which must never wait for a
// program without bound.

#include "net/abort_signal.h"
#include "net/tick_clock.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pingvard {

struct TChildCommand {
    std::string Program;           // a path, or a name looked up in PATH
    std::vector<std::string> Args; // argv[1..]; never interpreted by a shell
    // Set in the child's environment, replacing inherited values of the same name.
    std::vector<std::pair<std::string, std::string>> Environment;
    int32_t TimeLimitMs = 30000; // from the start; 0 or less = no limit
    // After the limit (or Abort) the process group gets SIGTERM, then SIGKILL
    // after this grace.
    int32_t KillGraceMs = 1000;
    std::size_t MaxOutput = 16 * 1024; // first bytes of stdout and stderr kept
    const TTickClock* Clock = nullptr; // null = SystemTickClock()
};

struct TChildResult {
    enum class TEnd { NotStarted, Exited, Signalled, TimedOut, Aborted };
    TEnd End = TEnd::NotStarted;
    int ExitStatus = -1; // Exited
    int Signal = 0;      // Signalled
    int Error = 0;       // NotStarted: errno of the start (ENOENT, EACCES, ...)
    std::string Output;  // stdout and stderr as they arrived, cut at MaxOutput
    uint32_t ElapsedMs = 0;

    bool Succeeded() const noexcept { return End == TEnd::Exited && ExitStatus == 0; }
    // "exit status 3", "killed by signal 9", "time limit of 5000 ms reached",
    // "aborted", "cannot start: No such file or directory".
    std::string Describe(int32_t timeLimitMs) const;
};

// Runs one program at a time. Run blocks until the program ends, its time
// limit passes or Abort is called; the child is always reaped before Run
// returns. The child starts in a process group of its own, with default
// signal dispositions, an empty signal mask, stdin from /dev/null and no
// descriptor of this process beyond stdout and stderr.
class TChildProcess {
public:
    TChildResult Run(const TChildCommand& command);
    // Thread-safe and sticky: a Run in progress ends its child, and every later
    // Run returns Aborted at once, until Clear().
    void Abort() noexcept { m_abort.Raise(); }
    void Clear() noexcept { m_abort.Clear(); }

private:
    TAbortSignal m_abort;
};

} // namespace pingvard
