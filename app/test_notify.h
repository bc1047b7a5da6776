// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>
#include <string>

namespace pingvard {

// pingvard --test-notify NAME: sends one test message through the
// notification channel NAME of pingvard.ini in the current directory, now
// and past the outbox, and prints what the server answered. Writes nothing.
// Secrets never reach either stream. Returns the exit status: 0 when the
// server took the message, 1 when it did not or the channel cannot be used.
int RunTestNotify(const std::string& name, std::ostream& out, std::ostream& err);

} // namespace pingvard
