// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace pingvard {

// The restart guard's settings ([Guard]); rounds/restart_guard.h applies them.
// The defaults hold for an absent section or key: a device's boot between two
// actions, at most six rounds a day, and each round that did not cure doubles
// the hold-off. HoldOff=0 and MaxRounds=0 give the historic behaviour (a
// restart whenever the rule holds).
struct TGuardConfig {
    uint32_t HoldOffMs = 180000;  // 0 = none
    int32_t MaxRounds = 6;        // 0 = no limit
    uint32_t WindowMs = 86400000; // the window MaxRounds counts in
    bool BackOff = true;
};

// What the guard remembers of the rounds so far, as ages at the moment it is
// taken: kept in pingvard.state (config/program_state.h) so that a restart of
// the program never undoes a limit.
struct TGuardMemory {
    std::vector<uint32_t> RoundAgesMs; // each round's start, ms ago, oldest first
    bool HoldingOff = false;
    uint32_t HoldOffAgeMs = 0; // since the hold-off under way began
    uint32_t HoldOffMs = 0;    // its length
    int Uncured = 0;           // rounds in a row that did not cure: the back-off
    bool operator==(const TGuardMemory&) const = default;
};

} // namespace pingvard
