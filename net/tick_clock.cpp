// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/tick_clock.h"

#include <chrono>

namespace pingvard {
namespace {

class TSystemTickClock final : public TTickClock {
public:
    uint32_t Now() const noexcept override {
        const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count();
        return static_cast<uint32_t>(ms);
    }
};

} // namespace

const TTickClock& SystemTickClock() noexcept {
    static const TSystemTickClock clock;
    return clock;
}

uint32_t GetTickCount() noexcept {
    return SystemTickClock().Now();
}

uint32_t TickDifference(uint32_t oldTick, uint32_t newTick) noexcept {
    if (oldTick == newTick) {
        return 0;
    }
    if (oldTick > newTick) {
        // Shifting both by half the range undoes a wrap between the two readings.
        oldTick += 0x80000000U;
        newTick += 0x80000000U;
    }
    if (oldTick > newTick) {
        return oldTick - newTick;
    }
    return newTick - oldTick;
}

int64_t WallClockMs() noexcept {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace pingvard
