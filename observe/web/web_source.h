// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the status page shows and the one thing it may do, as the listener's
// thread sees them: a copy of the monitor's state taken on the GUI thread
// (never older than a second or two), the incidents seen, and "Restart now"
// handed to the GUI thread like the menu's item.

#include "events/incident.h"
#include "monitor/row_figures.h"
#include "rounds/site_view.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pingvard {

struct TWebHost {
    std::string Name;    // the display name, as the window shows it
    std::string Address; // what the slot pings (the history's key)
    bool Watched = true; // takes part in the restart rule
    TRowFigures Figures;
    bool Down = false; // MaxTimeouts lost in a row
};

struct TWebStatus {
    int64_t TimeMs = 0; // when the copy was taken (wall clock); 0: none yet
    std::vector<TWebHost> Hosts;
    TSiteView Site;
    std::optional<TIncident> Incident; // the open one
    std::string StatusText;
    bool Held = false; // the settings a first start wrote await confirmation
};

// The answer to "Restart now".
struct TRestartAnswer {
    enum class TResult { Started, Refused, Busy };
    TResult Result = TResult::Busy;
    std::string Reason; // Refused: the guard's or the monitor's words; Busy: why
};

class TWebSource {
public:
    virtual ~TWebSource() = default;
    // Any thread; returns at once.
    virtual TWebStatus Status() const = 0;
    // The incidents with a start in [fromMs, now), the open one included,
    // newest first. Any thread; returns at once.
    virtual std::vector<TIncident> Incidents(int64_t fromMs) const = 0;
    // Asks the monitor for one round, as the menu's item does, and waits a
    // bounded time for what it did. Requests that come while one is asked
    // are that one (they share its answer).
    virtual TRestartAnswer RestartNow() = 0;
};

} // namespace pingvard
