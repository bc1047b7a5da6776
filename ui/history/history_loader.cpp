// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history/history_loader.h"

#include "observe/history/history_reader.h"

#include <chrono>

namespace pingvard {

THistoryLoader::THistoryLoader(std::string fileName, std::function<void(THistoryLoad)> done)
    : m_fileName(std::move(fileName)), m_done(std::move(done)), m_thread([this] { Run(); }) {}

THistoryLoader::~THistoryLoader() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void THistoryLoader::Request(THistoryRequest request) {
    {
        const std::lock_guard lock(m_mutex);
        m_pending = std::move(request);
    }
    m_wake.notify_one();
}

bool THistoryLoader::Superseded() {
    const std::lock_guard lock(m_mutex);
    return m_stop || m_pending.has_value();
}

void THistoryLoader::Run() {
    // Opened on this thread and used only here; it keeps its connection
    // between requests, and tries again after a failure (no file yet).
    THistoryReader reader(m_fileName);
    for (;;) {
        THistoryRequest request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_pending.has_value(); });
            if (m_stop) {
                return;
            }
            request = std::move(*m_pending);
            m_pending.reset();
        }
        const auto started = std::chrono::steady_clock::now();
        THistoryLoad load;
        load.Generation = request.Generation;
        load.FromMs = request.FromMs;
        load.ToMs = request.ToMs;
        load.Resolution = ChooseResolution(request.FromMs, request.ToMs, request.NowMs);
        if (!reader.Open()) {
            load.Error = reader.LastError();
        } else {
            load.Hosts = request.Hosts.empty() ? reader.Hosts() : std::move(request.Hosts);
            bool abandoned = false;
            for (const THistoryHost& host : load.Hosts) {
                if (Superseded()) {
                    abandoned = true;
                    break;
                }
                load.Points.push_back(
                    reader.Points(host.Address, load.FromMs, load.ToMs, load.Resolution));
            }
            if (abandoned || Superseded()) {
                continue;
            }
            load.Events = reader.Events(load.FromMs, load.ToMs);
        }
        load.ReadUs = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - started)
                          .count();
        m_done(std::move(load));
    }
}

} // namespace pingvard
