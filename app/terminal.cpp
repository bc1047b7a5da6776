// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/terminal.h"

#include <cstdlib>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pingvard {

bool IsCursorTerminal(int fd) {
    if (isatty(fd) != 1)
        return false;
    const char* term = std::getenv("TERM");
    return term != nullptr && *term != '\0' && std::string_view(term) != "dumb";
}

int TerminalColumns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

} // namespace pingvard
