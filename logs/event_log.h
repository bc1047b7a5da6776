// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "logs/local_timestamp.h"

#include <string>

namespace pingvard {

// The event log and the session transcript, both in the program directory.
// Each call opens the file, appends one piece of text with one write, and
// closes it; every failure is silent and loses only that text:
// - a name that is a directory, or not a regular file, is left alone;
// - an existing file is opened write-only and appended to (O_APPEND); a new
//   one is created (pingvard.log 0644, comm.log 0600, less the umask);
// - a file whose mode grants no write (even when running as root) or on a
//   read-only file system is read-only;
// - an exclusive flock() that cannot be taken at once (another writer holds
//   it) drops the text. The lock is advisory: it keeps cooperating writers
//   from interleaving, not a program that ignores it.
// Lines end with CR LF.

// Appends LocalTimestamp() + ": " + message + CR LF to pingvard.log.
void WriteLog(const std::string& message);
// Appends text + CR LF to comm.log.
void WriteCommLog(const std::string& text);
// Removes comm.log at the start of a reset session; a missing file is no
// error, and a read-only one stays (like the other writes, the mode bits count
// even for root).
void DeleteCommLog();

std::string EventLogFileName(); // GetProgramDir() + "pingvard.log"
std::string CommLogFileName();  // GetProgramDir() + "comm.log"

} // namespace pingvard
