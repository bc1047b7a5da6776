#include "monitor/restart_guard.h"

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
    : m_config(config), m_clock(clock) {}

int TRestartGuard::RoundsInWindow() const {
    return static_cast<int>(
        std::count_if(m_roundStarts.begin(), m_roundStarts.end(),
                      [&](uint32_t t) { return Since(t) < m_config.WindowMs; }));
}

TGuardVerdict TRestartGuard::Verdict() const {
    if (m_config.MaxRounds > 0 && RoundsInWindow() >= m_config.MaxRounds) {
        return TGuardVerdict::Paused;
    }
    if (m_holdOff && Since(m_holdOffFrom) < m_holdOffMs) {
        return TGuardVerdict::HoldingOff;
    }
    return TGuardVerdict::Allowed;
}

void TRestartGuard::RoundStarted() {
    const uint32_t now = m_clock.Now();
    std::erase_if(m_roundStarts, [&](uint32_t t) { return Since(t) >= m_config.WindowMs; });
    m_roundStarts.push_back(now);
}

uint32_t TRestartGuard::CurrentHoldOffMs() const {
    const int doublings = m_config.BackOff ? std::min(m_uncured, 31) : 0;
    return static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{m_config.HoldOffMs} << doublings, kMaxHoldOffMs));
}

void TRestartGuard::ActionEnded() {
    m_holdOff = m_config.HoldOffMs > 0;
    m_holdOffFrom = m_clock.Now();
    m_holdOffMs = CurrentHoldOffMs();
}

void TRestartGuard::RoundEnded(bool cured) {
    m_uncured = cured ? 0 : m_uncured + 1;
    if (!cured && m_holdOff) {
        m_holdOffMs = CurrentHoldOffMs(); // the hold-off under way already grows
    }
}

void TRestartGuard::HostsBack() {
    m_uncured = 0;
    m_roundStarts.clear();
}

std::string TRestartGuard::PausedText() const {
    return "Restarts paused, " + std::to_string(m_config.MaxRounds) + " round" +
           (m_config.MaxRounds == 1 ? "" : "s") + " within " + DurationText(m_config.WindowMs);
}

} // namespace pingvard
