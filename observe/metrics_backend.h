// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The figures behind /metrics as the metrics module keeps them. The module
// (pingvard-metrics.so, built from prometheus_metrics.cpp with prometheus-cpp
// and zlib)
// is loaded only when metrics are switched on, so a program without them
// never maps that library. It has one entry point with C linkage:
//
//   extern "C" TMetricsBackend* pingvard_metrics_create(uint32_t abi, const char* version);
//
// returning null when abi is not kMetricsModuleAbi. Module and program are
// built together from one tree, so the interface may use C++ types; the
// number only refuses a module left over from another build.

#include "events/monitor_event.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pingvard {

class TMetricsBackend {
public:
    virtual ~TMetricsBackend() = default;
    // On the metrics queue's worker.
    virtual void Consume(std::span<const TMonitorEvent> events, uint64_t dropped) = 0;
    // The exposition text; on the listener's thread, while Consume may run.
    virtual std::string Text() const = 0;
    // A scrape was answered with that many body bytes after that long (the
    // exposer_* figures a scrape shows).
    virtual void Scraped(std::size_t bytes, std::chrono::microseconds took) = 0;
    // The text in gzip, for a scraper that accepts it; empty when it cannot.
    virtual std::string Gzip(std::string_view text) const = 0;
};

inline constexpr uint32_t kMetricsModuleAbi = 1;
inline constexpr const char* kMetricsModuleFile = "pingvard-metrics.so";
inline constexpr const char* kMetricsModuleEntry = "pingvard_metrics_create";
using TMetricsModuleEntry = TMetricsBackend* (*)(uint32_t abi, const char* version);

} // namespace pingvard
