// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/restart_guard.h"

#include <algorithm>
#include <vector>

namespace pingvard {

namespace {

// Far below the tick counter's wrap, so TickDifference stays meaningful.
constexpr uint64_t kMaxHoldOffMs = uint64_t{1} << 31;
// Enough doublings to reach kMaxHoldOffMs from any hold-off.
constexpr int kMaxUncured = 31;

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
    while (!m_roundStarts.empty() && !InWindow(m_roundStarts.front())) {
        m_roundStarts.pop_front();
    }
    if (m_holdOff && !HoldOffRuns()) {
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
    ++m_revision;
}

uint32_t TRestartGuard::CurrentHoldOffMs() const {
    const int doublings = m_config.BackOff ? std::min(m_uncured, kMaxUncured) : 0;
    return static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{m_config.HoldOffMs} << doublings, kMaxHoldOffMs));
}

void TRestartGuard::ActionEnded() {
    m_holdOff = m_config.HoldOffMs > 0;
    m_holdOffFrom = m_clock->Now();
    m_holdOffMs = CurrentHoldOffMs();
    ++m_revision;
}

void TRestartGuard::RoundEnded(bool cured) {
    m_uncured = cured ? 0 : std::min(m_uncured + 1, kMaxUncured);
    if (!cured && m_holdOff && Verdict() == TGuardVerdict::HoldingOff) {
        m_holdOffMs = CurrentHoldOffMs(); // the hold-off under way already grows
    }
    ++m_revision;
}

void TRestartGuard::HostsBack() {
    m_uncured = 0;
    m_roundStarts.clear();
    ++m_revision;
}

uint32_t TRestartGuard::PausedForMs() const {
    const auto inWindow = std::count_if(m_roundStarts.begin(), m_roundStarts.end(),
                                        [this](uint32_t start) { return InWindow(start); });
    if (m_config.MaxRounds <= 0 || inWindow < m_config.MaxRounds) {
        return 0;
    }
    // Allowed again once so many have left that fewer than MaxRounds remain.
    const auto first = m_roundStarts.end() - inWindow;
    const uint32_t start = *(first + (inWindow - m_config.MaxRounds));
    return m_config.WindowMs - Since(start);
}

uint32_t TRestartGuard::HoldOffLeftMs() const {
    return HoldOffRuns() ? m_holdOffMs - Since(m_holdOffFrom) : 0;
}

TGuardMemory TRestartGuard::Memory() const {
    TGuardMemory memory;
    for (uint32_t start : m_roundStarts) {
        if (InWindow(start)) {
            memory.RoundAgesMs.push_back(Since(start));
        }
    }
    memory.HoldingOff = HoldOffRuns();
    if (memory.HoldingOff) {
        memory.HoldOffAgeMs = Since(m_holdOffFrom);
        memory.HoldOffMs = m_holdOffMs;
    }
    memory.Uncured = m_uncured;
    return memory;
}

void TRestartGuard::Restore(const TGuardMemory& memory) {
    const uint32_t now = m_clock->Now();
    m_roundStarts.clear();
    m_uncured = std::clamp(memory.Uncured, 0, kMaxUncured);
    // Oldest first, as the window expects; ages beyond it (or beyond the
    // tick's range) are forgotten.
    std::vector<uint32_t> ages = memory.RoundAgesMs;
    std::sort(ages.rbegin(), ages.rend());
    for (uint32_t age : ages) {
        if (age < m_config.WindowMs) {
            m_roundStarts.push_back(now - age);
        }
    }
    const uint32_t length = std::min(memory.HoldOffMs, CurrentHoldOffMs());
    m_holdOff = memory.HoldingOff && memory.HoldOffAgeMs < length;
    m_holdOffFrom = now - memory.HoldOffAgeMs;
    m_holdOffMs = length;
    ++m_revision;
}

int TRestartGuard::RoundsInWindow() const {
    return static_cast<int>(
        std::count_if(m_roundStarts.begin(), m_roundStarts.end(),
                      [this](uint32_t t) { return Since(t) < m_config.WindowMs; }));
}

// The rounds in front leave the window first: once all but MaxRounds - 1 of
// them have, a round may start.
std::string TRestartGuard::PausedText() const {
    return "Restarts paused, " + std::to_string(m_config.MaxRounds) + " round" +
           (m_config.MaxRounds == 1 ? "" : "s") + " within " + DurationText(m_config.WindowMs);
}

} // namespace pingvard
