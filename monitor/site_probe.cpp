// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/site_probe.h"

#include "net/host_lookup.h"
#include "net/link_state.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>

namespace pingvard {

namespace {

std::string NumericText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    }
    return text;
}

} // namespace

TSiteProbe::TSiteProbe(TGuiDispatcher& dispatcher, const std::atomic<int32_t>& pingInterval,
                       TReport report, TPinger pinger, TPass pass)
    : m_dispatcher(dispatcher), m_pingInterval(pingInterval), m_report(std::move(report)),
      m_pinger(std::move(pinger)), m_pass(std::move(pass)) {}

TSiteProbe::~TSiteProbe() {
    RequestStop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void TSiteProbe::Start() {
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { Execute(); });
    }
}

void TSiteProbe::Want(std::optional<TProbeRequest> request) {
    {
        std::lock_guard lock(m_mutex);
        if (request == m_request) {
            return;
        }
        m_request = std::move(request);
    }
    m_wake.notify_one();
}

void TSiteProbe::RequestStop() noexcept {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_abort.Raise();
    m_echoClient.Abort();
    m_wake.notify_one();
}

bool TSiteProbe::WaitForEnd(int32_t ms) {
    if (!m_thread.joinable()) {
        return true;
    }
    std::unique_lock lock(m_endedMutex);
    return m_endedChanged.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)),
                                   [this] { return m_ended; });
}

void TSiteProbe::Execute() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_request.has_value(); });
        if (m_stopping) {
            break;
        }
        const TProbeRequest request = *m_request;
        lock.unlock();
        TSiteClues clues;
        try {
            clues = m_pass ? m_pass(request) : ProbeOnce(request);
            // Returns false without running the report once shutdown cancelled it.
            m_dispatcher.Send([this, clues] { m_report(clues); });
        } catch (...) {
            // A pass or hand-off that failed (out of memory) is a pass without clues.
        }
        lock.lock();
        const int32_t interval =
            std::max(m_pingInterval.load(std::memory_order_relaxed), kMinIntervalMs);
        m_wake.wait_for(lock, std::chrono::milliseconds(interval), [this] { return m_stopping; });
    }
    lock.unlock();
    std::lock_guard ended(m_endedMutex);
    m_ended = true;
    m_endedChanged.notify_all();
}

std::optional<bool> TSiteProbe::EchoAnswered(const std::string& host, int32_t timeoutMs) {
    if (m_pinger) {
        return m_pinger(host, timeoutMs) >= 0;
    }
    m_echoClient.Timeout = timeoutMs;
    return m_echoClient.Ping(host) && m_echoClient.RoundTripMs >= 0;
}

// The link first (the kernel answers at once), then the echo and the lookups,
// each within the pass's time-out.
TSiteClues TSiteProbe::ProbeOnce(const TProbeRequest& request) {
    TLookupOptions lookup;
    lookup.TimeoutMs = request.TimeoutMs;
    lookup.Abort = &m_abort;
    TSiteClues clues;
    std::string address = request.AccessPoint;
    if (!IsNumericAddress(address)) {
        const TLookupResult found = LookupHost(address, lookup);
        address = found.Error == 0 && !found.Addresses.empty() ? NumericText(found.Addresses[0])
                                                               : std::string();
    }
    if (!address.empty()) {
        clues.Link = LinkTowards(address);
        clues.LinkAddress = address;
    }
    if (request.Echo && !address.empty()) {
        clues.AccessPointAnswered = EchoAnswered(address, request.TimeoutMs);
    }
    if (!request.Names.empty()) {
        const std::vector<TLookupResult> found = LookupHosts(request.Names, lookup);
        clues.NamesFail = std::all_of(found.begin(), found.end(),
                                      [](const TLookupResult& r) { return r.Error != 0; });
    }
    return clues;
}

} // namespace pingvard
