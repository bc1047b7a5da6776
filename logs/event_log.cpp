// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/event_log.h"

#include "config/file_access.h"
#include "config/program_dir.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pingvard {
namespace {

// O_NONBLOCK keeps a FIFO planted under the log's name from blocking the
// writer; it does nothing for regular files.
constexpr const char* kEventLogName = "pingvard.log";
constexpr const char* kCommLogName = "comm.log";

constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

int OpenForAppend(const std::string& fileName, mode_t createMode) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return -1;
        return ::open(fileName.c_str(), kOpenFlags);
    }
    // The design's "create always" would truncate a log that another writer
    // created since the test above; creating without O_TRUNC loses nothing.
    if (!IsWritablePath(DirectoryOf(fileName)))
        return -1;
    return ::open(fileName.c_str(), kOpenFlags | O_CREAT, createMode);
}

// Open, lock, build the text (after the open, so a timestamp is taken then),
// one write, close.
// Closing the descriptor releases the lock.
void AppendText(const char* name, mode_t createMode,
                const std::function<std::string()>& buildText) noexcept {
    try {
        const TUniqueFd fd{OpenForAppend(GetProgramDir() + name, createMode)};
        struct stat st {};
        if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
            !ModeGrantsWrite(st) || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            return;
        const std::string text = buildText();
        ssize_t written;
        do
            written = ::write(fd.Get(), text.data(), text.size());
        while (written < 0 && errno == EINTR);
    } catch (...) {
        // Logging never disturbs the caller (out of memory building the text).
    }
}

} // namespace

std::string EventLogFileName() {
    return GetProgramDir() + kEventLogName;
}
std::string CommLogFileName() {
    return GetProgramDir() + kCommLogName;
}

void WriteLog(const std::string& message) {
    AppendText(kEventLogName, 0644, [&] { return LocalTimestamp() + ": " + message + "\r\n"; });
}

void WriteCommLog(const std::string& text) {
    AppendText(kCommLogName, 0600, [&] { return text + "\r\n"; });
}

void DeleteCommLog() {
    try {
        const std::string fileName = CommLogFileName();
        struct stat st {};
        if (::lstat(fileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            return;
        if (S_ISREG(st.st_mode) && !ModeGrantsWrite(st))
            return;
        ::unlink(fileName.c_str());
    } catch (...) {
    }
}

} // namespace pingvard
