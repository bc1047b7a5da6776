// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/web/listen_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace pingvard {

namespace {

bool AnyAddress(const std::string& address) {
    in6_addr v6{};
    in_addr v4{};
    return (::inet_pton(AF_INET, address.c_str(), &v4) == 1 && v4.s_addr == htonl(INADDR_ANY)) ||
           (::inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_UNSPECIFIED(&v6));
}

bool NumericAddress(const std::string& address) {
    in6_addr v6{};
    in_addr v4{};
    return ::inet_pton(AF_INET, address.c_str(), &v4) == 1 ||
           ::inet_pton(AF_INET6, address.c_str(), &v6) == 1;
}

} // namespace

std::string ReadListenAddress(TSectionReader& r, const std::string& def, bool allInterfaces) {
    const auto address = r.Value("Address");
    if (!address) {
        // The explicit wish without an address: every interface.
        return allInterfaces ? "0.0.0.0" : def;
    }
    if (!NumericAddress(*address)) {
        r.Problem("Address", *address, "not a numeric IPv4 or IPv6 address; using " + def);
        return def;
    }
    if (AnyAddress(*address) && !allInterfaces) {
        r.Problem("Address", *address, "every interface needs AllInterfaces=1; using " + def);
        return def;
    }
    return *address;
}

} // namespace pingvard
