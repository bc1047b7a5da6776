// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history/incident_loader.h"

#include "observe/history/incident_reader.h"

#include <algorithm>

namespace pingvard {

TIncidentLoader::TIncidentLoader(std::string fileName, std::function<void(TIncidentLoad)> done)
    : m_fileName(std::move(fileName)), m_done(std::move(done)), m_thread([this] { Run(); }) {}

TIncidentLoader::~TIncidentLoader() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void TIncidentLoader::Request(int64_t nowMs) {
    {
        const std::lock_guard lock(m_mutex);
        m_pending = nowMs;
    }
    m_wake.notify_one();
}

void TIncidentLoader::Run() {
    for (;;) {
        TIncidentLoad load;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_pending.has_value(); });
            if (m_stop) {
                return;
            }
            load.NowMs = *m_pending;
            m_pending.reset();
        }
        // A connection per request: a few small tables, and a file that
        // appears or starts being written meanwhile is read as it now is.
        TIncidentReader reader(m_fileName);
        if (!reader.Open()) {
            load.Error = reader.LastError();
        } else {
            const int64_t monthAgo = load.NowMs - kUptimeDays * kDayMs - kDayMs;
            load.Incidents = reader.Incidents(std::min(load.NowMs - kIncidentListMs, monthAgo));
            const std::vector<TWatchedSpan> watched = reader.Watched(monthAgo, load.NowMs);
            load.Days = DailyUptime(load.Incidents, watched, kUptimeDays, load.NowMs);
            load.Summary = SummariseUptime(load.Incidents, watched, load.NowMs);
        }
        m_done(std::move(load));
    }
}

} // namespace pingvard
