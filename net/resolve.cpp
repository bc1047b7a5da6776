// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/resolve.h"

#include "net/host_lookup.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace pingvard {

std::vector<std::string> ResolveToIP(const std::vector<std::string>& names, int32_t limitMs,
                                     const TAbortSignal* abort) {
    TLookupOptions options;
    options.Family = AF_INET;
    options.TimeoutMs = limitMs < 0 ? 0 : limitMs;
    options.Abort = abort;
    const std::vector<TLookupResult> found = LookupHosts(names, options);
    std::vector<std::string> results = names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (found[i].Error != 0 || found[i].Addresses.empty()) {
            continue;
        }
        const auto& address = reinterpret_cast<const sockaddr_in&>(found[i].Addresses.front());
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) != nullptr) {
            results[i] = text;
        }
    }
    return results;
}

std::string ResolveToIP(const std::string& name, int32_t limitMs) {
    return ResolveToIP(std::vector<std::string>{name}, limitMs).front();
}

} // namespace pingvard
