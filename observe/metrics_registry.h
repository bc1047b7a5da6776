// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The figures Pingvard offers to a Prometheus server, kept up to date from the
// monitor's events on the queue's worker. A scrape reads them on the
// listener's own thread; neither ever waits for the monitor, nor it for them.
// They live in the metrics module (observe/metrics_backend.h), loaded when the
// registry is made: a program without metrics never maps prometheus-cpp.
// The figures are listed in observe/prometheus_metrics.cpp and docs/observe.md.

#include "observe/metrics_backend.h"
#include "observe/queued_sink.h"
#include "recovery/module_loader.h"

#include <memory>
#include <string>
#include <vector>

namespace pingvard {

class TMetricsRegistry final : public TEventConsumer {
public:
    // Loads the module from the first of moduleDirs that holds it; null,
    // with error set to one line naming the file and why, when it cannot.
    static std::unique_ptr<TMetricsRegistry> Load(const std::string& version,
                                                  const std::vector<std::string>& moduleDirs,
                                                  std::string& error);
    ~TMetricsRegistry() override;
    TMetricsRegistry(const TMetricsRegistry&) = delete;
    TMetricsRegistry& operator=(const TMetricsRegistry&) = delete;

    void Consume(std::span<const TMonitorEvent> events, uint64_t dropped) override;
    // The exposition text a scrape gets (any thread).
    std::string Text() const { return m_backend->Text(); }
    TMetricsBackend& Backend() const noexcept { return *m_backend; }

private:
    TMetricsRegistry(TLoadedModule module, TMetricsBackend* backend);

    TLoadedModule m_module; // outlives the backend, whose code it holds
    std::unique_ptr<TMetricsBackend> m_backend;
};

} // namespace pingvard
