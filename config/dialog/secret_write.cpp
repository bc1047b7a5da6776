// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/dialog/secret_write.h"

#include "config/file_access.h"
#include "config/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pingvard {

std::string InDir(const std::string& dir, const std::string& path) {
    return path.empty() || path.front() == '/' ? path : dir + path;
}

void MakePrivate(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return; // the first write creates it private (mkstemp)
    }
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), st.st_mode & 0700) != 0) {
        throw EIniFileException("Cannot make " + path + " private for a password");
    }
}

void WriteSecretFile(const std::string& path, const std::string& secret) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    TUniqueFd file(fd);
    const std::string line = secret + "\n";
    if (fd < 0 || ::fchmod(fd, 0600) != 0 ||
        ::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()) ||
        !file.Close()) {
        throw EIniFileException("Cannot write the password file " + path);
    }
}

} // namespace pingvard
