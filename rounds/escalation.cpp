// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/escalation.h"

namespace pingvard {

namespace {

using TKind = TEscalationCommand::TKind;

} // namespace

TEscalation::TEscalation(std::vector<uint32_t> verifyMs, const TTickClock& clock)
    : m_verifyMs(std::move(verifyMs)), m_clock(&clock) {}

TEscalationCommand TEscalation::Begin() {
    if (Active() || m_verifyMs.empty()) {
        return {};
    }
    m_state = TState::Running;
    m_current = 0;
    m_hostsBack = false;
    return {TKind::RunAction, 0};
}

TEscalationCommand TEscalation::Next() {
    if (m_current + 1 >= m_verifyMs.size()) {
        m_state = TState::Idle;
        return {TKind::Uncured, m_current};
    }
    m_state = TState::Running;
    ++m_current;
    m_hostsBack = false;
    return {TKind::RunAction, m_current};
}

TEscalationCommand TEscalation::ActionEnded(bool ok) {
    if (m_state != TState::Running) {
        return {};
    }
    if (m_hostsBack) { // they answered while the action ran
        m_state = TState::Idle;
        return {TKind::Cured, m_current};
    }
    if (!ok) {
        return Next(); // nothing to wait for after an action that failed
    }
    m_state = TState::Verifying;
    m_verifyFrom = m_clock->Now();
    return Poll();
}

TEscalationCommand TEscalation::HostsBack() {
    if (m_state == TState::Running) {
        m_hostsBack = true;
        return {};
    }
    if (m_state == TState::Verifying) {
        m_state = TState::Idle;
        return {TKind::Cured, m_current};
    }
    return {};
}

uint32_t TEscalation::VerifyLeftMs() const {
    if (!Verifying()) {
        return 0;
    }
    const uint32_t passed = TickDifference(m_verifyFrom, m_clock->Now());
    return passed < m_verifyMs[m_current] ? m_verifyMs[m_current] - passed : 0;
}

TEscalationCommand TEscalation::Poll() {
    if (m_state != TState::Verifying ||
        TickDifference(m_verifyFrom, m_clock->Now()) < m_verifyMs[m_current]) {
        return {};
    }
    return Next();
}

} // namespace pingvard
