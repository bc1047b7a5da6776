// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/restart_guard.h"

#include <algorithm>

namespace pingvard {

namespace {

// Far below the tick counter's wrap, so TickDifference stays meaningful.
constexpr uint64_t kMaxHoldOffMs = uint64_t{1} << 31;

} // namespace

std::string DurationText(uint32_t ms) {
    if (ms % 3600000 == 0 && ms > 0) {
        return std::to_string(ms / 3600000) + " h";
    }
    if (ms % 60000 == 0 && ms > 0) {
        return std::to_string(ms / 60000) + " min";
    }
    return std::to_string((ms + 999) / 1000) + " s";
}

TRestartGuard::TRestartGuard(TGuardConfig config, const TTickClock& clock)
    : m_config(config), m_clock(&clock) {}

TGuardVerdict TRestartGuard::Verdict() {
    // Rounds start in time order, so those that left the window are in front.
    while (!m_roundStarts.empty() && Since(m_roundStarts.front()) >= m_config.WindowMs) {
        m_roundStarts.pop_front();
    }
    if (m_holdOff && Since(m_holdOffFrom) >= m_holdOffMs) {
        m_holdOff = false;
    }
    if (m_config.MaxRounds > 0 && static_cast<int>(m_roundStarts.size()) >= m_config.MaxRounds) {
        return TGuardVerdict::Paused;
    }
    return m_holdOff ? TGuardVerdict::HoldingOff : TGuardVerdict::Allowed;
}

void TRestartGuard::RoundStarted() {
    Verdict(); // drops the rounds that left the window
    m_roundStarts.push_back(m_clock->Now());
}

uint32_t TRestartGuard::CurrentHoldOffMs() const {
    const int doublings = m_config.BackOff ? std::min(m_uncured, 31) : 0;
    return static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{m_config.HoldOffMs} << doublings, kMaxHoldOffMs));
}

void TRestartGuard::ActionEnded() {
    m_holdOff = m_config.HoldOffMs > 0;
    m_holdOffFrom = m_clock->Now();
    m_holdOffMs = CurrentHoldOffMs();
}

void TRestartGuard::RoundEnded(bool cured) {
    m_uncured = cured ? 0 : m_uncured + 1;
    if (!cured && m_holdOff && Verdict() == TGuardVerdict::HoldingOff) {
        m_holdOffMs = CurrentHoldOffMs(); // the hold-off under way already grows
    }
}

void TRestartGuard::HostsBack() {
    m_uncured = 0;
    m_roundStarts.clear();
}

int TRestartGuard::RoundsInWindow() const {
    return static_cast<int>(
        std::count_if(m_roundStarts.begin(), m_roundStarts.end(),
                      [this](uint32_t t) { return Since(t) < m_config.WindowMs; }));
}

// The rounds in front leave the window first: once all but MaxRounds - 1 of
// them have, a round may start.
uint32_t TRestartGuard::PausedForMs() const {
    const int rounds = RoundsInWindow();
    if (m_config.MaxRounds <= 0 || rounds < m_config.MaxRounds) {
        return 0;
    }
    const auto inWindow = m_roundStarts.end() - rounds;
    const uint32_t start = *(inWindow + (rounds - m_config.MaxRounds));
    return m_config.WindowMs - Since(start);
}

uint32_t TRestartGuard::HoldOffLeftMs() const {
    if (!m_holdOff || Since(m_holdOffFrom) >= m_holdOffMs) {
        return 0;
    }
    return m_holdOffMs - Since(m_holdOffFrom);
}

std::string TRestartGuard::PausedText() const {
    return "Restarts paused, " + std::to_string(m_config.MaxRounds) + " round" +
           (m_config.MaxRounds == 1 ? "" : "s") + " within " + DurationText(m_config.WindowMs);
}

} // namespace pingvard
