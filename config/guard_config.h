// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace pingvard {

// The restart guard's settings ([Guard]); rounds/restart_guard.h applies them.
struct TGuardConfig {
    uint32_t HoldOffMs = 0;       // 0 = none
    int32_t MaxRounds = 0;        // 0 = no limit
    uint32_t WindowMs = 86400000; // the window MaxRounds counts in
    bool BackOff = false;
};

} // namespace pingvard
