// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The incidents as the history keeps them, and the time the program was
// watching, from which the share of time up is reckoned.

#include "events/incident.h"

#include <cstdint>

namespace pingvard {

struct TIncidentRecord {
    int64_t Id = 0; // the row's id; the incident's StartMs identifies it as well
    // Incident.EndMs is 0 while it is open (or its program was killed and has
    // not started since).
    TIncident Incident;
    // The program ended while the incident was open and did not take it up
    // again: EndMs is the last moment it was watching, not the hosts' return.
    bool Unfinished = false;
    bool operator==(const TIncidentRecord&) const = default;
};

// A stretch of wall-clock time in which the program sent echoes: echoes no
// further apart than kWatchedGapMs belong to one stretch.
struct TWatchedSpan {
    int64_t FromMs = 0;
    int64_t ToMs = 0;
    bool operator==(const TWatchedSpan&) const = default;
};

// Longer than any sensible PingInterval with its echo Timeout, shorter than
// a suspend or a stopped program worth leaving out of the uptime.
inline constexpr int64_t kWatchedGapMs = 5 * 60'000;

} // namespace pingvard
