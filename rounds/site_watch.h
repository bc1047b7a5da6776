// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The state of the site, from every ping report and what the recovery
// round does: up (every marked host answers), degraded (some do not) or down
// (the restart rule's condition holds). Going down opens an incident with its
// likeliest cause; it ends when every host that failed in it has answered
// again, naming what cured it. Pure logic on an injected wall clock; the host
// monitor calls it on its own thread and carries out what it returns, like
// the recovery policy's decisions (rounds/recovery_policy.h).
//
// A host is down after MaxTimeouts lost echoes in a row, counted here: the
// restart rule forgets its Failures whenever it fires or the guard holds off,
// the site does not.

#include "config/slots.h"
#include "events/incident.h"
#include "net/link_state.h"
#include "rounds/recovery_policy.h"
#include "rounds/site_cause.h"
#include "rounds/site_view.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pingvard {

// The state changed (published as site-state).
struct TSiteChanged {
    TSiteState State = TSiteState::Up;
    bool operator==(const TSiteChanged&) const = default;
};
// An incident began (site-down) or ended (site-back), as it stands then.
struct TIncidentBegan {
    std::shared_ptr<const TIncident> Incident;
};
struct TIncidentEnded {
    std::shared_ptr<const TIncident> Incident;
};
// Restarts are paused during the incident, until UntilMs (restarts-paused):
// once per pause.
struct TRestartsPaused {
    std::shared_ptr<const TIncident> Incident;
    int64_t UntilMs = 0;
};
// This machine cannot reach the access point during the incident (Held), or
// can again: restarts wait for it, and the status line says so once.
struct TLinkHoldChanged {
    bool Held = false;
    TLinkState Link;
    std::string Address;
};

using TSiteDecision =
    std::variant<TSiteChanged, TIncidentBegan, TIncidentEnded, TRestartsPaused, TLinkHoldChanged>;
using TSiteDecisions = std::vector<TSiteDecision>;

// What the site probe (or a link check of the monitor's own) found; each
// clue only when it was looked at.
struct TSiteClues {
    std::optional<TLinkState> Link;
    std::string LinkAddress; // the access point's address the link was asked about
    std::optional<bool> AccessPointAnswered;
    std::optional<bool> NamesFail; // every failing marked host given by name does not resolve
};

class TSiteWatch {
public:
    using TWallClock = std::function<int64_t()>; // ms since 1970
    // The last step cured the incident when the hosts answer again while its
    // round is still under way (its verify time running), or, for a step
    // without a verify time that went well, within this time of its end (a
    // device's boot).
    static constexpr int64_t kCureWindowMs = 300000;
    explicit TSiteWatch(TWallClock wallMs);

    // The quorum of the restart rule, and the slot that watches the access
    // point, if one does (its echoes then tell whether it answers; otherwise
    // the probe's do).
    void Configure(int32_t quorum, std::optional<int> accessPointSlot);

    // A ping report, before the restart rule sees it; round: where the
    // recovery rounds stand before it.
    TSiteDecisions PingReport(int slot, bool answered, const TRoundView& view,
                              const TRoundStatus& round);
    TSiteDecisions Clues(const TSiteClues& clues, const TRoundView& view);
    // A recovery action starts and ends (manual ones too: while the site is
    // up they show only as running). verifyMs: its verify time.
    void StepStarted(const std::string& action, const std::string& kind, uint32_t verifyMs = 0);
    void StepEnded(bool ok, const std::string& outcome);
    // The guard paused restarts (round: with the pause), or allows them again.
    TSiteDecisions GuardPaused(const TRoundStatus& round);
    void GuardResumed();
    // An incident that was open when the program last ended. It goes on for
    // the hosts of it still watched (by address); with none, it is dropped.
    // Its beginning was told before: only the state changes.
    TSiteDecisions Resume(const TIncident& incident, const TRoundView& view);

    TSiteState State() const { return m_state; }
    const std::optional<TIncident>& Incident() const { return m_incident; }
    // A copy for the events; null when no incident is open.
    std::shared_ptr<const TIncident> IncidentSnapshot() const;
    // No action can help: this machine cannot reach the access point.
    bool HoldsRestarts() const { return m_link.Down(); }
    // Clues are wanted: a marked host is failing, or an incident is open.
    bool WantsProbe() const;
    int32_t LostInARow(int slot) const;

    // actions: the names of the escalation's steps, in its order.
    TSiteView View(const TRoundStatus& round, const std::vector<std::string>& actions) const;

private:
    struct THost {
        bool Marked = false;
        std::string Address;
        bool Numeric = false; // given as an address
        int32_t Lost = 0;     // in a row
        std::optional<bool> LastAnswered;
    };
    bool Down(const THost& host) const { return host.Lost >= m_maxTimeouts; }
    void Take(const TRoundView& view);
    bool RuleHolds() const;
    TCauseClues CauseClues() const;
    void Open(const TRoundStatus& round, TSiteDecisions& out);
    void Close(const TRoundStatus& round, TSiteDecisions& out);
    void Await(std::size_t slot);
    void SetCause();
    void RefineCause();
    void Settle(TSiteDecisions& out);

    TWallClock m_wallMs;
    int32_t m_quorum = 0;
    int32_t m_maxTimeouts = 1;
    std::optional<int> m_apSlot;
    std::array<THost, kSlotCount> m_hosts{};
    TSiteState m_state = TSiteState::Up;
    std::optional<TIncident> m_incident;
    std::array<bool, kSlotCount> m_awaiting{}; // hosts of the incident that have not answered yet
    // Clues as last found.
    TLinkState m_link;
    std::string m_linkAddress;
    std::optional<bool> m_probeAnswered;
    bool m_namesFail = false;
    bool m_holdShown = false;
    bool m_pauseSaid = false; // restarts-paused, once per pause
    std::optional<TIncidentStep> m_running;
    std::optional<TIncidentStep> m_last; // the last step that ended, whenever
    uint32_t m_stepVerifyMs = 0;         // of the last step started
};

} // namespace pingvard
