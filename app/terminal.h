// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pingvard {

// Whether fd is a terminal that understands cursor movement (not TERM=dumb).
bool IsCursorTerminal(int fd);
// The terminal's width in columns, 0 when it cannot be read.
int TerminalColumns(int fd);

} // namespace pingvard
