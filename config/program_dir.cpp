// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/program_dir.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace pingvard {

std::string GetProgramDir() {
    std::vector<char> buffer(256);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return "./"; // the directory was removed: names stay relative and fail on use
        buffer.resize(buffer.size() * 2);
    }
    std::string dir{buffer.data()};
    if (!dir.ends_with('/'))
        dir += '/';
    return dir;
}

} // namespace pingvard
