// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Tick clocks for tests: one that moves only when told, and one that moves on
// every reading, so that a wait on it runs out without any real time passing.

#include "net/tick_clock.h"

#include <atomic>
#include <cstdint>

namespace pingvard::test {

class TManualClock final : public TTickClock {
public:
    explicit TManualClock(uint32_t start = 1000) : Tick(start) {}
    uint32_t Now() const noexcept override { return Tick.load(); }
    std::atomic<uint32_t> Tick;
};

// Each reading is stepMs later than the one before.
class TSteppingClock final : public TTickClock {
public:
    TSteppingClock(uint32_t start, uint32_t stepMs) : m_next(start), m_step(stepMs) {}
    uint32_t Now() const noexcept override { return m_next.fetch_add(m_step); }

private:
    mutable std::atomic<uint32_t> m_next;
    const uint32_t m_step;
};

} // namespace pingvard::test
