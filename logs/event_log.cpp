// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/event_log.h"

#include "config/file_access.h"
#include "config/program_dir.h"

#include <cerrno>
#include <cstring>
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

using TResult = TLogWrite::TResult;

TLogWrite Skipped() {
    return {TResult::Skipped, 0};
}

// A place that is full or broken, as opposed to one the design leaves alone.
TLogWrite FailedOrSkipped(int error) {
    if (error == ENOSPC || error == EDQUOT || error == EIO || error == EFBIG)
        return {TResult::Failed, error};
    return Skipped();
}

int OpenForAppend(const std::string& fileName, mode_t createMode) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return -1;
        }
        return ::open(fileName.c_str(), kOpenFlags);
    }
    // The design's "create always" would truncate a log that another writer
    // created since the test above; creating without O_TRUNC loses nothing.
    if (!IsWritablePath(DirectoryOf(fileName))) {
        errno = EACCES;
        return -1;
    }
    return ::open(fileName.c_str(), kOpenFlags | O_CREAT, createMode);
}

// One write of the whole text. A part of it would leave a line that the next
// one continues, so a short write is undone: O_APPEND wrote it at the end,
// which is where the file is cut back to.
TLogWrite WriteWhole(int fd, const std::string& text) {
    ssize_t written;
    do
        written = ::write(fd, text.data(), text.size());
    while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(text.size()))
        return {};
    const int error = written < 0 ? errno : ENOSPC; // cut short: the space ran out
    if (written > 0) {
        const off_t end = ::lseek(fd, 0, SEEK_CUR);
        if (end >= written && ::ftruncate(fd, end - written) != 0) {
            // Nothing more can be done: the next line then starts after it.
        }
    }
    return FailedOrSkipped(error);
}

// Open, lock, build the text (after the open, so a timestamp is taken then),
// one write, close.
// Closing the descriptor releases the lock.
TLogWrite AppendText(const char* name, mode_t createMode,
                     const std::function<std::string()>& buildText) noexcept {
    try {
        const TUniqueFd fd{OpenForAppend(GetProgramDir() + name, createMode)};
        if (fd.Get() < 0)
            return FailedOrSkipped(errno);
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || !ModeGrantsWrite(st) ||
            ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            return Skipped();
        return WriteWhole(fd.Get(), buildText());
    } catch (...) {
        // Logging never disturbs the caller (out of memory building the text).
        return Skipped();
    }
}

} // namespace

std::string EventLogFileName() {
    return GetProgramDir() + kEventLogName;
}
std::string CommLogFileName() {
    return GetProgramDir() + kCommLogName;
}

TLogWrite WriteLog(const std::string& message) {
    return AppendText(kEventLogName, 0644,
                      [&] { return LocalTimestamp() + ": " + message + "\r\n"; });
}

TLogWrite WriteCommLog(const std::string& text) {
    return AppendText(kCommLogName, 0600, [&] { return text + "\r\n"; });
}

std::optional<TEventLog::TChange> TEventLog::Write(const std::string& message) {
    const TLogWrite result = WriteLog(message);
    if (result.Result == TLogWrite::TResult::Failed && !m_failing) {
        m_failing = true;
        return TChange{true, "pingvard.log cannot be written (" +
                                 std::string(std::strerror(result.Error)) +
                                 "); its lines are lost until it can"};
    }
    if (result.Result == TLogWrite::TResult::Written && m_failing) {
        m_failing = false;
        return TChange{false, "pingvard.log is written again"};
    }
    return std::nullopt;
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
