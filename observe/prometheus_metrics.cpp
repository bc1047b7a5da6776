// SPDX-License-Identifier: GPL-3.0-or-later
// The metrics module: the figures of observe/metrics_registry.h kept in a
// prometheus-cpp registry and written in its text exposition format. Built
// as pingvard-metrics.so and loaded only when metrics are on.
//
//   exposer_transferred_bytes_total                     body bytes of the scrapes answered
//   exposer_scrapes_total                               scrapes answered
//   exposer_request_latencies                           summary: time to answer a scrape, in µs
//   pingvard_build_info{version}                        1
//   pingvard_host_up{slot,host,name}                    1 up, 0 down (after MaxTimeouts failures)
//   pingvard_last_round_trip_seconds{slot,host,name}    last answered echo
//   pingvard_round_trip_seconds{slot,host,name}         histogram of answered echoes
//   pingvard_echoes_sent_total{slot,host,name}
//   pingvard_echoes_lost_total{slot,host,name}
//   pingvard_restart_rule_fired_total
//   pingvard_recovery_outcomes_total{action,kind,result} result "ok" or "failed"
//   pingvard_recovery_action_running                    1 while a recovery step runs
//   pingvard_guard_paused                               1 while the guard holds actions back
//   pingvard_site_state                                 0 up, 1 degraded, 2 down
//   pingvard_metrics_events_dropped_total               events the metrics queue had to drop
//
// A slot's series follow its current address and name: when either changes
// the old series go, so a scrape never shows a host that is no longer watched.
// prometheus-cpp's registry takes its own locks, so a scrape may collect
// while the queue's worker counts.

#include "observe/metrics_backend.h"

#include <array>
#include <exception>
#include <memory>
#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/summary.h>
#include <prometheus/text_serializer.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace pingvard {

namespace {

using namespace prometheus;

// From a LAN hop to a satellite link; the echo time-out ends the scale.
const Histogram::BucketBoundaries kRoundTripBuckets = {
    0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1.0, 2.5, 5.0};

template <typename T> void Drop(Family<T>& family, T*& metric) {
    if (metric != nullptr) {
        family.Remove(metric);
        metric = nullptr;
    }
}

class TPrometheusMetrics final : public TMetricsBackend {
public:
    explicit TPrometheusMetrics(const std::string& version);

    void Consume(std::span<const TMonitorEvent> events, uint64_t dropped) override;
    std::string Text() const override;
    void Scraped(std::size_t bytes, std::chrono::microseconds took) override;
    std::string Gzip(std::string_view text) const override;

private:
    struct TSlot {
        std::string Host;
        std::string Name;
        Gauge* Up = nullptr;
        Gauge* Last = nullptr;
        Histogram* RoundTrip = nullptr;
        Counter* Sent = nullptr;
        Counter* Lost = nullptr;
    };

    TSlot* Slot(const TMonitorEvent& event);
    void Apply(const TMonitorEvent& event);

