// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The English words for the state of the site and its incidents: the
// console's site line, the service status, the texts of the site events
// (hooks, history). The desktop has its own, translated (ui/).

#include "events/incident.h"
#include "rounds/round_decision.h"
#include "rounds/site_view.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pingvard {

// A wall-clock time (ms since 1970) as the operator reads it: "14:05", with
// the date before it when it is not today.
using TClockText = std::function<std::string(int64_t ms)>;
std::string LocalClockText(int64_t ms);

// "uplink", "access point", "local link", "name service", "cause unknown".
std::string CauseText(TSiteCause cause);
// "45 s", "6 min", "2 h 5 min", "3 d 4 h": rounded down to the smaller unit.
std::string ElapsedText(int64_t ms);

// "This machine's link eth0 is down: no restart", or "This machine has no
// route to 192.168.168.1: no restart".
std::string LinkHeldText(const TLinkState& link, const std::string& address);
// "This machine's link eth0 is up again".
std::string LinkBackText(const TLinkState& link, const std::string& address);

// "Site down (uplink)"; "Site down (local link eth0)".
std::string SiteDownText(const TIncident& incident);
// "Site back after 6 min (cured by plug)", or "(not cured)".
std::string SiteBackText(const TIncident& incident);
// "Restarts paused until 14:05".
std::string RestartsPausedText(int64_t untilMs, const TClockText& clock);

// The restart rule's text: "10.0.0.11, 10.0.0.12 failed 5 times in a row".
std::string RuleFiredText(const TRoundView& view);

// One line without anything that counts down, so that it changes only with
// the state: "up, 4 of 4 hosts answer", "degraded, 3 of 4 hosts answer",
// "down since 03:12 (uplink), 0 of 4 hosts answer", and while restarts are
// held for the link "...; This machine's link eth0 is down: no restart".
std::string SiteLine(const TSiteView& view, const TClockText& clock);

} // namespace pingvard
