// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/site_watch.h"

#include <algorithm>

namespace pingvard {

TSiteWatch::TSiteWatch(TWallClock wallMs) : m_wallMs(std::move(wallMs)) {}

void TSiteWatch::Configure(int32_t quorum, std::optional<int> accessPointSlot) {
    m_quorum = quorum;
    m_apSlot = accessPointSlot;
}

void TSiteWatch::Take(const TRoundView& view) {
    m_maxTimeouts = std::max(view.MaxTimeouts, 1);
    for (std::size_t slot = 0; slot < m_hosts.size(); ++slot) {
        m_hosts[slot].Marked = view.Hosts[slot].Marked;
        m_hosts[slot].Address = view.Hosts[slot].Address;
        m_hosts[slot].Numeric = IsNumericAddress(m_hosts[slot].Address);
    }
}

// The rule's own test, on the counts of this watch.
bool TSiteWatch::RuleHolds() const {
    TRoundView counted;
    counted.MaxTimeouts = m_maxTimeouts;
    bool anyDown = false;
    for (std::size_t slot = 0; slot < m_hosts.size(); ++slot) {
        counted.Hosts[slot].Marked = m_hosts[slot].Marked;
        counted.Hosts[slot].Failures = m_hosts[slot].Lost;
        anyDown = anyDown || (m_hosts[slot].Marked && Down(m_hosts[slot]));
    }
    return anyDown && RestartRuleHolds(counted, m_quorum);
}

TCauseClues TSiteWatch::CauseClues() const {
    TCauseClues clues;
    clues.Link = m_link;
    clues.AccessPointAnswers =
        m_apSlot ? m_hosts.at(static_cast<std::size_t>(*m_apSlot)).LastAnswered : m_probeAnswered;
    clues.NamesFail = m_namesFail;
    for (std::size_t slot = 0; slot < m_hosts.size(); ++slot) {
        const THost& host = m_hosts[slot];
        const bool accessPoint = m_apSlot && static_cast<std::size_t>(*m_apSlot) == slot;
        clues.AddressAnswers = clues.AddressAnswers ||
                               (!accessPoint && host.Numeric && host.LastAnswered.value_or(false));
    }
    return clues;
}

TSiteDecisions TSiteWatch::PingReport(int slot, bool answered, const TRoundView& view,
                                      const TRoundStatus& round) {
    Take(view);
    TSiteDecisions out;
    const auto i = static_cast<std::size_t>(slot);
    if (i >= m_hosts.size()) {
        return out;
    }
    THost& host = m_hosts[i];
    host.LastAnswered = answered;
    host.Lost = answered ? 0 : std::min(host.Lost, INT32_MAX - 1) + 1;
    if (m_incident) {
        if (answered) {
            m_awaiting[i] = false;
        } else if (host.Marked && Down(host)) {
            Await(i); // failed during the incident
        }
        if (std::none_of(m_awaiting.begin(), m_awaiting.end(), [](bool a) { return a; })) {
            Close(round, out);
        } else {
            RefineCause();
        }
    }
    if (!m_incident && RuleHolds()) {
        Open(round, out);
    }
    Settle(out);
    return out;
}

void TSiteWatch::Await(std::size_t slot) {
    m_awaiting[slot] = true;
    std::vector<std::string>& hosts = m_incident->HostsDown;
    if (std::find(hosts.begin(), hosts.end(), m_hosts[slot].Address) == hosts.end()) {
        hosts.push_back(m_hosts[slot].Address);
    }
}

// Decisions are made in place from their alternative: GCC 12 at -O2 takes a
// moved temporary variant for uninitialised (-Werror=maybe-uninitialized),
// and clang 14 has no parenthesised aggregate initialisation.
void TSiteWatch::Open(const TRoundStatus& round, TSiteDecisions& out) {
    m_incident = TIncident{};
    m_incident->StartMs = m_wallMs();
    m_awaiting = {};
    for (std::size_t slot = 0; slot < m_hosts.size(); ++slot) {
        if (m_hosts[slot].Marked && Down(m_hosts[slot])) {
            Await(slot);
        }
    }
    SetCause();
    if (m_running) { // a manual round's action began before the site went down
        m_incident->Steps.push_back(*m_running);
    }
    m_state = TSiteState::Down;
    out.emplace_back(std::in_place_type<TSiteChanged>, TSiteChanged{m_state});
    out.emplace_back(std::in_place_type<TIncidentBegan>, TIncidentBegan{IncidentSnapshot()});
    m_pauseSaid = false;
    if (round.PausedForMs > 0) {
        m_pauseSaid = true;
        out.emplace_back(std::in_place_type<TRestartsPaused>,
                         TRestartsPaused{IncidentSnapshot(), m_wallMs() + round.PausedForMs});
    }
}

void TSiteWatch::Close(const TRoundStatus& round, TSiteDecisions& out) {
    m_incident->EndMs = std::max<int64_t>(m_wallMs(), 1);
    // An action without a verify time ends its round at once: nothing judged
    // it, so a boot's time after it counts as its doing.
    if (!m_incident->Steps.empty()) {
        const TIncidentStep& last = m_incident->Steps.back();
        const bool lately = m_stepVerifyMs == 0 && last.Ok && last.EndMs > 0 &&
                            m_incident->EndMs - last.EndMs <= TSiteWatch::kCureWindowMs;
        if (round.Active || lately) {
            m_incident->CuredBy = last.Action;
        }
    }
    out.emplace_back(std::in_place_type<TIncidentEnded>, TIncidentEnded{IncidentSnapshot()});
    m_incident.reset();
    m_awaiting = {};
}

void TSiteWatch::SetCause() {
    m_incident->Cause = LikelyCause(CauseClues());
    m_incident->Link.clear();
    if (m_incident->Cause == TSiteCause::LocalLink) {
        m_incident->Link =
            m_link.Kind == TLinkState::TKind::NoCarrier ? m_link.Interface : m_linkAddress;
    }
}

// Only a cause not known when the site went down, and only until a step has
// run: after it, the access point's silence may be the restart's own doing.
void TSiteWatch::RefineCause() {
    if (m_incident && m_incident->Steps.empty() && m_incident->Cause == TSiteCause::Unknown) {
        SetCause();
    }
}

// The state from the counts, and the link hold, each said once per change.
void TSiteWatch::Settle(TSiteDecisions& out) {
    TSiteState state = TSiteState::Up;
    if (m_incident) {
        state = TSiteState::Down;
    } else if (std::any_of(m_hosts.begin(), m_hosts.end(),
                           [this](const THost& h) { return h.Marked && Down(h); })) {
        state = TSiteState::Degraded;
    }
    if (state != m_state) {
        m_state = state;
        out.emplace_back(std::in_place_type<TSiteChanged>, TSiteChanged{m_state});
    }
    const bool held = m_incident && m_link.Down();
    if (held != m_holdShown) {
        m_holdShown = held;
        out.emplace_back(std::in_place_type<TLinkHoldChanged>,
                         TLinkHoldChanged{held, m_link, m_linkAddress});
    }
}

TSiteDecisions TSiteWatch::Clues(const TSiteClues& clues, const TRoundView& view) {
    Take(view);
    if (clues.Link) {
        m_link = *clues.Link;
        m_linkAddress = clues.LinkAddress;
    }
    if (clues.AccessPointAnswered) {
        m_probeAnswered = clues.AccessPointAnswered;
    }
    if (clues.NamesFail) {
        m_namesFail = *clues.NamesFail;
    }
    TSiteDecisions out;
    RefineCause();
    Settle(out);
    return out;
}

void TSiteWatch::StepStarted(const std::string& action, const std::string& kind,
                             uint32_t verifyMs) {
    m_running = TIncidentStep{action, kind, m_wallMs(), 0, false, {}};
    m_stepVerifyMs = verifyMs;
    if (m_incident) {
        m_incident->Steps.push_back(*m_running);
    }
}

void TSiteWatch::StepEnded(bool ok, const std::string& outcome) {
    if (!m_running) {
        return;
    }
    m_running->EndMs = std::max<int64_t>(m_wallMs(), 1);
    m_running->Ok = ok;
    m_running->Outcome = outcome;
    if (m_incident && !m_incident->Steps.empty() && m_incident->Steps.back().EndMs == 0) {
        m_incident->Steps.back() = *m_running;
    }
    m_last = m_running;
    m_running.reset();
}

TSiteDecisions TSiteWatch::GuardPaused(const TRoundStatus& round) {
    if (!m_incident || m_pauseSaid) {
        return {};
    }
    m_pauseSaid = true;
    return {TRestartsPaused{IncidentSnapshot(), m_wallMs() + round.PausedForMs}};
}

void TSiteWatch::GuardResumed() {
    m_pauseSaid = false;
}

TSiteDecisions TSiteWatch::Resume(const TIncident& incident, const TRoundView& view) {
    Take(view);
    m_incident = incident;
    m_incident->EndMs = 0;
    m_awaiting = {};
    for (std::size_t slot = 0; slot < m_hosts.size(); ++slot) {
        const std::vector<std::string>& hosts = m_incident->HostsDown;
        m_awaiting[slot] =
            std::find(hosts.begin(), hosts.end(), view.Hosts[slot].Address) != hosts.end();
    }
    if (std::none_of(m_awaiting.begin(), m_awaiting.end(), [](bool a) { return a; })) {
        m_incident.reset();
    }
    TSiteDecisions out;
    Settle(out);
    return out;
}

std::shared_ptr<const TIncident> TSiteWatch::IncidentSnapshot() const {
    return m_incident ? std::make_shared<const TIncident>(*m_incident) : nullptr;
}

bool TSiteWatch::WantsProbe() const {
    return m_incident || std::any_of(m_hosts.begin(), m_hosts.end(),
                                     [](const THost& h) { return h.Marked && h.Lost > 0; });
}

int32_t TSiteWatch::LostInARow(int slot) const {
    return m_hosts.at(static_cast<std::size_t>(slot)).Lost;
}

TSiteView TSiteWatch::View(const TRoundStatus& round,
                           const std::vector<std::string>& actions) const {
    TSiteView view;
    view.State = m_state;
    view.Watched = static_cast<int>(m_hosts.size());
    // During an incident a host answers when its last echo did: one taken up
    // again after a restart of the program has not answered yet.
    view.Answering =
        static_cast<int>(std::count_if(m_hosts.begin(), m_hosts.end(), [this](const THost& h) {
            return m_incident ? h.LastAnswered.value_or(false) : !Down(h);
        }));
    if (m_incident) {
        view.DownSinceMs = m_incident->StartMs;
        view.Cause = m_incident->Cause;
        const std::vector<TIncidentStep>& steps = m_incident->Steps;
        view.FailedStep = !steps.empty() && steps.back().EndMs != 0 && !steps.back().Ok;
        if (m_link.Down()) {
            view.HeldBy = m_link;
            view.HeldAddress = m_linkAddress;
        }
    }
    view.ActionRunning = m_running.has_value();
    view.RunningAction = m_running ? m_running->Action : std::string();
    if (round.Active) {
        view.Round = round.Round;
        view.MaxRounds = round.MaxRounds;
        view.Verifying = round.Verifying;
        if (round.NextStep && round.Step + 1 < actions.size()) {
            view.NextAction = actions[round.Step + 1];
        }
        view.NextInMs = round.NextInMs;
    }
    view.PausedUntilMs = round.PausedForMs > 0 ? m_wallMs() + round.PausedForMs : 0;
    view.HoldOffMs = round.HoldOffForMs;
    if (m_last) {
        view.LastOutcome = m_last->Outcome;
        view.LastOk = m_last->Ok;
        view.LastOutcomeMs = m_last->EndMs;
    }
    return view;
}

} // namespace pingvard
