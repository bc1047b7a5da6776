// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The escalation of one round: run the first action; if the marked hosts have
// not answered again within its verify time, run the next; and so on until the
// hosts are back (cured) or the list is done (uncured). An action that failed
// hands over to the next one at once. Pure logic on an injected clock: the
// recovery policy (rounds/recovery_policy.h) reports what happened.

#include "net/tick_clock.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pingvard {

struct TEscalationCommand {
    enum class TKind {
        None,      // nothing to do now
        RunAction, // run action Action (index into the list)
        Cured,     // the round ended: the hosts are back
        Uncured,   // the round ended: every action ran, the hosts are still down
    };
    TKind Kind = TKind::None;
    std::size_t Action = 0;

    bool operator==(const TEscalationCommand&) const = default;
};

class TEscalation {
public:
    // One verify time per action, in the escalation's order.
    TEscalation(std::vector<uint32_t> verifyMs, const TTickClock& clock);

    bool Active() const { return m_state != TState::Idle; }
    // Where the round stands, for the state of the site: the action now (or
    // last) run, and while it is verified the time left and whether another
    // action follows.
    std::size_t Current() const { return m_current; }
    bool Verifying() const { return m_state == TState::Verifying; }
    uint32_t VerifyLeftMs() const;
    bool HasNext() const { return m_current + 1 < m_verifyMs.size(); }

    // A round begins: RunAction 0, or None when one runs already or there is
    // no action.
    TEscalationCommand Begin();
    // The running action returned.
    TEscalationCommand ActionEnded(bool ok);
    // The marked hosts answered again.
    TEscalationCommand HostsBack();
    // Time passes: a verify time may have run out. Call it on each report.
    TEscalationCommand Poll();

private:
    enum class TState { Idle, Running, Verifying };
    TEscalationCommand Next();

    std::vector<uint32_t> m_verifyMs;
    const TTickClock* m_clock; // a pointer, so that the escalation can be replaced
    TState m_state = TState::Idle;
    std::size_t m_current = 0;
    uint32_t m_verifyFrom = 0;
    bool m_hostsBack = false;
};

} // namespace pingvard
