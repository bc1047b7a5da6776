// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace pingvard {

// Source of the 32-bit millisecond tick. Injectable so that rules such as
// "60 s since the start" and the counter's wrap can be tested without sleeping.
class TTickClock {
public:
    virtual ~TTickClock() = default;
    virtual uint32_t Now() const noexcept = 0;
};

// CLOCK_MONOTONIC in milliseconds, truncated to 32 bits (wraps every ~49.7 days).
const TTickClock& SystemTickClock() noexcept;

// SystemTickClock().Now().
uint32_t GetTickCount() noexcept;

// The wall clock: milliseconds since 1970 UTC.
int64_t WallClockMs() noexcept;

// Milliseconds from oldTick to newTick, correct across one wrap of the counter.
uint32_t TickDifference(uint32_t oldTick, uint32_t newTick) noexcept;

} // namespace pingvard
