// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The notifications' libcurl transport lives in pingvard-notify.so, loaded
// when a channel first sends, so a program without [Notify] never maps
// libcurl and its TLS libraries. The module's one entry point with C linkage:
//
//   extern "C" TNotifyTransport* pingvard_notify_create(uint32_t abi);
//
// returning the transport (the caller owns it) or null when abi is not
// kNotifyModuleAbi.

#include "observe/notify/transport.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pingvard {

inline constexpr uint32_t kNotifyModuleAbi = 1;
inline constexpr const char* kNotifyModuleFile = "pingvard-notify.so";
inline constexpr const char* kNotifyModuleEntry = "pingvard_notify_create";
using TNotifyModuleEntry = TNotifyTransport* (*)(uint32_t abi);

// The transport from the module in the first of dirs that holds it (empty:
// the program's own, ProgramModuleDirs()). When it cannot be loaded, one
// whose every send fails with one line naming the file and the reason.
std::unique_ptr<TNotifyTransport> MakeModuleTransport(const std::vector<std::string>& dirs);
// The same from the program's own directories: the maker the observers use.
std::unique_ptr<TNotifyTransport> MakeModuleTransport();

} // namespace pingvard
