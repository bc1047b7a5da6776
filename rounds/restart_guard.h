// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keeps restarts from looping during an outage that no restart cures: a
// hold-off after each action during which echo failures don't count, at most
// MaxRounds rounds per sliding window (then a pause until the window allows
// or the hosts are back), and a back-off that doubles the hold-off after each
// round that did not cure the outage. Pure logic on an injected clock; the
// recovery policy (rounds/recovery_policy.h) calls it on the monitor's thread.

#include "config/guard_config.h"
#include "net/tick_clock.h"

#include <cstdint>
#include <deque>
#include <string>

namespace pingvard {

enum class TGuardVerdict { Allowed, HoldingOff, Paused };

class TRestartGuard {
public:
    TRestartGuard(TGuardConfig config, const TTickClock& clock);

    // Whether a round may start now (the rule fired, or "Restart now"). Also
    // forgets a hold-off and rounds that have run out, so ask it on every
    // ping report: state older than the tick counter's wrap (49 days) would
    // otherwise look recent again.
    TGuardVerdict Verdict();
    // Whether echo failures count towards the restart rule now.
    bool FailuresCount() { return Verdict() != TGuardVerdict::HoldingOff; }

    void RoundStarted();
    void ActionEnded(); // each action of a round starts a hold-off
    void RoundEnded(bool cured);
    void HostsBack(); // the outage is over: back-off, rounds and pause reset

    uint32_t CurrentHoldOffMs() const;
    // Status-line text while paused: "Restarts paused, 6 rounds within 24 h".
    std::string PausedText() const;
    // How long the pause or the hold-off under way lasts from now (0 when
    // none): for a refused request's "until".
    uint32_t PausedForMs() const;
    uint32_t HoldOffLeftMs() const;

    // What the guard remembers, for a restart of the program. Revision
    // changes whenever the memory does other than by time passing.
    TGuardMemory Memory() const;
    unsigned Revision() const { return m_revision; }
    // Takes what an earlier run remembered, under this guard's settings: the
    // rounds still within the window, the back-off level, and what is left of
    // the hold-off (never longer than this guard would hold off now).
    void Restore(const TGuardMemory& memory);

    // What the state of the site shows of the guard; nothing is forgotten here.
    int RoundsInWindow() const;
    int MaxRounds() const { return m_config.MaxRounds; }

private:
    uint32_t Since(uint32_t tick) const { return TickDifference(tick, m_clock->Now()); }
    bool InWindow(uint32_t start) const { return Since(start) < m_config.WindowMs; }
    bool HoldOffRuns() const { return m_holdOff && Since(m_holdOffFrom) < m_holdOffMs; }

    TGuardConfig m_config;
    const TTickClock* m_clock; // a pointer, so that the guard can be replaced
    std::deque<uint32_t> m_roundStarts;
    bool m_holdOff = false;
    uint32_t m_holdOffFrom = 0;
    uint32_t m_holdOffMs = 0;
    int m_uncured = 0; // rounds in a row that did not cure
    unsigned m_revision = 0;
};

// "24 h", "90 min", "45 s": the largest unit that divides the time.
std::string DurationText(uint32_t ms);

} // namespace pingvard
