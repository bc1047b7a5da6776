// SPDX-License-Identifier: GPL-3.0-or-later
// The entry point of pingvard-ssh.so, which brings libssh and its crypto library
// (recovery/action_module.h).
#include "recovery/action_module.h"
#include "recovery/ssh_action.h"

extern "C" __attribute__((visibility("default"))) pingvard::TRecoveryAction*
pingvard_ssh_create(uint32_t abi, const pingvard::TActionConfig* config,
                    const pingvard::TActionContext* context) {
    if (abi != pingvard::kActionModuleAbi || config == nullptr || context == nullptr) {
        return nullptr;
    }
    try {
        // The program takes ownership at once (MakeModuleAction).
        return std::make_unique<pingvard::TSshAction>(*config, context->Clock).release();
    } catch (...) { // out of memory: the program says the module failed
        return nullptr;
    }
}
