// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether this machine can reach an address at all: the route the kernel
// would take towards it, and whether the link of that route has a carrier.
// Asked of the kernel's routing socket (rtnetlink) on Linux; elsewhere the
// answer is Unknown. One bounded request and answer on the calling thread:
// the kernel answers at once, and the time-out only guards against a kernel
// that does not.

#include <cstdint>
#include <string>

namespace pingvard {

struct TLinkState {
    enum class TKind {
        Unknown,   // not an address, or the kernel could not be asked
        Up,        // a route, over a link that is up with a carrier
        NoRoute,   // no route (or an unreachable one) towards the address
        NoCarrier, // the route's link is down or has no carrier
    };
    TKind Kind = TKind::Unknown;
    std::string Interface; // Up, NoCarrier: the route's link ("eth0")

    // Nothing of this machine can reach the address.
    bool Down() const { return Kind == TKind::NoRoute || Kind == TKind::NoCarrier; }
    bool operator==(const TLinkState&) const = default;
};

// address: numeric IPv4 or IPv6 text.
TLinkState LinkTowards(const std::string& address, int32_t timeoutMs = 200);

// Numeric IPv4 or IPv6 text, as opposed to a name.
bool IsNumericAddress(const std::string& text);

} // namespace pingvard
