// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/host_lookup.h"

#include "net/socket_errors.h"

#include <algorithm>
#include <ares.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

namespace pingvard {
namespace {

using TSteady = std::chrono::steady_clock;

// Without an abort pipe, waits are cut into slices this long to look at the flag.
constexpr int kAbortPollSliceMs = 10;

int RemainingMs(TSteady::time_point deadline) {
    const auto left = deadline - TSteady::now();
    if (left <= TSteady::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 0x7FFFFFFF));
}

bool Wanted(int family, int wanted) {
    return (family == AF_INET || family == AF_INET6) && (wanted == AF_UNSPEC || wanted == family);
}

void Append(std::vector<sockaddr_storage>& out, const sockaddr* address, std::size_t length) {
    const std::size_t needed =
        address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (length < needed) {
        return;
    }
    sockaddr_storage storage{};
    std::memcpy(&storage, address, needed);
    if (storage.ss_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = 0;
    } else {
        reinterpret_cast<sockaddr_in*>(&storage)->sin_port = 0;
    }
    out.push_back(storage);
}

// A numeric address needs no resolver: true with the result filled in.
bool LookupNumeric(const std::string& host, int family, TLookupResult& result) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;    // a literal of the other family is still not a name
    hints.ai_socktype = SOCK_DGRAM; // one entry per address, not one per socket type
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) {
        return false;
    }
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (Wanted(entry->ai_family, family)) {
            Append(result.Addresses, entry->ai_addr, entry->ai_addrlen);
        }
    }
    ::freeaddrinfo(list);
    result.Error = result.Addresses.empty() ? kWsaHostNotFound : 0;
    return true;
}

int WinsockFromAres(int status) {
    switch (status) {
    case ARES_SUCCESS:
        return 0;
    case ARES_ENOTFOUND:
    case ARES_ENODATA:
    case ARES_EBADNAME:
    case ARES_ENONAME:
    case ARES_EBADFAMILY:
        return kWsaHostNotFound;
    case ARES_ETIMEOUT:
    case ARES_ESERVFAIL:
    case ARES_ECONNREFUSED:
    case ARES_EREFUSED:
        return kWsaTryAgain;
    default:
        return kWsaNoRecovery;
    }
}

struct TQuery {
    int Family = AF_UNSPEC;
    bool Done = false;
    int Status = ARES_ETIMEOUT;
    TLookupResult* Result = nullptr;
};

void OnAnswer(void* arg, int status, int /*timeouts*/, ares_addrinfo* answer) {
    auto& query = *static_cast<TQuery*>(arg);
    query.Done = true;
    query.Status = status;
    if (answer == nullptr) {
        return;
    }
    for (const ares_addrinfo_node* node = answer->nodes; node != nullptr; node = node->ai_next) {
        if (Wanted(node->ai_family, query.Family)) {
            Append(query.Result->Addresses, node->ai_addr, node->ai_addrlen);
        }
    }
    ::ares_freeaddrinfo(answer);
}

// One resolver channel: the configuration files are read when it is made.
class TChannel {
public:
    explicit TChannel(const std::string& servers) {
        static std::once_flag initialised;
        std::call_once(initialised, [] { ::ares_library_init(ARES_LIB_INIT_ALL); });
        ares_options options{};
        m_ok = ::ares_init_options(&m_channel, &options, 0) == ARES_SUCCESS;
        if (m_ok && !servers.empty()) {
            m_ok = ::ares_set_servers_ports_csv(m_channel, servers.c_str()) == ARES_SUCCESS;
        }
    }
    ~TChannel() {
        if (m_channel != nullptr) {
            // Calls back every query still open (ARES_EDESTRUCTION).
            ::ares_destroy(m_channel);
        }
    }
    TChannel(const TChannel&) = delete;
    TChannel& operator=(const TChannel&) = delete;

    bool Ok() const { return m_ok; }
    ares_channel Get() const { return m_channel; }

private:
    ares_channel m_channel = nullptr;
    bool m_ok = false;
};

enum class TWaitEnd { Answered, TimedOut, Aborted };

bool AllDone(const std::vector<TQuery>& queries) {
    return std::all_of(queries.begin(), queries.end(), [](const TQuery& q) { return q.Done; });
}

// How long the next poll may sleep: the resolver's own next time-out, cut to
// what is left of ours; -1 for no limit.
int NextWaitMs(ares_channel channel, bool unlimited, TSteady::time_point deadline) {
    timeval next{};
    int wait = -1;
    if (::ares_timeout(channel, nullptr, &next) != nullptr) {
        wait = static_cast<int>(next.tv_sec * 1000 + (next.tv_usec + 999) / 1000);
    }
    if (!unlimited) {
        const int left = RemainingMs(deadline);
        wait = wait < 0 ? left : std::min(wait, left);
    }
    return wait;
}

