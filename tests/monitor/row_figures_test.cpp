// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/row_figures.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

struct TTextsCase {
    const char* Name;
    TRowFigures Figures;
    TRowTexts Texts;
};

class RowTextsOf : public ::testing::TestWithParam<TTextsCase> {};

TEST_P(RowTextsOf, ReadsAsTheWindowShowsIt) {
    EXPECT_EQ(RowTexts(GetParam().Figures), GetParam().Texts);
}

INSTANTIATE_TEST_SUITE_P(
    Figures, RowTextsOf,
    ::testing::Values(TTextsCase{"NoneKnownYet", {}, {"-", "-", "-"}},
                      TTextsCase{
                          "LostEchoKeepsTheAverage", {{}, 15.0, 33, 1}, {"-", "15ms", "33%"}},
                      TTextsCase{"AverageHalfGoesDown", {3, 2.5, 0, 0}, {"3ms", "2ms", "0%"}},
                      TTextsCase{"AverageHalfGoesUp", {4, 3.5, 0, 0}, {"4ms", "4ms", "0%"}},
                      TTextsCase{"ZeroIsAFigure", {0, 0.0, 100, 0}, {"0ms", "0ms", "100%"}}),
    [](const auto& param) { return std::string(param.param.Name); });

} // namespace
} // namespace pingvard
