// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reads the incidents and the uptime per day for the history window on a
// thread of its own, as THistoryLoader reads the graphs: the window never
// waits for the disk, and the newest request wins.

#include "observe/history/incident_types.h"
#include "observe/history/uptime.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {

// Days in the uptime strip; the list goes back as far as the longest range.
inline constexpr int kUptimeDays = 30;
inline constexpr int64_t kIncidentListMs = 90 * kDayMs;

struct TIncidentLoad {
    int64_t NowMs = 0;
    std::vector<TIncidentRecord> Incidents; // oldest first
    std::vector<TUptime> Days;              // kUptimeDays, oldest first, today last
    TUptimeSummary Summary;
    std::string Error; // why nothing could be read
};

class TIncidentLoader {
public:
    // `done` runs on the loader's thread once per request read; it must hand
    // the result on and return.
    TIncidentLoader(std::string fileName, std::function<void(TIncidentLoad)> done);
    // Joins the thread; a request not read yet is dropped.
    ~TIncidentLoader();
    TIncidentLoader(const TIncidentLoader&) = delete;
    TIncidentLoader& operator=(const TIncidentLoader&) = delete;

    void Request(int64_t nowMs);

private:
    void Run();

    std::string m_fileName;
    std::function<void(TIncidentLoad)> m_done;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<int64_t> m_pending;
    bool m_stop = false;
    std::thread m_thread; // last: starts once the rest exists
};

} // namespace pingvard
