// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/monitor_event.h"

#include <algorithm>
#include <array>
#include <utility>

namespace pingvard {

namespace {

constexpr std::array<std::pair<TMonitorEventKind, std::string_view>, 12> kNames{{
    {TMonitorEventKind::Echo, "echo"},
    {TMonitorEventKind::HostDown, "host-down"},
    {TMonitorEventKind::HostUp, "host-up"},
    {TMonitorEventKind::RuleFired, "rule-fired"},
    {TMonitorEventKind::ActionStarted, "action-started"},
    {TMonitorEventKind::ActionOutcome, "action-outcome"},
    {TMonitorEventKind::GuardChanged, "guard-changed"},
    {TMonitorEventKind::StatusText, "status"},
    {TMonitorEventKind::SiteState, "site-state"},
    {TMonitorEventKind::SiteDown, "site-down"},
    {TMonitorEventKind::SiteBack, "site-back"},
    {TMonitorEventKind::RestartsPaused, "restarts-paused"},
}};

} // namespace

std::string_view KindName(TMonitorEventKind kind) noexcept {
    for (const auto& [k, name] : kNames) {
        if (k == kind) {
            return name;
        }
    }
    return "unknown";
}

std::optional<TMonitorEventKind> KindFromName(std::string_view name) noexcept {
    for (const auto& [k, n] : kNames) {
        if (n == name) {
            return k;
        }
    }
    return std::nullopt;
}

void TEventHub::Add(TEventSink& sink) {
    std::lock_guard lock(m_mutex);
    m_sinks.push_back(&sink);
}

void TEventHub::Remove(TEventSink& sink) noexcept {
    std::lock_guard lock(m_mutex);
    m_sinks.erase(std::remove(m_sinks.begin(), m_sinks.end(), &sink), m_sinks.end());
}

void TEventHub::Publish(const TMonitorEvent& event) noexcept {
    // Sinks return at once (they only queue), so holding the lock while they
    // run costs nothing and keeps Remove from racing a delivery.
    std::lock_guard lock(m_mutex);
    for (TEventSink* sink : m_sinks) {
        sink->Publish(event);
    }
}

} // namespace pingvard
