// SPDX-License-Identifier: GPL-3.0-or-later
// The entry point of pingvard-http.so, which brings libcurl with its TLS and protocol libraries
// (recovery/action_module.h).
#include "recovery/action_module.h"
#include "recovery/http_action.h"

extern "C" __attribute__((visibility("default"))) pingvard::TRecoveryAction*
pingvard_http_create(uint32_t abi, const pingvard::TActionConfig* config,
                     const pingvard::TActionContext* context) {
    if (abi != pingvard::kActionModuleAbi || config == nullptr || context == nullptr) {
        return nullptr;
    }
    try {
        // The program takes ownership at once (MakeModuleAction).
        return std::make_unique<pingvard::THttpAction>(*config).release();
    } catch (...) { // out of memory: the program says the module failed
        return nullptr;
    }
}
