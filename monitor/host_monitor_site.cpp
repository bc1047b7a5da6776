// SPDX-License-Identifier: GPL-3.0-or-later
// The host monitor's side of the site's state: what the site watch
// (rounds/site_watch.h) sees of the reports and the steps, the clues of the
// probe and of the link towards the access point, and how its decisions are
// carried out.

#include "logs/event_log.h"
#include "monitor/host_monitor.h"
#include "monitor/reset_outcomes.h"
#include "rounds/site_text.h"

#include <algorithm>
#include <cctype>
#include <variant>

namespace pingvard {

namespace {

// Looked at again at most this often while the hosts fail: the kernel
// answers at once, but four reports an interval need not ask four times.
constexpr uint32_t kLinkCheckIntervalMs = 500;

// One probe pass's time-out: the longest echo Timeout of the watched hosts,
// within bounds that neither give up on a slow access point nor hold the
// probe long.
constexpr int32_t kMinProbeTimeoutMs = 100;
constexpr int32_t kMaxProbeTimeoutMs = 5000;

bool SameHost(const std::string& a, const std::string& b) {
    return !a.empty() && std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

void THostMonitor::ConfigureSite() {
    m_accessPointSlot.reset();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto i = static_cast<std::size_t>(slot);
        if (SameHost(m_resetHost, m_pingObjs[i].IP) ||
            SameHost(m_resetHost, m_settings.Hosts[i].Hostname)) {
            m_accessPointSlot = slot;
            break;
        }
    }
    m_accessPointAddress = IsNumericAddress(m_resetHost) ? m_resetHost : std::string();
    if (m_accessPointSlot && m_accessPointAddress.empty() &&
        IsNumericAddress(m_pingObjs[static_cast<std::size_t>(*m_accessPointSlot)].IP)) {
        m_accessPointAddress = m_pingObjs[static_cast<std::size_t>(*m_accessPointSlot)].IP;
    }
    m_site.Configure(m_settings.Recovery.Quorum, m_accessPointSlot);
}

void THostMonitor::SiteReport(int slot, bool answered) {
    const TPingObj& obj = m_pingObjs[static_cast<std::size_t>(slot)];
    // The restart rule may hold after this report: know the link first, so
    // that no action is started towards an access point nothing can reach.
    if (!answered && obj.DoReset && m_site.LostInARow(slot) + 1 >= m_maxTimeouts) {
        CheckLink();
    }
    Follow(m_site.PingReport(slot, answered, RoundView(),
                             m_policy ? m_policy->Status() : TRoundStatus{}));
    WantProbe();
}

void THostMonitor::ProbeReport(const TSiteClues& clues) {
    if (m_destroyed) {
        return;
    }
    if (!clues.LinkAddress.empty()) {
        m_accessPointAddress = clues.LinkAddress;
    }
    Follow(m_site.Clues(clues, RoundView()));
    ShowSite();
}

void THostMonitor::CheckLink() {
    const std::string& address = m_accessPointAddress;
    const uint32_t now = Clock().Now();
    if (address.empty() ||
        (m_linkChecked && TickDifference(m_lastLinkCheck, now) < kLinkCheckIntervalMs)) {
        return;
    }
    m_linkChecked = true;
    m_lastLinkCheck = now;
    TSiteClues clues;
    clues.Link = m_options.LinkCheck ? m_options.LinkCheck(address) : LinkTowards(address);
    clues.LinkAddress = address;
    Follow(m_site.Clues(clues, RoundView()));
}

void THostMonitor::WantProbe() {
    if (!m_probe) {
        return;
    }
    if (!m_site.WantsProbe() || m_resetHost.empty()) {
        m_probe->Want(std::nullopt);
        return;
    }
    TProbeRequest request;
    request.AccessPoint = m_resetHost;
    request.Echo = !m_accessPointSlot;
    int32_t timeout = kMinProbeTimeoutMs;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const TPingObj& obj = m_pingObjs[static_cast<std::size_t>(slot)];
        if (obj.DoReset && m_site.LostInARow(slot) > 0 && !IsNumericAddress(obj.IP)) {
            request.Names.push_back(obj.IP);
        }
        if (const TPingTh* worker = m_pingThreads[static_cast<std::size_t>(slot)].get()) {
            timeout = std::max(timeout, worker->EchoTimeout());
        }
    }
    request.TimeoutMs = std::min(timeout, kMaxProbeTimeoutMs);
    m_probe->Want(request);
}

void THostMonitor::StopProbe() {
    if (!m_probe) {
        return;
    }
    m_probe->RequestStop();
    if (!m_probe->WaitForEnd(kSessionStopWaitMs)) {
        m_lateProbe = std::move(m_probe);
    }
    m_probe.reset();
}

std::vector<std::string> THostMonitor::ActionNames() const {
    std::vector<std::string> names;
    for (const TActionConfig& action : m_settings.Recovery.Actions) {
        names.push_back(action.Name);
    }
    return names;
}

TSiteView THostMonitor::SiteView() const {
    TSiteView view = m_site.View(m_policy ? m_policy->Status() : TRoundStatus{}, ActionNames());
    view.AwaitingConfirmation = m_awaitingConfirmation;
    return view;
}

void THostMonitor::ShowSite() {
    const TSiteView view = SiteView();
    m_fe.ShowSite(view);
    ShowTrayImage(m_fe, TrayImageFor(view));
}

void THostMonitor::ResumeIncident(const TIncident& incident) {
    Follow(m_site.Resume(incident, RoundView()));
    ShowSite();
}

void THostMonitor::Follow(const TSiteDecisions& decisions) {
    for (const TSiteDecision& decision : decisions) {
        std::visit([this](const auto& each) { Carry(each); }, decision);
    }
    if (!decisions.empty()) {
        SaveIncident();
    }
}

void THostMonitor::Carry(const TSiteChanged& changed) {
    m_events.SiteState(changed.State, SiteLine(SiteView(), LocalClockText));
}

void THostMonitor::Carry(const TIncidentBegan& began) {
    m_events.Incident(TMonitorEventKind::SiteDown, SiteDownText(*began.Incident), began.Incident);
}

void THostMonitor::Carry(const TIncidentEnded& ended) {
    m_events.Incident(TMonitorEventKind::SiteBack, SiteBackText(*ended.Incident), ended.Incident);
}

void THostMonitor::Carry(const TRestartsPaused& paused) {
    m_events.Incident(TMonitorEventKind::RestartsPaused,
                      RestartsPausedText(paused.UntilMs, LocalClockText), paused.Incident,
                      paused.UntilMs);
}

void THostMonitor::Carry(const TLinkHoldChanged& hold) {
    const std::string text =
        hold.Held ? LinkHeldText(hold.Link, hold.Address) : LinkBackText(hold.Link, hold.Address);
    m_fe.SetStatusText(text);
    WriteLog(text);
}

} // namespace pingvard
