// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The service manager's notification datagram, without its client library:
// one AF_UNIX datagram of "KEY=VALUE" lines to the socket NOTIFY_SOCKET
// names, an absolute path or, after '@', an abstract name. The watchdog's
// interval is WATCHDOG_USEC, meant for this process only when WATCHDOG_PID
// is unset or names it (a child that inherited the variables never feeds it).

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace pingvard {

// The interval from the variables' values (null = unset); none when no
// watchdog is asked of pid, or a value is not a positive decimal number.
std::optional<std::chrono::microseconds> WatchdogInterval(const char* usec, const char* forPid,
                                                          pid_t pid);

// Sends message to socketName (NOTIFY_SOCKET's value); false when the name
// is neither an absolute path nor an abstract name, is too long, or the send
// failed. Never waits: a manager that reads nothing costs the message only.
bool SendNotifyDatagram(std::string_view socketName, std::string_view message) noexcept;

} // namespace pingvard
