// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/recovery_settings.h"
#include "config/settings.h"
#include "config/slots.h"
#include "recovery/recovery_action.h"
#include "rounds/escalation.h"
#include "rounds/restart_guard.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace pingvard {

// Texts the guard shows in the status line and pingvard.log when it stops
// acting and when it acts again.
inline constexpr const char* kRestartsResumedText = "Restarts resumed";
inline constexpr const char* kRestartUnderWayText = "A restart is already under way";

// The host monitor's recovery state: the escalation of the current round, the
// guard across rounds, and which hosts the round waits for. GUI thread only.
struct TRecoveryRun {
    TRecoveryRun(const TRecoverySettings& settings, const TTickClock& clock)
        : Guard(settings.Guard, clock), Escalation(VerifyTimes(settings), clock) {}

    TRestartGuard Guard;
    TEscalation Escalation;
    // A step to start once the session token is back (the previous session
    // hands its outcome over before it gives the token back).
    std::optional<std::size_t> Pending;
    // Marked hosts that were down when the round began, and which of them
    // have answered since the current step started: all of them = back.
    std::array<bool, kSlotCount> Down{};
    std::array<bool, kSlotCount> Answered{};
    // After a round, until the hosts it waited for are back: then the guard
    // resets.
    bool Watching = false;
    bool PausedShown = false; // the pause is in the status line and the log
    int Round = 0;            // rounds since start, for the action's event
    TRecoveryEvent Event;
    std::string StartingText; // the status while the current step runs
    bool Replace = false;     // the settings changed: start afresh after this round
};

// The action of one configured step. The telnet kind plays the settings'
// challenge script against resetHost on resetPort within telnetLimitMs (0 =
// its TimeLimit); the other kinds are made from their own settings.
std::unique_ptr<TRecoveryAction>
MakeConfiguredAction(const TActionConfig& config, const TSettings& settings,
                     const std::string& resetHost, const std::string& resetPort,
                     int32_t telnetLimitMs, const TTickClock* clock);

} // namespace pingvard
