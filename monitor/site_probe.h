// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Clues of an outage's cause, looked for alongside the echoes of the watched
// hosts while some of them fail: whether this machine has a route and a
// carrier towards the access point, whether the access point answers an echo
// (when no watched host is the access point), and whether the failing hosts
// given by name still resolve. One thread of its own, which rests while
// nothing fails; each pass is bounded by its time-out and ends at once on
// RequestStop. Its owner (the host monitor) starts and ends it.

#include "monitor/gui_dispatcher.h"
#include "net/abort_signal.h"
#include "net/echo/ping_client.h"
#include "rounds/site_watch.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {

struct TProbeRequest {
    std::string AccessPoint;        // the reset host, an address or a name
    bool Echo = false;              // no watched host is the access point: send it echoes
    std::vector<std::string> Names; // the failing marked hosts given by name
    int32_t TimeoutMs = 1000;       // each echo and the lookups of one pass
    bool operator==(const TProbeRequest&) const = default;
};

class TSiteProbe {
public:
    // Runs on the GUI thread (through the dispatcher) after each pass.
    using TReport = std::function<void(const TSiteClues&)>;
    // One echo as the ping workers send it (their test seam): ms, or -1.
    using TPinger = std::function<int32_t(const std::string& host, int32_t timeoutMs)>;
    // A whole pass, for tests; null: the real one (ProbeOnce).
    using TPass = std::function<TSiteClues(const TProbeRequest&)>;

    // Passes follow each other every pingInterval ms (at least
    // kMinIntervalMs) while a request stands.
    static constexpr int32_t kMinIntervalMs = 200;

    TSiteProbe(TGuiDispatcher& dispatcher, const std::atomic<int32_t>& pingInterval, TReport report,
               TPinger pinger = {}, TPass pass = {});
    ~TSiteProbe(); // RequestStop, then the join
    TSiteProbe(const TSiteProbe&) = delete;
    TSiteProbe& operator=(const TSiteProbe&) = delete;

    void Start();
    // What to look at from now on; none: rest. Any thread.
    void Want(std::optional<TProbeRequest> request);
    // Ends a pass in progress and the thread. Thread-safe.
    void RequestStop() noexcept;
    bool WaitForEnd(int32_t ms); // true when the thread has ended (or never ran)

private:
    void Execute();
    TSiteClues ProbeOnce(const TProbeRequest& request);
    std::optional<bool> EchoAnswered(const std::string& host, int32_t timeoutMs);

    TGuiDispatcher& m_dispatcher;
    const std::atomic<int32_t>& m_pingInterval;
    const TReport m_report;
    const TPinger m_pinger;
    const TPass m_pass;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<TProbeRequest> m_request;
    bool m_stopping = false;

    TAbortSignal m_abort;     // ends the lookups of a pass
    TPingClient m_echoClient; // the thread's own, except Abort()
    std::mutex m_endedMutex;
    std::condition_variable m_endedChanged;
    bool m_ended = false;
    std::thread m_thread;
};

} // namespace pingvard
