// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "logs/local_timestamp.h"

#include <optional>
#include <string>

namespace pingvard {

// The event log and the session transcript, both in the program directory.
// Each call opens the file, appends one piece of text with one write, and
// closes it. The text goes whole or not at all: a write cut short (a full
// disk) is undone, the file cut back to where the text began. A failure loses
// only that text, and the callers hear of it only through the result:
// - a name that is a directory, or not a regular file, is left alone;
// - an existing file is opened write-only and appended to (O_APPEND); a new
//   one is created (pingvard.log 0644, comm.log 0600, less the umask);
// - a file whose mode grants no write (even when running as root) or on a
//   read-only file system is read-only;
// - an exclusive flock() that cannot be taken at once (another writer holds
//   it) drops the text. The lock is advisory: it keeps cooperating writers
//   from interleaving, not a program that ignores it.
// - a write that fails or is cut short (ENOSPC, EDQUOT, EIO), or a file that
//   cannot be created for such a reason, is Failed with its errno;
// - everything above is Skipped: a held, read-only or missing place is what
//   the design drops lines for, without a word.
// Lines end with CR LF.

struct TLogWrite {
    enum class TResult { Written, Skipped, Failed };
    TResult Result = TResult::Written;
    int Error = 0; // Failed: the errno
};

// Appends LocalTimestamp() + ": " + message + CR LF to pingvard.log.
TLogWrite WriteLog(const std::string& message);
// Appends text + CR LF to comm.log.
TLogWrite WriteCommLog(const std::string& text);

// pingvard.log with a memory of whether its lines arrive: WriteLog, and a
// line for the operator when the log stops taking lines (the first failed
// write) and when it takes them again (the first write after). GUI thread.
class TEventLog {
public:
    struct TChange {
        bool Failing = false;
        std::string Text; // "pingvard.log cannot be written (...)..." or "... again"
    };
    std::optional<TChange> Write(const std::string& message);

private:
    bool m_failing = false;
};
// Removes comm.log at the start of a reset session; a missing file is no
// error, and a read-only one stays (like the other writes, the mode bits count
// even for root).
void DeleteCommLog();

std::string EventLogFileName(); // GetProgramDir() + "pingvard.log"
std::string CommLogFileName();  // GetProgramDir() + "comm.log"

} // namespace pingvard
