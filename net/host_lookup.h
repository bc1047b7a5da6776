// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Name lookups that never outlive their caller's patience. Numeric addresses
// are taken apart at once; names go through the hosts file and DNS with c-ares
// on the calling thread, in a poll() that also watches the caller's abort
// signal, so a resolver that never answers costs at most the time-out and an
// abort ends the lookup at once. No thread is started and none is left behind.
//
// c-ares reads /etc/hosts, /etc/resolv.conf and the files/dns order of the
// "hosts:" line of /etc/nsswitch.conf at every lookup (so a resolv.conf written
// after start-up counts); other name services (mDNS, LDAP, systemd's
// myhostname) are not consulted.

#include "net/abort_signal.h"

#include <string>
#include <sys/socket.h>
#include <vector>

namespace pingvard {

struct TLookupOptions {
    int Family = AF_UNSPEC; // AF_INET, AF_INET6 or AF_UNSPEC (both)
    int TimeoutMs = -1;     // -1: only the resolver's own time-outs and attempts
    const TAbortSignal* Abort = nullptr;
    // "address:port,..." to ask instead of the name servers of resolv.conf.
    std::string Servers;
};

struct TLookupResult {
    // 0, or a Winsock code: kWsaHostNotFound (no such name, or no address of
    // the family), kWsaTryAgain (no answer in time, or the servers failed),
    // kWsaEintr (aborted), kWsaNoRecovery (the resolver could not be used).
    int Error = 0;
    std::vector<sockaddr_storage> Addresses; // in the resolver's order; port 0
};

// Every host at once, sharing one time-out; results in the order of hosts.
std::vector<TLookupResult> LookupHosts(const std::vector<std::string>& hosts,
                                       const TLookupOptions& options);
TLookupResult LookupHost(const std::string& host, const TLookupOptions& options);

} // namespace pingvard
