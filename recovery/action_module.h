// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The recovery kinds whose libraries are loaded on first use: the ssh kind
// (pingvard-ssh.so, libssh with its crypto) and the http kind
// (pingvard-http.so, libcurl with its TLS and protocol libraries). A program
// that never runs such an action never maps them. Each module has one entry
// point with C linkage:
//
//   extern "C" TRecoveryAction* <Entry>(uint32_t abi, const TActionConfig* config,
//                                        const TActionContext* context);
//
// returning the action (the caller owns it) or null when abi is not
// kActionModuleAbi. Module and program are built from one tree; the number
// only refuses a module left over from another build.

#include "recovery/action_kinds.h"
#include "recovery/recovery_action.h"

#include <cstdint>
#include <memory>

namespace pingvard {

inline constexpr uint32_t kActionModuleAbi = 1;

struct TActionModule {
    const char* File;
    const char* Entry;
};

inline constexpr TActionModule kSshModule{"pingvard-ssh.so", "pingvard_ssh_create"};
inline constexpr TActionModule kHttpModule{"pingvard-http.so", "pingvard_http_create"};

using TActionModuleEntry = TRecoveryAction* (*)(uint32_t abi, const TActionConfig* config,
                                                const TActionContext* context);

// The action from its module, found in context.ModuleDirs (empty: the
// program's own, ProgramModuleDirs()). When the module or a library it needs
// cannot be loaded, an action whose every run fails with one line that
// names the file and the reason; never a crash.
std::unique_ptr<TRecoveryAction> MakeModuleAction(const TActionModule& module,
                                                  const TActionConfig& config,
                                                  const TActionContext& context);

} // namespace pingvard
