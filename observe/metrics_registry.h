// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The figures Pingvard offers to a Prometheus server, kept up to date from the
// monitor's events on the queue's worker. A scrape reads them on the
// listener's own thread; neither ever waits for the monitor, nor it for them.
//
//   pingvard_build_info{version}                        1
//   pingvard_host_up{slot,host,name}                    1 up, 0 down (after MaxTimeouts failures)
//   pingvard_last_round_trip_seconds{slot,host,name}    last answered echo
//   pingvard_round_trip_seconds{slot,host,name}         histogram of answered echoes
//   pingvard_echoes_sent_total{slot,host,name}
//   pingvard_echoes_lost_total{slot,host,name}
//   pingvard_restart_rule_fired_total
//   pingvard_recovery_outcomes_total{action,kind,result} result "ok" or "failed"
//   pingvard_guard_paused                               1 while the guard holds actions back
//   pingvard_site_state                                 0 up, 1 degraded, 2 down
//   pingvard_metrics_events_dropped_total               events the metrics queue had to drop
//
// A slot's series follow its current address and name: when either changes
// the old series go, so a scrape never shows a host that is no longer watched.

#include "observe/queued_sink.h"

#include <array>
#include <memory>
#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <string>

namespace pingvard {

class TMetricsRegistry final : public TEventConsumer {
public:
    explicit TMetricsRegistry(const std::string& version);
    TMetricsRegistry(const TMetricsRegistry&) = delete;
    TMetricsRegistry& operator=(const TMetricsRegistry&) = delete;

    void Consume(std::span<const TMonitorEvent> events, uint64_t dropped) override;

    // What a scrape reads; the listener holds it weakly.
    std::shared_ptr<prometheus::Registry> Registry() const { return m_registry; }
    // The exposition text a scrape would get (tests, diagnostics).
    std::string Text() const;

private:
    struct TSlot {
        std::string Host;
        std::string Name;
        prometheus::Gauge* Up = nullptr;
        prometheus::Gauge* Last = nullptr;
        prometheus::Histogram* RoundTrip = nullptr;
        prometheus::Counter* Sent = nullptr;
        prometheus::Counter* Lost = nullptr;
    };

    TSlot* Slot(const TMonitorEvent& event);
    void Apply(const TMonitorEvent& event);

    std::shared_ptr<prometheus::Registry> m_registry;
    prometheus::Family<prometheus::Gauge>& m_up;
    prometheus::Family<prometheus::Gauge>& m_last;
    prometheus::Family<prometheus::Histogram>& m_roundTrip;
    prometheus::Family<prometheus::Counter>& m_sent;
    prometheus::Family<prometheus::Counter>& m_lost;
    prometheus::Family<prometheus::Counter>& m_outcomes;
    prometheus::Counter& m_ruleFired;
    prometheus::Gauge& m_guardPaused;
    prometheus::Gauge& m_siteState;
    prometheus::Counter& m_dropped;
    std::array<TSlot, 4> m_slots;
};

} // namespace pingvard
