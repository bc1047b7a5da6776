// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/echo_liveness.h"

namespace pingvard {

TEchoLiveness::TEchoLiveness(uint32_t staleMs, const TTickClock& clock)
    : m_clock(clock), m_staleMs(staleMs) {
    const uint32_t now = m_clock.Now();
    for (auto& last : m_lastReport) {
        last = now;
    }
}

void TEchoLiveness::Publish(const TMonitorEvent& event) noexcept {
    if (event.Kind == TMonitorEventKind::Echo && event.Slot >= 0 && event.Slot < 4) {
        m_lastReport[static_cast<std::size_t>(event.Slot)] = m_clock.Now();
    }
}

bool TEchoLiveness::Healthy() const noexcept {
    const uint32_t now = m_clock.Now();
    for (const auto& last : m_lastReport) {
        if (TickDifference(last, now) > m_staleMs) {
            return false;
        }
    }
    return true;
}

} // namespace pingvard
