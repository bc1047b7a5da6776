// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/address_lookup.h"

#include "net/resolve.h"

#include <algorithm>
#include <utility>

namespace pingvard {

TAddressLookup::TAddressLookup(const TSettings& settings, std::function<void(TAddresses)> done,
                               TResolver resolver) {
    std::vector<std::string> names;
    for (const THostSettings& host : settings.Hosts) {
        names.push_back(host.Hostname);
    }
    if (!resolver) {
        resolver = [](const std::vector<std::string>& hosts, const TAbortSignal& abort) {
            return ResolveToIP(hosts, kResolveToIPLimitMs, &abort);
        };
    }
    m_thread = std::thread(
        [this, names = std::move(names), done = std::move(done), resolver = std::move(resolver)] {
            const std::vector<std::string> found = resolver(names, m_abort);
            if (m_abort.Raised() || found.size() != names.size()) {
                return;
            }
            TAddresses addresses;
            std::copy(found.begin(), found.end(), addresses.begin());
            done(std::move(addresses));
        });
}

TAddressLookup::~TAddressLookup() {
    m_abort.Raise();
    m_thread.join();
}

} // namespace pingvard
