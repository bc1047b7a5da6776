// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/metrics_registry.h"

#include <prometheus/text_serializer.h>

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

} // namespace

TMetricsRegistry::TMetricsRegistry(const std::string& version)
    : m_registry(std::make_shared<prometheus::Registry>()),
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

TMetricsRegistry::TSlot* TMetricsRegistry::Slot(const TMonitorEvent& event) {
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

void TMetricsRegistry::Apply(const TMonitorEvent& event) {
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
    case TMonitorEventKind::ActionOutcome:
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
    case TMonitorEventKind::ActionStarted:
    case TMonitorEventKind::StatusText:
    case TMonitorEventKind::SiteDown:
    case TMonitorEventKind::SiteBack:
    case TMonitorEventKind::RestartsPaused:
        break;
    }
}

void TMetricsRegistry::Consume(std::span<const TMonitorEvent> events, uint64_t dropped) {
    if (dropped > 0) {
        m_dropped.Increment(static_cast<double>(dropped));
    }
    for (const TMonitorEvent& event : events) {
        Apply(event);
    }
}

std::string TMetricsRegistry::Text() const {
    return prometheus::TextSerializer().Serialize(m_registry->Collect());
}

} // namespace pingvard
