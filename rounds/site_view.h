// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The state of the site as the front ends show it (the tray's image and
// tooltip, the status bar's second field, the console's site line, the
// service status): figures, which each front end puts into its own words.
// rounds/site_text.h has the English words, ui/ the Czech ones.

#include "events/incident.h"
#include "net/link_state.h"

#include <cstdint>
#include <string>

namespace pingvard {

struct TSiteView {
    TSiteState State = TSiteState::Up;
    int Answering = 0; // watched hosts that answer (not MaxTimeouts lost in a row)
    int Watched = 0;

    // Down: since when (wall clock, ms since 1970) and why.
    int64_t DownSinceMs = 0;
    TSiteCause Cause = TSiteCause::Unknown;
    // Set while restarts are held because this machine cannot reach the
    // access point: the link without carrier, or no route to Address.
    TLinkState HeldBy;
    std::string HeldAddress;

    // An action runs now.
    bool ActionRunning = false;
    std::string RunningAction;

    // The round under way (Round > 0): its number within the guard's window
    // and the limit (0 = none); while a step is verified, the action that
    // follows (empty: the round ends) and in how long.
    int Round = 0;
    int MaxRounds = 0;
    bool Verifying = false;
    std::string NextAction;
    uint32_t NextInMs = 0;
    // The guard: restarts paused until (wall clock), or held off for a time.
    int64_t PausedUntilMs = 0;
    uint32_t HoldOffMs = 0;
    // The settings a first start wrote wait for the operator: no restart.
    bool AwaitingConfirmation = false;

    // The last step's outcome, whenever it was (LastOutcomeMs 0: none yet).
    std::string LastOutcome;
    bool LastOk = false;
    int64_t LastOutcomeMs = 0;
    // The open incident's last step failed.
    bool FailedStep = false;

    bool operator==(const TSiteView&) const = default;
};

// The tray's images.
inline constexpr int kTrayNormal = 0;
inline constexpr int kTrayResetting = 1;
inline constexpr int kTrayFailed = 2;
inline constexpr int kTraySiteDown = 3;
inline constexpr int kTrayImageCount = 4;

// The tray image: 0 normal while the site is up or degraded (a failed last
// attempt is named in the tooltip instead), 1 while an action runs, 2 while
// it is down after a failed step, 3 while it is down otherwise.
int TrayImageFor(const TSiteView& view);

} // namespace pingvard
