// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The recovery policy: when the restart rule holds, the rounds of recovery
// actions (the escalation), the guard across rounds, the hosts a round waits
// for, the verify times and the step that waits for the session token. The
// host monitor calls it at the few moments that matter and carries out the
// decisions it returns; the policy itself shows nothing and starts nothing.
// Pure logic on an injected clock; the monitor calls it on its own thread.

#include "config/recovery_settings.h"
#include "net/tick_clock.h"
#include "rounds/escalation.h"
#include "rounds/restart_guard.h"
#include "rounds/round_decision.h"

#include <array>
#include <cstddef>
#include <optional>

namespace pingvard {

// The texts of the guard's resumption and of a refused manual request.
inline constexpr const char* kRestartsResumedText = "Restarts resumed";
inline constexpr const char* kRestartUnderWayText = "A restart is already under way";
inline constexpr const char* kHoldOffRefusedText =
    "Restart refused: holding off after the last action";

// The restart rule's condition: the quorum of marked hosts (every one when
// quorum is 0 or more than there are) has failed MaxTimeouts times in a row.
bool RestartRuleHolds(const TRoundView& view, int32_t quorum);

// Where the rounds stand, for the state of the site.
struct TRoundStatus {
    bool Active = false;       // a round is under way
    int Round = 0;             // rounds within the guard's window, this one included
    int MaxRounds = 0;         // 0 = no limit
    std::size_t Step = 0;      // the step now (or last) run, 0-based
    bool Verifying = false;    // its action succeeded and its verify time runs
    bool NextStep = false;     // while verifying: another step follows
    uint32_t NextInMs = 0;     // while verifying: until the next step, or the round's end
    uint32_t PausedForMs = 0;  // restarts paused: until the window allows one
    uint32_t HoldOffForMs = 0; // a hold-off runs: what is left of it
    bool operator==(const TRoundStatus&) const = default;
};

class TRecoveryPolicy {
public:
    TRecoveryPolicy(const TRecoverySettings& settings, const TTickClock& clock);

    // Edited settings. The quorum holds at once; the guard (afresh) and the
    // verify times at once when no round runs, else once it has ended. The
    // round count goes on.
    void Reconfigure(const TRecoverySettings& settings);

    // A marked host has just reached MaxTimeouts failures in a row. During a
    // hold-off the failures are forgotten; when the rule holds (the quorum of
    // marked hosts has failed MaxTimeouts times) it fires, a round begins if
    // it may, and every failure count starts afresh.
    TRoundDecisions RestartRuleArmed(const TRoundView& view);
    // A round begins: the first step, unless a round or a session runs (a
    // manual request is then refused) or the guard pauses. A rule round waits
    // for the marked hosts that failed MaxTimeouts times, a manual round for
    // those failing now; with none to wait for, it ends with its first step.
    TRoundDecisions Begin(TRoundTrigger trigger, const TRoundView& view);
    // The running step's action returned: the hold-off starts; after a
    // failure the next step follows at once, after a success its verify time
    // runs (or the round ends, when the hosts are back already).
    TRoundDecisions StepEnded(const TRecoveryOutcome& outcome, const TRoundView& view);
    // A ping report (slot, answered or lost), and with it time passing: a
    // lost echo during the hold-off is forgotten, the hosts the round waits
    // for may all be back (cured: back-off, rounds and a pause reset), a
    // waiting step may start, a verify time may run out, the guard may
    // allow restarts again.
    TRoundDecisions PingReport(int slot, bool answered, const TRoundView& view);
    // What an earlier run of the program kept (TKeepGuardMemory), at start.
    void Restore(const TGuardMemory& memory);

    TRoundStatus Status() const;
    // The actions the steps of the round under way are made from; an edit
    // replaces them once no round runs.
    const std::vector<TActionConfig>& Actions() const { return m_actions; }

private:
    void TakeEditsWhenIdle();
    void RunStep(std::size_t step, TRoundDecisions& out);
    void Follow(const TEscalationCommand& command, TRoundDecisions& out);
    void EndRound(bool cured, TRoundDecisions& out);
    void HostsBack(TRoundDecisions& out);
    void HostAnswered(std::size_t slot, TRoundDecisions& out);
    void ShowGuardChange(bool paused, TRoundDecisions& out);
    void Refuse(const std::string& text, uint32_t forMs, TRoundDecisions& out);
    void KeepGuardMemory(TRoundDecisions& out);

    const TTickClock* m_clock; // a pointer, so that edits can replace the whole state
    int32_t m_quorum;
    std::optional<TRecoverySettings> m_edited; // waits for the round under way
    TRestartGuard m_guard;
    TEscalation m_escalation;
    std::vector<TActionConfig> m_actions; // the escalation's, until an edit is taken
    // Set for the length of one call: a session may start, until one does.
    bool m_sessionFree = false;
    // A step to start once the session token is back (the previous session
    // hands its outcome over before it gives the token back).
    std::optional<std::size_t> m_pending;
    // Marked hosts that were down when the round began, and which of them
    // have answered since the current step started: all of them = back.
    std::array<bool, kSlotCount> m_down{};
    std::array<bool, kSlotCount> m_answered{};
    // After a round, until the hosts it waited for are back: then the guard
    // resets.
    bool m_watching = false;
    // The round waits for nobody (a manual one while every host answers): it
    // says nothing about an outage, so it leaves the back-off and the count
    // of rounds as they are.
    bool m_waitsForNobody = false;
    std::string m_refused;      // the last refusal logged, until the guard or the round moves on
    unsigned m_keptMemory = 0;  // the guard's revision last kept
    bool m_pausedShown = false; // the pause is in the status line and the log
    int m_round = 0;            // rounds since start, for the action's event
    TRecoveryEvent m_event;     // of the round under way
};

} // namespace pingvard