// Serves the channel's sockets until every query is answered, the time-out
// passes or the abort signal is raised.
TWaitEnd Serve(ares_channel channel, const std::vector<TQuery>& queries,
               const TLookupOptions& options) {
    const bool unlimited = options.TimeoutMs < 0;
    const auto deadline =
        TSteady::now() + std::chrono::milliseconds(unlimited ? 0 : options.TimeoutMs);
    const int abortFd = options.Abort != nullptr ? options.Abort->WaitFd() : -1;
    std::vector<pollfd> fds;
    for (;;) {
        if (AllDone(queries)) {
            return TWaitEnd::Answered;
        }
        if (options.Abort != nullptr && options.Abort->Raised()) {
            return TWaitEnd::Aborted;
        }
        if (!unlimited && RemainingMs(deadline) == 0) {
            return TWaitEnd::TimedOut;
        }
        int wait = NextWaitMs(channel, unlimited, deadline);
        if (options.Abort != nullptr && abortFd < 0 && (wait < 0 || wait > kAbortPollSliceMs)) {
            wait = kAbortPollSliceMs;
        }
        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        const int bits = ::ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
        fds.clear();
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            short events = 0;
            if (ARES_GETSOCK_READABLE(bits, i)) {
                events |= POLLIN;
            }
            if (ARES_GETSOCK_WRITABLE(bits, i)) {
                events |= POLLOUT;
            }
            if (events != 0) {
                fds.push_back({sockets[i], events, 0});
            }
        }
        const std::size_t resolverFds = fds.size();
        if (abortFd >= 0) {
            fds.push_back({abortFd, POLLIN, 0});
        }
        const int ready = ::poll(fds.data(), fds.size(), wait);
        if (ready < 0 && errno != EINTR) {
            return TWaitEnd::TimedOut; // cannot wait any more: as if no answer came
        }
        bool served = false;
        for (std::size_t i = 0; i < resolverFds && ready > 0; ++i) {
            const short got = fds[i].revents;
            if (got == 0) {
                continue;
            }
            served = true;
            const bool readable = (got & (POLLIN | POLLERR | POLLHUP)) != 0;
            const bool writable = (got & POLLOUT) != 0;
            ::ares_process_fd(channel, readable ? fds[i].fd : ARES_SOCKET_BAD,
                              writable ? fds[i].fd : ARES_SOCKET_BAD);
        }
        if (!served) {
            ::ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD); // its time-outs
        }
    }
}

// Asks the resolver for the names among hosts (by index) and fills their results.
void AskResolver(const std::vector<std::string>& hosts, const std::vector<std::size_t>& names,
                 const TLookupOptions& options, std::vector<TLookupResult>& results) {
    // Declared before the channel, which calls back every query still open
    // (ARES_EDESTRUCTION) when it goes: the callbacks' pointers stay valid.
    std::vector<TQuery> queries(names.size());
    TChannel channel(options.Servers);
    if (!channel.Ok()) {
        for (const std::size_t i : names) {
            results[i].Error = kWsaNoRecovery;
        }
        return;
    }
    ares_addrinfo_hints hints{};
    hints.ai_family = options.Family;
    hints.ai_flags = ARES_AI_NOSORT; // the order the servers gave; nothing is probed
    for (std::size_t q = 0; q < names.size(); ++q) {
        queries[q].Family = options.Family;
        queries[q].Result = &results[names[q]];
        // The hosts file is read here: such a name may be answered at once.
        ::ares_getaddrinfo(channel.Get(), hosts[names[q]].c_str(), nullptr, &hints, OnAnswer,
                           &queries[q]);
    }
    const TWaitEnd end = Serve(channel.Get(), queries, options);
    for (TQuery& query : queries) {
        if (!query.Done) {
            query.Result->Addresses.clear();
            query.Result->Error = end == TWaitEnd::Aborted ? kWsaEintr : kWsaTryAgain;
        } else {
            const int error = WinsockFromAres(query.Status);
            query.Result->Error =
                error == 0 && query.Result->Addresses.empty() ? kWsaHostNotFound : error;
        }
    }
}

} // namespace

std::vector<TLookupResult> LookupHosts(const std::vector<std::string>& hosts,
                                       const TLookupOptions& options) {
    std::vector<TLookupResult> results(hosts.size());
    std::vector<std::size_t> names; // indices still to ask the resolver
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        if (hosts[i].empty()) {
            results[i].Error = kWsaHostNotFound;
        } else if (!LookupNumeric(hosts[i], options.Family, results[i])) {
            names.push_back(i);
        }
    }
    if (names.empty()) {
        return results;
    }
    if (options.Abort != nullptr && options.Abort->Raised()) {
        for (const std::size_t i : names) {
            results[i].Error = kWsaEintr;
        }
        return results;
    }
    AskResolver(hosts, names, options, results);
    return results;
}

TLookupResult LookupHost(const std::string& host, const TLookupOptions& options) {
    return LookupHosts({host}, options).front();
}

} // namespace pingvard
