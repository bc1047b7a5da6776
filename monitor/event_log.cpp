#include "monitor/event_log.h"

#include "monitor/file_access.h"
#include "monitor/program_dir.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pingvard {
namespace {

// O_NONBLOCK keeps a FIFO planted under the log's name from blocking the
// writer; it does nothing for regular files.
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
void AppendText(const std::string& fileName, mode_t createMode,
                const std::function<std::string()>& buildText) noexcept {
    try {
        const int fd = OpenForAppend(fileName, createMode);
        if (fd < 0)
            return;
        // Closing also releases the lock; not retried on EINTR.
        const std::unique_ptr<const int, void (*)(const int*)> closer{
            &fd, [](const int* d) { ::close(*d); }};
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ModeGrantsWrite(st) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            const std::string text = buildText();
            ssize_t written;
            do
                written = ::write(fd, text.data(), text.size());
            while (written < 0 && errno == EINTR);
        }
    } catch (...) {
        // Logging never disturbs the caller (out of memory building the text).
    }
}

} // namespace

std::string EventLogFileName() {
    return GetProgramDir() + "pingvard.log";
}
std::string CommLogFileName() {
    return GetProgramDir() + "comm.log";
}

void WriteLog(const std::string& message) {
    AppendText(EventLogFileName(), 0644,
               [&] { return LocalTimestamp() + ": " + message + "\r\n"; });
}

void WriteCommLog(const std::string& text) {
    AppendText(CommLogFileName(), 0600, [&] { return text + "\r\n"; });
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
