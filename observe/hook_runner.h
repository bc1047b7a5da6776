// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Event hooks: a program of the operator's, run with arguments (no shell) on
// host down, host up, restart rule fired and each recovery outcome (or the
// events its Events= names), with the event in its environment. Each hook has its own queue and
// worker, so a hook runs one at a time, within its time limit, and never delays an echo or a
// restart. A failed run is reported once, through the report callback.
//
// Environment of a run (every variable is always set, empty where it does not
// apply, so nothing inherited can be mistaken for the event):
//   PINGVARD_HOOK          the hook's name
//   PINGVARD_EVENT         host-down | host-up | rule-fired | action-started |
//                          action-outcome | guard-changed | site-state | site-down |
//                          site-back | restarts-paused
//   PINGVARD_TIME          local time, ISO 8601 with offset (2026-12-07T13:05:09+01:00)
//   PINGVARD_TIMESTAMP     seconds since 1970 (UTC)
//   PINGVARD_HOST          host events: the address; PINGVARD_HOST_NAME its name
//   PINGVARD_SLOT          host events: 1 to 4, as Host1..Host4 in pingvard.ini
//   PINGVARD_ECHOES, PINGVARD_LOST, PINGVARD_LOSS_PERCENT
//                          host events: echoes sent and lost since the start
//   PINGVARD_FAILURES      host events: consecutive failed echoes
//   PINGVARD_LAST_RTT_MS   host events: last answered round trip (e.g. 12.345)
//   PINGVARD_DOWN_SECONDS  host-up: how long the host was down; site-back: the incident
//   PINGVARD_ACTION, PINGVARD_ACTION_KIND   action events: name and kind
//   PINGVARD_OK            action-outcome: 1 or 0; guard-changed: 1 = acting again
//   PINGVARD_TEXT          outcome, rule, guard or site text ("Site down (uplink)",
//                          "Site back after 6 min (cured by plug)", "Restarts paused
//                          until 14:05", the site line)
//   PINGVARD_SITE          site-state, site-down, site-back: up | degraded | down
//   PINGVARD_CAUSE         during an incident: unknown | uplink | access-point |
//                          local-link | name-service
//   PINGVARD_CURED_BY      site-back: the action that cured it, empty when none did
// NOTIFY_SOCKET is emptied, so a hook can never speak for the service.

#include "config/hook_config.h"
#include "events/monitor_event.h"
#include "observe/queued_sink.h"
#include "recovery/child_process.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pingvard {

using TReportFn = std::function<void(const std::string&)>;

// The environment a hook gets for an event; figures come from the echoes
// seen so far. Free for tests and for `--test-hook`-like tools.
class THookFigures {
public:
    void Count(const TMonitorEvent& echo);
    std::vector<std::pair<std::string, std::string>> Environment(const std::string& hookName,
                                                                 const TMonitorEvent& event) const;

private:
    struct THost {
        uint64_t Echoes = 0;
        uint64_t Lost = 0;
        uint64_t Failures = 0;
        std::optional<int64_t> LastRoundTripUs;
        std::optional<std::chrono::system_clock::time_point> DownSince;
    };
    THost m_hosts[4];
};

class THookRunner final : public TEventSink {
public:
    // secrets: texts that must never reach a hook; they are masked in every value.
    THookRunner(std::vector<THookConfig> hooks, TReportFn report,
                std::vector<std::string> secrets = {});
    ~THookRunner() override; // Stop()
    THookRunner(const THookRunner&) = delete;
    THookRunner& operator=(const THookRunner&) = delete;

    void Publish(const TMonitorEvent& event) noexcept override;
    // Ends running hooks at once, drops the runs still queued, joins the workers.
    void Stop() noexcept;

private:
    class THook;
    std::vector<std::unique_ptr<THook>> m_hooks;
};

} // namespace pingvard
