// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/event_publisher.h"

#include <algorithm>
#include <utility>

namespace pingvard {

void TMonitorEventPublisher::Publish(TMonitorEvent event) noexcept {
    event.Time = std::chrono::system_clock::now();
    m_hub.Publish(event);
}

void TMonitorEventPublisher::Echo(int slot, const std::string& host, const std::string& displayName,
                                  int32_t maxTimeouts, std::optional<int64_t> roundTripUs) {
    TSlotState& state = m_slots.at(static_cast<std::size_t>(slot));
    TMonitorEvent event;
    event.Kind = TMonitorEventKind::Echo;
    event.Slot = slot;
    event.Host = host;
    event.DisplayName = displayName;
    event.RoundTripUs = roundTripUs;
    Publish(event);

    event.RoundTripUs.reset();
    if (roundTripUs) {
        state.Lost = 0;
        if (state.Down) {
            state.Down = false;
            event.Kind = TMonitorEventKind::HostUp;
            Publish(std::move(event));
        }
        return;
    }
    if (state.Lost < INT32_MAX) {
        ++state.Lost;
    }
    if (!state.Down && state.Lost >= std::max(maxTimeouts, 1)) {
        state.Down = true;
        event.Kind = TMonitorEventKind::HostDown;
        Publish(std::move(event));
    }
}

void TMonitorEventPublisher::RuleFired(const std::string& text, TIncidentRef incident) {
    TMonitorEvent event;
    event.Kind = TMonitorEventKind::RuleFired;
    event.Text = text;
    event.Incident = std::move(incident);
    Publish(std::move(event));
}

void TMonitorEventPublisher::ActionStarted(const std::string& action, const std::string& kind,
                                           TIncidentRef incident) {
    TMonitorEvent event;
    event.Kind = TMonitorEventKind::ActionStarted;
    event.Action = action;
    event.ActionKind = kind;
    event.Incident = std::move(incident);
    Publish(std::move(event));
}

void TMonitorEventPublisher::ActionOutcome(const std::string& action, const std::string& kind,
                                           bool ok, const std::string& text,
                                           TIncidentRef incident) {
    TMonitorEvent event;
    event.Kind = TMonitorEventKind::ActionOutcome;
    event.Action = action;
    event.ActionKind = kind;
    event.Ok = ok;
    event.Text = text;
    event.Incident = std::move(incident);
    Publish(std::move(event));
}

void TMonitorEventPublisher::GuardChanged(bool ok, const std::string& text) {
    TMonitorEvent event;
    event.Kind = TMonitorEventKind::GuardChanged;
    event.Ok = ok;
    event.Text = text;
    Publish(std::move(event));
}

void TMonitorEventPublisher::SiteState(TSiteState state, const std::string& text) {
    TMonitorEvent event;
    event.Kind = TMonitorEventKind::SiteState;
    event.Site = state;
    event.Text = text;
    Publish(std::move(event));
}

void TMonitorEventPublisher::Incident(TMonitorEventKind kind, const std::string& text,
                                      TIncidentRef incident, int64_t untilMs) {
    TMonitorEvent event;
    event.Kind = kind;
    event.UntilMs = untilMs;
    event.Site = incident && incident->Open() ? TSiteState::Down : TSiteState::Up;
    event.Text = text;
    event.Incident = std::move(incident);
    Publish(std::move(event));
}

void TMonitorEventPublisher::StatusText(const std::string& text) {
    TMonitorEvent event;
    event.Kind = TMonitorEventKind::StatusText;
    event.Text = text;
    Publish(std::move(event));
}

} // namespace pingvard
