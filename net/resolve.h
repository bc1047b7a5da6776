// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/abort_signal.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pingvard {

// How long ResolveToIP waits for the resolver. It runs at start-up on the GUI
// thread, which must stay responsive, and the exit command must not wait
// behind it: a name that takes longer stays a name, and its worker looks it up
// again before each echo.
inline constexpr int32_t kResolveToIPLimitMs = 500;

// The host name as dotted IPv4 text (first IPv4 address of a lookup), or the
// name unchanged when the lookup fails or does not finish within limitMs.
// Thread-safe.
std::string ResolveToIP(const std::string& name, int32_t limitMs = kResolveToIPLimitMs);
// Each name of the list, looked up at the same time within one limit. An abort
// ends every lookup at once; the names not resolved by then stay names.
std::vector<std::string> ResolveToIP(const std::vector<std::string>& names,
                                     int32_t limitMs = kResolveToIPLimitMs,
                                     const TAbortSignal* abort = nullptr);

} // namespace pingvard
