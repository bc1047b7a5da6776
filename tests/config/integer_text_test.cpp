// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/integer_text.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

struct TIntegerCase {
    const char* text;
    std::optional<int32_t> expected;
};

class IntegerText : public ::testing::TestWithParam<TIntegerCase> {};

// The same answers with and without the "0x" mapping step.
TEST_P(IntegerText, ParsesByTheRule) {
    const auto& c = GetParam();
    EXPECT_EQ(ParseIntegerText(c.text, true), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(ParseIntegerText(c.text, false), c.expected) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntegerText,
    ::testing::Values(
        // decimal, its range and signs
        TIntegerCase{"0", 0}, TIntegerCase{"42", 42}, TIntegerCase{"+7", 7}, TIntegerCase{"-7", -7},
        TIntegerCase{"007", 7}, TIntegerCase{"2147483647", 2147483647},
        TIntegerCase{"-2147483648", INT32_MIN}, TIntegerCase{"2147483648", std::nullopt},
        TIntegerCase{"-2147483649", std::nullopt},
        TIntegerCase{"99999999999999999999", std::nullopt},
        // hexadecimal markers, two's complement, 32-bit limit
        TIntegerCase{"0x0A", 10}, TIntegerCase{"0X0a", 10}, TIntegerCase{"$3E8", 1000},
        TIntegerCase{"x10", 16}, TIntegerCase{"X10", 16}, TIntegerCase{"$FFFFFFFF", -1},
        TIntegerCase{"$80000000", INT32_MIN}, TIntegerCase{"$7fffffff", 2147483647},
        TIntegerCase{"$000000001", 1}, TIntegerCase{"$100000000", std::nullopt},
        // no sign before a marker, digits required after it
        TIntegerCase{"-$10", std::nullopt}, TIntegerCase{"+$10", std::nullopt},
        TIntegerCase{"-0x10", std::nullopt}, TIntegerCase{"$", std::nullopt},
        TIntegerCase{"0x", std::nullopt}, TIntegerCase{"x", std::nullopt},
        TIntegerCase{"$G", std::nullopt}, TIntegerCase{"-", std::nullopt},
        TIntegerCase{"+", std::nullopt},
        // leading spaces only; anything after the digits spoils the text
        TIntegerCase{"  500", 500}, TIntegerCase{"  $1F4", 500}, TIntegerCase{"500 ", std::nullopt},
        TIntegerCase{"\t500", std::nullopt}, TIntegerCase{"2000ms", std::nullopt},
        TIntegerCase{"2 000", std::nullopt}, TIntegerCase{"1.5", std::nullopt},
        TIntegerCase{"", std::nullopt}, TIntegerCase{"   ", std::nullopt},
        TIntegerCase{"- 5", std::nullopt}, TIntegerCase{"yes", std::nullopt}));

TEST(IntegerText, MapsLeadingZeroXOnlyWhenLongerThanTwoCharacters) {
    EXPECT_EQ(ParseIntegerText("0x1"), 1);
    EXPECT_EQ(ParseIntegerText("0x"), std::nullopt);
    // After the mapping a sign can never precede the marker.
    EXPECT_EQ(ParseIntegerText("0x-1"), std::nullopt);
    EXPECT_EQ(ParseIntegerText("0x-1", false), std::nullopt);
}

} // namespace
} // namespace pingvard
