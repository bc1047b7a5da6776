// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/file_access.h"

#include <fcntl.h>
#include <unistd.h>

namespace pingvard {

bool ModeGrantsWrite(const struct stat& st) noexcept {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool IsWritablePath(const std::string& path) noexcept {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !ModeGrantsWrite(st))
        return false;
    // AT_EACCESS: judge by the effective ids, the ones open() and rename() use.
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool TUniqueFd::Close() noexcept {
    const int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
}

std::string DirectoryOf(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return fileName.substr(0, slash);
}

} // namespace pingvard
