// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/slots.h"
#include "events/monitor_event.h"
#include "monitor/front_end.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace pingvard {

// Turns what the monitor does into monitor events and hands them to its hub.
// GUI thread only (the hub itself is thread-safe). Publishing never waits:
// every consumer sits behind its own queue.
//
// Hosts going down and coming back are counted here, apart from the slots'
// Failures: the restart rule zeroes Failures at each trigger, which would
// make a host that stays down "go down" again and again.
class TMonitorEventPublisher {
public:
    TEventHub& Hub() noexcept { return m_hub; }

    // One echo's outcome; roundTripUs empty = lost. A host is down once
    // maxTimeouts echoes in a row are lost (at least one), up at its next answer.
    void Echo(int slot, const std::string& host, const std::string& displayName,
              int32_t maxTimeouts, std::optional<int64_t> roundTripUs);
    // incident: the open one, if any, as it stands.
    using TIncidentRef = std::shared_ptr<const TIncident>;
    void RuleFired(const std::string& text = {}, TIncidentRef incident = {});
    void ActionStarted(const std::string& action, const std::string& kind,
                       TIncidentRef incident = {});
    void ActionOutcome(const std::string& action, const std::string& kind, bool ok,
                       const std::string& text, TIncidentRef incident = {});
    // ok = acting again (false = paused).
    void GuardChanged(bool ok, const std::string& text);
    void StatusText(const std::string& text);
    // The site's state changed (text: the site line), an incident began or
    // ended, restarts are paused during one.
    void SiteState(TSiteState state, const std::string& text);
    void Incident(TMonitorEventKind kind, const std::string& text, TIncidentRef incident,
                  int64_t untilMs = 0);

    bool HostDown(int slot) const { return m_slots.at(static_cast<std::size_t>(slot)).Down; }

private:
    struct TSlotState {
        int32_t Lost = 0; // in a row
        bool Down = false;
    };
    void Publish(TMonitorEvent event) noexcept;

    TEventHub m_hub;
    std::array<TSlotState, kSlotCount> m_slots{};
};

// A front end that also publishes every status-line change, so that each
// place that sets the status (outcomes, the ICMP notices) reaches the
// observers without knowing of them.
class TPublishingFrontEnd final : public TMonitorFrontEnd {
public:
    TPublishingFrontEnd(TMonitorFrontEnd& inner, TMonitorEventPublisher& events)
        : m_inner(inner), m_events(events) {}

    TTextLabel& HostLabel(int slot) override { return m_inner.HostLabel(slot); }
    void ShowFigures(int slot, const TRowFigures& figures) override {
        m_inner.ShowFigures(slot, figures);
    }
    void SetStatusText(const std::string& text) override {
        m_status = text;
        m_inner.SetStatusText(text);
        m_events.StatusText(text);
    }
    const std::string& StatusText() const { return m_status; }
    int TrayIconIndex() const override { return m_inner.TrayIconIndex(); }
    void SetTrayIconIndex(int index) override { m_inner.SetTrayIconIndex(index); }
    void CopyTrayImageToApplicationIcon() override { m_inner.CopyTrayImageToApplicationIcon(); }
    void ReportIcmpUnavailable(const std::string& reason) override {
        m_inner.ReportIcmpUnavailable(reason);
    }
    void ReportProblem(const std::string& text) override { m_inner.ReportProblem(text); }
    void ReportDetail(const std::string& text) override { m_inner.ReportDetail(text); }
    void ShowSite(const TSiteView& site) override { m_inner.ShowSite(site); }

private:
    TMonitorFrontEnd& m_inner;
    TMonitorEventPublisher& m_events;
    std::string m_status;
};

} // namespace pingvard