    // The scrapes' own figures come first in the text, as they always have.
    std::shared_ptr<Registry> m_scrapes;
    Counter& m_scrapeBytes;
    Counter& m_scrapeCount;
    Summary& m_scrapeLatency;
    std::shared_ptr<Registry> m_registry;
    Family<Gauge>& m_up;
    Family<Gauge>& m_last;
    Family<Histogram>& m_roundTrip;
    Family<Counter>& m_sent;
    Family<Counter>& m_lost;
    Family<Counter>& m_outcomes;
    Counter& m_ruleFired;
    Gauge& m_guardPaused;
    Gauge& m_actionRunning;
    Gauge& m_siteState;
    Counter& m_dropped;
    std::array<TSlot, 4> m_slots;
};

TPrometheusMetrics::TPrometheusMetrics(const std::string& version)
    : m_scrapes(std::make_shared<Registry>()),
      m_scrapeBytes(BuildCounter()
                        .Name("exposer_transferred_bytes_total")
                        .Help("Transferred bytes to metrics services")
                        .Register(*m_scrapes)
                        .Add({})),
      m_scrapeCount(BuildCounter()
                        .Name("exposer_scrapes_total")
                        .Help("Number of times metrics were scraped")
                        .Register(*m_scrapes)
                        .Add({})),
      m_scrapeLatency(BuildSummary()
                          .Name("exposer_request_latencies")
                          .Help("Latencies of serving scrape requests, in microseconds")
                          .Register(*m_scrapes)
                          .Add({}, Summary::Quantiles{{0.5, 0.05}, {0.9, 0.01}, {0.99, 0.001}})),
      m_registry(std::make_shared<Registry>()),
      m_up(BuildGauge()
               .Name("pingvard_host_up")
               .Help("1 while the host answers, 0 once it failed MaxTimeouts echoes in a row")
               .Register(*m_registry)),
      m_last(BuildGauge()
                 .Name("pingvard_last_round_trip_seconds")
                 .Help("Round trip of the host's last answered echo")
                 .Register(*m_registry)),
      m_roundTrip(BuildHistogram()
                      .Name("pingvard_round_trip_seconds")
                      .Help("Round trips of the host's answered echoes")
                      .Register(*m_registry)),
      m_sent(BuildCounter()
                 .Name("pingvard_echoes_sent_total")
                 .Help("Echo requests sent to the host")
                 .Register(*m_registry)),
      m_lost(BuildCounter()
                 .Name("pingvard_echoes_lost_total")
                 .Help("Echo requests the host did not answer in time")
                 .Register(*m_registry)),
      m_outcomes(BuildCounter()
                     .Name("pingvard_recovery_outcomes_total")
                     .Help("Ended recovery steps by action, kind and result")
                     .Register(*m_registry)),
      m_ruleFired(BuildCounter()
                      .Name("pingvard_restart_rule_fired_total")
                      .Help("Times every marked host had failed often enough")
                      .Register(*m_registry)
                      .Add({})),
      m_guardPaused(BuildGauge()
                        .Name("pingvard_guard_paused")
                        .Help("1 while the restart guard holds recovery actions back")
                        .Register(*m_registry)
                        .Add({})),
      m_actionRunning(BuildGauge()
                          .Name("pingvard_recovery_action_running")
                          .Help("1 while a recovery step runs")
                          .Register(*m_registry)
                          .Add({})),
      m_siteState(BuildGauge()
                      .Name("pingvard_site_state")
                      .Help("The site: 0 up, 1 degraded (some marked hosts fail), 2 down")
                      .Register(*m_registry)
                      .Add({})),
      m_dropped(BuildCounter()
                    .Name("pingvard_metrics_events_dropped_total")
                    .Help("Monitor events the metrics queue dropped because it was full")
                    .Register(*m_registry)
                    .Add({})) {
    BuildGauge()
        .Name("pingvard_build_info")
        .Help("The running Pingvard's version")
        .Register(*m_registry)
        .Add({{"version", version}})
        .Set(1);
}

TPrometheusMetrics::TSlot* TPrometheusMetrics::Slot(const TMonitorEvent& event) {
    if (event.Slot < 0 || event.Slot >= static_cast<int>(m_slots.size())) {
        return nullptr;
    }
    TSlot& slot = m_slots[static_cast<std::size_t>(event.Slot)];
    if (slot.Up != nullptr && slot.Host == event.Host && slot.Name == event.DisplayName) {
        return &slot;
    }
    Drop(m_up, slot.Up);
    Drop(m_last, slot.Last);
    Drop(m_roundTrip, slot.RoundTrip);
    Drop(m_sent, slot.Sent);
    Drop(m_lost, slot.Lost);
    slot.Host = event.Host;
    slot.Name = event.DisplayName;
    const Labels labels{
        {"slot", std::to_string(event.Slot + 1)}, {"host", slot.Host}, {"name", slot.Name}};
    slot.Up = &m_up.Add(labels);
    slot.Up->Set(1);
    slot.Last = &m_last.Add(labels);
    slot.RoundTrip = &m_roundTrip.Add(labels, kRoundTripBuckets);
    slot.Sent = &m_sent.Add(labels);
    slot.Lost = &m_lost.Add(labels);
    return &slot;
}

void TPrometheusMetrics::Apply(const TMonitorEvent& event) {
    switch (event.Kind) {
    case TMonitorEventKind::Echo:
        if (TSlot* slot = Slot(event)) {
            slot->Sent->Increment();
            if (event.RoundTripUs) {
                const double seconds = static_cast<double>(*event.RoundTripUs) / 1e6;
                slot->Last->Set(seconds);
                slot->RoundTrip->Observe(seconds);
            } else {
                slot->Lost->Increment();
            }
        }
        break;
    case TMonitorEventKind::HostDown:
    case TMonitorEventKind::HostUp:
        if (TSlot* slot = Slot(event)) {
            slot->Up->Set(event.Kind == TMonitorEventKind::HostUp ? 1 : 0);
        }
        break;
    case TMonitorEventKind::RuleFired:
        m_ruleFired.Increment();
        break;
    case TMonitorEventKind::ActionStarted:
        m_actionRunning.Set(1);
        break;
    case TMonitorEventKind::ActionOutcome:
        m_actionRunning.Set(0);
        m_outcomes
            .Add({{"action", event.Action},
                  {"kind", event.ActionKind},
                  {"result", event.Ok ? "ok" : "failed"}})
            .Increment();
        break;
    case TMonitorEventKind::GuardChanged:
        m_guardPaused.Set(event.Ok ? 0 : 1);
        break;
    case TMonitorEventKind::SiteState:
        m_siteState.Set(static_cast<double>(event.Site));
        break;
    case TMonitorEventKind::StatusText:
    case TMonitorEventKind::SiteDown:
    case TMonitorEventKind::SiteBack:
    case TMonitorEventKind::RestartsPaused:
        break;
    }
}

void TPrometheusMetrics::Consume(std::span<const TMonitorEvent> events, uint64_t dropped) {
    if (dropped > 0) {
        m_dropped.Increment(static_cast<double>(dropped));
    }
    for (const TMonitorEvent& event : events) {
        Apply(event);
    }
}

std::string TPrometheusMetrics::Text() const {
    std::vector<MetricFamily> families = m_scrapes->Collect();
    std::vector<MetricFamily> figures = m_registry->Collect();
    families.insert(families.end(), std::make_move_iterator(figures.begin()),
                    std::make_move_iterator(figures.end()));
    return TextSerializer().Serialize(families);
}

void TPrometheusMetrics::Scraped(std::size_t bytes, std::chrono::microseconds took) {
    m_scrapeBytes.Increment(static_cast<double>(bytes));
    m_scrapeCount.Increment();
    m_scrapeLatency.Observe(static_cast<double>(took.count()));
}

std::string TPrometheusMetrics::Gzip(std::string_view text) const {
    z_stream z{};
    // 15 + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        return {};
    }
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(done ? z.total_out : 0);
    deflateEnd(&z);
    return out;
}

} // namespace
} // namespace pingvard

// The module's one exported symbol (built with hidden visibility otherwise).
extern "C" __attribute__((visibility("default"))) pingvard::TMetricsBackend*
pingvard_metrics_create(uint32_t abi, const char* version) {
    if (abi != pingvard::kMetricsModuleAbi || version == nullptr) {
        return nullptr;
    }
    try {
        return new pingvard::TPrometheusMetrics(version);
    } catch (const std::exception&) {
        return nullptr;
    }
}
