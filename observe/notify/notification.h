// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One notification as it is queued and sent: made once from a monitor event,
// the same text for every channel. Its id is stable: the same event of the
// same incident always gets the same id, so that a message sent again after a
// lost acknowledgement, or queued again after a restart, is recognisable.

#include "events/monitor_event.h"

#include <cstdint>
#include <string>

namespace pingvard {

struct TNotification {
    std::string Id;    // "site-down.1765263909000": letters, digits, '.', '-'
    std::string Event; // the event's name: site-down, site-back, ...
    int64_t TimeMs = 0;
    std::string Title; // the site text, such as Site down (uplink)
    std::string Body;  // plain text, short lines, for a phone's screen
    int Priority = 3;  // 1 (min) to 5 (urgent), as push services rank them
    // The event's own fields as JSON members without the braces
    // ("\"cause\":\"uplink\",..."), for the json preset.
    std::string Facts;
    bool operator==(const TNotification&) const = default;
};

// The notification of an event; site names the machine ("site7") in titles.
TNotification MakeNotification(const TMonitorEvent& event, const std::string& site);
// The message --test-notify sends.
TNotification TestNotification(int64_t nowMs, const std::string& site);

} // namespace pingvard
