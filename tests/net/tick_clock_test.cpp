// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/tick_clock.h"

#include <gtest/gtest.h>
#include <tuple>

namespace pingvard {
namespace {

class TickDifferenceTest : public testing::TestWithParam<std::tuple<uint32_t, uint32_t, uint32_t>> {
};

TEST_P(TickDifferenceTest, GivesElapsedMilliseconds) {
    const auto [oldTick, newTick, expected] = GetParam();
    EXPECT_EQ(TickDifference(oldTick, newTick), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, TickDifferenceTest,
                         testing::Values(std::make_tuple(5U, 5U, 0U),
                                         std::make_tuple(100U, 350U, 250U),
                                         // 256 ms before the wrap to 256 ms after it.
                                         std::make_tuple(0xFFFFFF00U, 0x100U, 512U),
                                         std::make_tuple(0xFFFFFFFFU, 0U, 1U),
                                         std::make_tuple(0U, 0xFFFFFFFFU, 0xFFFFFFFFU),
                                         std::make_tuple(0x7FFFFFFFU, 0x80000000U, 1U)));

TEST(TickClock, SystemClockAdvancesWithTheMonotonicClock) {
    const uint32_t first = GetTickCount();
    const uint32_t second = SystemTickClock().Now();
    EXPECT_LT(TickDifference(first, second), 1000U);
}

} // namespace
} // namespace pingvard
