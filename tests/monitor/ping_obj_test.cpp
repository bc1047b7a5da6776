// SPDX-License-Identifier: GPL-3.0-or-later
#include "fake_front_end.h"
#include "monitor/ping_obj.h"

#include <gtest/gtest.h>
#include <vector>

namespace pingvard {
namespace {

struct TResultCase {
    const char* Name;
    std::vector<int32_t> Results;
    std::string Row; // ping|average|loss
};

class UpdateResultFigures : public ::testing::TestWithParam<TResultCase> {};

TEST_P(UpdateResultFigures, ShowsTheExpectedRow) {
    test::TFakeFrontEnd fe;
    TPingObj obj;
    obj.FrontEnd = &fe;
    for (int32_t ms : GetParam().Results) {
        obj.UpdateResult(ms);
    }
    EXPECT_EQ(fe.Row(0), GetParam().Row);
}

INSTANTIATE_TEST_SUITE_P(
    Figures, UpdateResultFigures,
    ::testing::Values(
        TResultCase{"FirstSuccess", {37}, "37ms|37ms|0%"},
        TResultCase{"HalfRoundsDownToEven", {2, 3}, "3ms|2ms|0%"},
        TResultCase{"HalfRoundsUpToEven", {3, 4}, "4ms|4ms|0%"},
        TResultCase{"ZeroPointFiveIsZero", {0, 1}, "1ms|0ms|0%"},
        TResultCase{"OneLostOfEightIs12", {-1, 1, 1, 1, 1, 1, 1, 1}, "1ms|1ms|12%"},
        TResultCase{"ThreeLostOfEightIs38", {-1, -1, -1, 5, 5, 5, 5, 5}, "5ms|5ms|38%"},
        TResultCase{"OneLostOfThreeIs33", {10, -1, 20}, "20ms|15ms|33%"},
        TResultCase{"FailureKeepsAverage", {10, 20, -1}, "-|15ms|33%"},
        TResultCase{"OnlyFailures", {-1, -1}, "-|-|100%"},
        TResultCase{"StrayNegativeIsAFailure", {8, -7}, "-|8ms|50%"},
        TResultCase{"LargestRoundTrip", {2147483647}, "2147483647ms|2147483647ms|0%"}),
    [](const auto& param) { return std::string(param.param.Name); });

class TCountingRule : public TRestartRule {
public:
    int32_t Max = 2;
    int Evaluations = 0;
    int32_t MaxTimeouts() const override { return Max; }
    void EvaluateRestartRule() override { ++Evaluations; }
};

TEST(UpdateResult, AsksForTheRuleOnlyWhenAMarkedSlotReachesMaxTimeouts) {
    TCountingRule rule;
    TPingObj marked, unmarked;
    marked.Rule = unmarked.Rule = &rule;
    unmarked.DoReset = false;
    marked.UpdateResult(-1);
    unmarked.UpdateResult(-1);
    unmarked.UpdateResult(-1);
    EXPECT_EQ(rule.Evaluations, 0);
    marked.UpdateResult(-1);
    EXPECT_EQ(rule.Evaluations, 1);
    marked.UpdateResult(-1); // still at or above the limit
    EXPECT_EQ(rule.Evaluations, 2);
}

TEST(LossPercent, SumsTheCountersWithoutOverflow) {
    EXPECT_EQ(LossPercent(4294967295u, 4294967295u), 50); // no overflow of the sum
}

} // namespace
} // namespace pingvard
