// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the recovery policy sees of the monitor when it is called, and what it
// tells the monitor to do: values, so the policy does no I/O and its tests
// read the decisions as they are.

#include "config/guard_config.h"
#include "config/slots.h"
#include "recovery/recovery_action.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pingvard {

// Why a round begins: the restart rule, or the operator ("Restart now", SIGUSR1).
enum class TRoundTrigger { Rule, Manual };

// One watched host as the monitor's slot holds it.
struct TRoundHost {
    bool Marked = false;  // DoReset: part of the restart rule
    int32_t Failures = 0; // consecutive
    std::string Address;
};

struct TRoundView {
    std::array<TRoundHost, kSlotCount> Hosts;
    int32_t MaxTimeouts = 5;
    // A session may start now: none holds the one-session token. The session
    // that hands its outcome over still holds it.
    bool SessionFree = false;
};

// The restart rule fired: publish it.
struct TRuleFired {
    bool operator==(const TRuleFired&) const = default;
};

// Failures don't count (the hold-off), or the rule fired and the next round
// needs MaxTimeouts fresh ones: zero Failures of Slot, or of every slot.
struct TForgetFailures {
    std::optional<int> Slot;
    bool operator==(const TForgetFailures&) const = default;
};

// Start the action at Step (0-based, the escalation's order) on the session
// thread, taking the token; the action gets Event.
struct TStartStep {
    std::size_t Step = 0;
    TRecoveryEvent Event;
    bool operator==(const TStartStep&) const = default;
};

// The guard stopped acting (Paused) or acts again: Text goes to the status
// line, pingvard.log and the events, once per change.
struct TShowGuardChange {
    bool Paused = false;
    std::string Text;
    bool operator==(const TShowGuardChange&) const = default;
};

// A manual request was refused: Text (why) goes to the status line, with
// ", until" the local time when ForMs is set; to pingvard.log too when Log
// is set (the first refusal of its kind: requests that keep coming while one
// is being handled are merged into it).
struct TRefuseRequest {
    std::string Text;
    std::optional<uint32_t> ForMs; // how long the refusal holds from now
    bool Log = true;
    bool operator==(const TRefuseRequest&) const = default;
};

// What the guard remembers changed: keep it on disk (pingvard.state) before
// anything that follows is carried out, so a kill of the program right after
// a round began still counts that round at the next start.
struct TKeepGuardMemory {
    TGuardMemory Memory;
    bool operator==(const TKeepGuardMemory&) const = default;
};

using TRoundDecision = std::variant<TRuleFired, TForgetFailures, TStartStep, TShowGuardChange,
                                    TRefuseRequest, TKeepGuardMemory>;
// Carried out in their order.
using TRoundDecisions = std::vector<TRoundDecision>;

} // namespace pingvard
