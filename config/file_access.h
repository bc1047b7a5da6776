// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <sys/stat.h>

namespace pingvard {

// Write permission as the configuration file and the logs see it. We often run
// as root, who may write anything; a file or directory whose permission bits
// grant write to nobody is still read-only then, like the read-only attribute
// users know from other systems. A read-only file system counts as well.
bool ModeGrantsWrite(const struct stat& st) noexcept;

// True when path exists, its mode grants write to someone, and the effective
// user may write it (EACCES, EROFS...).
bool IsWritablePath(const std::string& path) noexcept;

// Owns one open descriptor.
class TUniqueFd {
public:
    explicit TUniqueFd(int fd) noexcept : m_fd(fd) {}
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    ~TUniqueFd() { Close(); }
    int Get() const noexcept { return m_fd; }
    // False when close reports an error (a delayed write error on some file
    // systems). Never retried on EINTR: the descriptor may already be reused.
    bool Close() noexcept;

private:
    int m_fd;
};

// The directory part of a file name ("." when it has none).
std::string DirectoryOf(const std::string& fileName);

} // namespace pingvard
