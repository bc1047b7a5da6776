// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reads the history for the graphs on a thread of its own, so that a range of
// 90 days (a few hundred milliseconds of SQLite work) never freezes the
// window. The newest request wins: one that arrives while another is being
// read ends that one at its next host.

#include "observe/history/history_types.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {

struct THistoryRequest {
    uint64_t Generation = 0; // handed back with the result
    int64_t FromMs = 0;
    int64_t ToMs = 0;
    int64_t NowMs = 0;               // what the resolution is chosen against
    std::vector<THistoryHost> Hosts; // empty: every host recorded
};

struct THistoryLoad {
    uint64_t Generation = 0;
    int64_t FromMs = 0;
    int64_t ToMs = 0;
    THistoryResolution Resolution = THistoryResolution::Minute;
    std::vector<THistoryHost> Hosts;
    std::vector<std::vector<THistoryPoint>> Points; // one list per host
    std::vector<THistoryRecord> Events;
    std::string Error;  // why nothing could be read (no history file, say)
    int64_t ReadUs = 0; // how long the reading took
};

class THistoryLoader {
public:
    // `done` runs on the loader's thread, once per request that was read to
    // its end; it must hand the result on and return.
    THistoryLoader(std::string fileName, std::function<void(THistoryLoad)> done);
    // Abandons the request being read (at its next host) and joins the thread.
    ~THistoryLoader();
    THistoryLoader(const THistoryLoader&) = delete;
    THistoryLoader& operator=(const THistoryLoader&) = delete;

    void Request(THistoryRequest request);

private:
    void Run();
    bool Superseded();

    std::string m_fileName;
    std::function<void(THistoryLoad)> m_done;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<THistoryRequest> m_pending;
    bool m_stop = false;
    std::thread m_thread; // last: starts once the rest exists
};

} // namespace pingvard
