// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pingvard {

// Exit statuses of the pingvard executable (documented in docs/headless.md).
inline constexpr int kExitOk = 0; // ended by SIGINT/SIGTERM or the exit command; --help; --version
inline constexpr int kExitFailure = 1; // could not start: -C directory, signals, unexpected error
inline constexpr int kExitUsage = 2;   // command-line error
inline constexpr int kExitConfigNotWritable = 3; // pingvard.ini could not be written at start-up

} // namespace pingvard
