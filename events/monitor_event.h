// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the monitor tells the world: every echo, hosts going down and coming
// back, the restart rule, each recovery step and the status line. Consumers
// (history, metrics, hooks, notifications, systemd) subscribe through a sink;
// the monitor never calls any of them directly.

#include "events/incident.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

enum class TMonitorEventKind {
    Echo,           // one echo's outcome
    HostDown,       // a host reached MaxTimeouts consecutive failures
    HostUp,         // the first answer of a host that was down
    RuleFired,      // the restart rule (with quorum) fired
    ActionStarted,  // a recovery step starts
    ActionOutcome,  // a recovery step ended (Ok, Text)
    GuardChanged,   // the guard paused (Ok false) or resumed (Ok true) acting (Text)
    StatusText,     // the status line changed (Text)
    SiteState,      // the site went up, degraded or down (Site; Text: the site line)
    SiteDown,       // an incident began (Incident; Text: "Site down (uplink)")
    SiteBack,       // the incident ended (Incident; Text: "Site back after 6 min (cured by plug)")
    RestartsPaused, // the guard paused restarts during an incident (Incident; Text: until when)
};

// "echo", "host-down", "host-up", "rule-fired", "action-started",
// "action-outcome", "guard-changed", "status", "site-state", "site-down",
// "site-back", "restarts-paused": the names hooks, the history and the
// settings use.
std::string_view KindName(TMonitorEventKind kind) noexcept;
std::optional<TMonitorEventKind> KindFromName(std::string_view name) noexcept;

struct TMonitorEvent {
    TMonitorEventKind Kind = TMonitorEventKind::Echo;
    std::chrono::system_clock::time_point Time;
    int Slot = -1;                      // Echo, HostDown, HostUp: 0..3
    std::string Host;                   // the slot's address
    std::string DisplayName;            // the slot's name as the window shows it
    std::optional<int64_t> RoundTripUs; // Echo: empty = lost
    std::string Action;                 // ActionStarted/Outcome: name
    std::string ActionKind;             // the kind's name: telnet, ssh...
    bool Ok = false;                    // ActionOutcome; GuardChanged: acting again
    std::string Text;                   // outcome, guard or status text (never a secret)
    TSiteState Site = TSiteState::Up;   // SiteState, SiteDown, SiteBack: the state from now on
    int64_t UntilMs = 0;                // RestartsPaused: until when (ms since 1970)
    // The incident as it stands: SiteDown, SiteBack, RestartsPaused, and the
    // rule and action events while one is open. Shared, so that an echo's
    // copy costs nothing.
    std::shared_ptr<const TIncident> Incident;
};

class TEventSink {
public:
    virtual ~TEventSink() = default;
    // Called on the monitor's (GUI) thread; must return at once.
    virtual void Publish(const TMonitorEvent& event) noexcept = 0;
};

// Hands every event to each subscribed sink, in the order they were added.
// Subscribing and publishing may happen on different threads; a sink must stay
// alive until it is removed (or the hub is gone).
class TEventHub final : public TEventSink {
public:
    void Add(TEventSink& sink);
    void Remove(TEventSink& sink) noexcept;
    void Publish(const TMonitorEvent& event) noexcept override;

private:
    std::mutex m_mutex;
    std::vector<TEventSink*> m_sinks;
};

} // namespace pingvard
