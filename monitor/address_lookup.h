// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/settings.h"
#include "config/slots.h"
#include "net/abort_signal.h"

#include <array>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {

// The watched hosts' names looked up on a thread of its own, for the settings
// dialog's OK: the GUI thread goes on serving the window, the reports and the
// exit command meanwhile. done gets each host's address (or its Hostname as
// written when the lookup found none in time, as ResolveToIP gives it) on the
// lookup's thread, once every lookup has ended, and never after an abort. The
// destructor aborts a lookup in progress and joins the thread.
class TAddressLookup {
public:
    using TAddresses = std::array<std::string, kSlotCount>;
    // Looks the names up at once; returns them in their order.
    using TResolver = std::function<std::vector<std::string>(const std::vector<std::string>& names,
                                                             const TAbortSignal& abort)>;

    // resolver: null = ResolveToIP within kResolveToIPLimitMs.
    TAddressLookup(const TSettings& settings, std::function<void(TAddresses)> done,
                   TResolver resolver = {});
    ~TAddressLookup();
    TAddressLookup(const TAddressLookup&) = delete;
    TAddressLookup& operator=(const TAddressLookup&) = delete;

private:
    TAbortSignal m_abort;
    std::thread m_thread; // last: starts once the signal exists
};

} // namespace pingvard
