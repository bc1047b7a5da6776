// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The likeliest cause of an outage, from what the monitor sees when the site
// goes down: whether this machine can reach the access point at all, whether
// the access point answers, and whether names fail where addresses answer.

#include "events/incident.h"
#include "net/link_state.h"

#include <optional>

namespace pingvard {

struct TCauseClues {
    TLinkState Link;                        // towards the access point (the reset host)
    std::optional<bool> AccessPointAnswers; // its last echo; none: not known
    // Every failing marked host is a name that does not resolve now ...
    bool NamesFail = false;
    // ... while a watched host given as an address (not the access point) answers.
    bool AddressAnswers = false;
};

// In this order: no route or no carrier towards the access point (local
// link); names that fail while addresses answer (name service); the access
// point answering (uplink) or not (access point); else unknown.
TSiteCause LikelyCause(const TCauseClues& clues);

} // namespace pingvard
