// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/escalation.h"
#include "rounds/restart_guard.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

class TFakeClock : public TTickClock {
public:
    uint32_t Now() const noexcept override { return Tick; }
    uint32_t Tick = 0xFFFF0000u; // wraps during the longer cases
};

enum class TOp { Start, ActionEnded, Uncured, Cured, HostsBack };

// At a time after the start, first check the verdict, then do the operation.
struct TGuardStep {
    uint32_t AtMs;
    TGuardVerdict Expect;
    std::optional<TOp> Op;
};

struct TGuardCase {
    const char* Name;
    TGuardConfig Config;
    std::vector<TGuardStep> Steps;
};

class RestartGuard : public testing::TestWithParam<TGuardCase> {};

TEST_P(RestartGuard, FollowsTheTable) {
    TFakeClock clock;
    const uint32_t start = clock.Tick;
    TRestartGuard guard(GetParam().Config, clock);
    for (const TGuardStep& step : GetParam().Steps) {
        clock.Tick = start + step.AtMs;
        ASSERT_EQ(guard.Verdict(), step.Expect) << "at " << step.AtMs << " ms";
        switch (step.Op.value_or(TOp::Start)) {
        case TOp::Start:
            if (step.Op) {
                guard.RoundStarted();
            }
            break;
        case TOp::ActionEnded:
            guard.ActionEnded();
            break;
        case TOp::Uncured:
            guard.ActionEnded();
            guard.RoundEnded(false);
            break;
        case TOp::Cured:
            guard.RoundEnded(true);
            break;
        case TOp::HostsBack:
            guard.HostsBack();
            break;
        }
    }
}

constexpr auto A = TGuardVerdict::Allowed;
constexpr auto H = TGuardVerdict::HoldingOff;
constexpr auto P = TGuardVerdict::Paused;

INSTANTIATE_TEST_SUITE_P(
    Table, RestartGuard,
    testing::Values(
        TGuardCase{"NoGuardIsTheHistoricBehaviour",
                   {0, 0, 86400000, false},
                   {{0, A, TOp::Start}, {0, A, TOp::Uncured}, {1, A, TOp::Start}, {1, A, {}}}},
        TGuardCase{"HoldOffAfterEachAction",
                   {60000, 0, 86400000, false},
                   {{0, A, TOp::Start},
                    {0, A, TOp::ActionEnded},
                    {59999, H, TOp::Uncured},
                    {119998, H, {}}, // no back-off: the same hold-off again
                    {119999, A, {}}}},
        TGuardCase{"PausesAtMaxRoundsUntilTheWindowAllows",
                   {0, 2, 1000000, false},
                   {{0, A, TOp::Start},
                    {10, A, TOp::Uncured},
                    {500000, A, TOp::Start},
                    {500010, P, TOp::Uncured},
                    {999999, P, {}},
                    {1000000, A, TOp::Start}, // the first round left the window
                    {1000001, P, {}}}},
        TGuardCase{"BackOffDoublesUntilTheHostsAreBack",
                   {10000, 0, 86400000, true},
                   {{0, A, TOp::Start},
                    {0, A, TOp::Uncured}, // hold-off 20 s after one uncured round
                    {19999, H, {}},
                    {20000, A, TOp::Start},
                    {20000, A, TOp::Uncured}, // 40 s
                    {59999, H, {}},
                    {60000, A, TOp::Start},
                    {60000, A, TOp::ActionEnded},
                    {60001, H, TOp::HostsBack},
                    {60002, H, TOp::ActionEnded}, // back to 10 s
                    {70002, A, {}}}},
        TGuardCase{
            "HostsBackEndThePause",
            {0, 1, 86400000, false},
            {{0, A, TOp::Start}, {0, P, TOp::Uncured}, {5000, P, TOp::HostsBack}, {5001, A, {}}}},
        TGuardCase{"CuredRoundResetsTheBackOff",
                   {1000, 0, 86400000, true},
                   {{0, A, TOp::Start},
                    {0, A, TOp::Uncured},
                    {2000, A, TOp::Start},
                    {2000, A, TOp::ActionEnded},
                    {2000, H, TOp::Cured},
                    {6000, A, TOp::Start},
                    {6000, A, TOp::ActionEnded},
                    {6999, H, {}},
                    {7000, A, {}}}}),
    [](const testing::TestParamInfo<TGuardCase>& param) { return std::string(param.param.Name); });

// A hold-off and rounds long over must not look recent again when the
// 32-bit tick counter comes round after 49.7 days.
TEST(RestartGuard, ForgetsOldStateBeforeTheTickCounterWraps) {
    TFakeClock clock;
    TRestartGuard guard({60000, 1, 86400000, false}, clock);
    const uint32_t action = clock.Tick;
    guard.RoundStarted();
    guard.ActionEnded();
    guard.RoundEnded(false);
    for (int day = 1; day <= 49; ++day) {
        clock.Tick += 86400000;
        ASSERT_EQ(guard.Verdict(), TGuardVerdict::Allowed) << "day " << day;
    }
    clock.Tick = action + 30000; // 2^32 ms after the action, and 30 s
    EXPECT_EQ(guard.Verdict(), TGuardVerdict::Allowed);
}

// A restart of the program: a new guard on another clock takes the memory.
TEST(RestartGuard, RestoresWhatItRemembersOnAnotherClock) {
    TFakeClock before;
    TRestartGuard guard({10000, 3, 3600000, true}, before);
    guard.RoundStarted();
    guard.ActionEnded();
    guard.RoundEnded(false); // back-off: 20 s
    before.Tick += 5000;
    guard.RoundStarted();
    before.Tick += 1000;
    guard.ActionEnded(); // 20 s from here
    before.Tick += 3000;
    const TGuardMemory memory = guard.Memory();
    EXPECT_EQ(memory, (TGuardMemory{{9000, 4000}, true, 3000, 20000, 1}));

    TFakeClock after;
    after.Tick = 12345;
    TRestartGuard restored({10000, 3, 3600000, true}, after);
    restored.Restore(memory);
    EXPECT_EQ(restored.Memory(), memory);
    EXPECT_EQ(restored.HoldOffLeftMs(), 17000U);
    after.Tick += 17000;
    EXPECT_EQ(restored.Verdict(), TGuardVerdict::Allowed);
    restored.RoundStarted();
    EXPECT_EQ(restored.Verdict(), TGuardVerdict::Paused);
    EXPECT_EQ(restored.PausedForMs(), 3600000U - 26000U); // the first round leaves the window
}

struct TRestoreCase {
    const char* Name;
    TGuardConfig Config;
    TGuardMemory Memory;
    uint32_t HoldOffLeftMs;
    std::size_t Rounds;
};

class RestartGuardRestore : public testing::TestWithParam<TRestoreCase> {};

TEST_P(RestartGuardRestore, TakesWhatTheSettingsAllowNow) {
    TFakeClock clock;
    TRestartGuard guard(GetParam().Config, clock);
    guard.Restore(GetParam().Memory);
    EXPECT_EQ(guard.HoldOffLeftMs(), GetParam().HoldOffLeftMs);
    EXPECT_EQ(guard.Memory().RoundAgesMs.size(), GetParam().Rounds);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RestartGuardRestore,
    testing::Values(
        TRestoreCase{
            "AsKept", {60000, 6, 3600000, false}, {{500000, 1000}, true, 1000, 60000, 0}, 59000, 2},
        TRestoreCase{
            "AShorterHoldOffNow", {30000, 6, 3600000, false}, {{}, true, 1000, 60000, 0}, 29000, 0},
        TRestoreCase{"TheBackOffLevelCounts",
                     {30000, 6, 3600000, true},
                     {{}, true, 1000, 60000, 1},
                     59000,
                     0},
        TRestoreCase{"NoHoldOffNow", {0, 6, 3600000, true}, {{}, true, 1000, 60000, 3}, 0, 0},
        TRestoreCase{"RoundsThatLeftTheWindow",
                     {0, 6, 3600000, false},
                     {{3600000, 3599999, 10}, false, 0, 0, 0},
                     0,
                     2},
        TRestoreCase{
            "AHoldOffOver", {60000, 6, 3600000, false}, {{}, true, 60000, 60000, 0}, 0, 0}),
    [](const testing::TestParamInfo<TRestoreCase>& param) {
        return std::string(param.param.Name);
    });

TEST(RestartGuard, SaysWhyItPaused) {
    TFakeClock clock;
    EXPECT_EQ(TRestartGuard({0, 6, 86400000, true}, clock).PausedText(),
              "Restarts paused, 6 rounds within 24 h");
    EXPECT_EQ(TRestartGuard({0, 1, 5400000, true}, clock).PausedText(),
              "Restarts paused, 1 round within 90 min");
}

using TCmd = TEscalationCommand;
using TKind = TEscalationCommand::TKind;

enum class TEvent { Begin, Ok, Failed, HostsBack, Poll };

struct TEscalationStep {
    uint32_t AtMs;
    TEvent Event;
    TCmd Expect;
};

struct TEscalationCase {
    const char* Name;
    std::vector<uint32_t> VerifyMs;
    std::vector<TEscalationStep> Steps;
};

class Escalation : public testing::TestWithParam<TEscalationCase> {};

TEST_P(Escalation, FollowsTheTable) {
    TFakeClock clock;
    const uint32_t start = clock.Tick;
    TEscalation escalation(GetParam().VerifyMs, clock);
    for (const TEscalationStep& step : GetParam().Steps) {
        clock.Tick = start + step.AtMs;
        TCmd got;
        switch (step.Event) {
        case TEvent::Begin:
            got = escalation.Begin();
            break;
        case TEvent::Ok:
            got = escalation.ActionEnded(true);
            break;
        case TEvent::Failed:
            got = escalation.ActionEnded(false);
            break;
        case TEvent::HostsBack:
            got = escalation.HostsBack();
            break;
        case TEvent::Poll:
            got = escalation.Poll();
            break;
        }
        ASSERT_EQ(got, step.Expect) << "at " << step.AtMs << " ms: got kind "
                                    << static_cast<int>(got.Kind) << " action " << got.Action;
    }
}

const TCmd kNone{};
TCmd Run(std::size_t i) {
    return {TKind::RunAction, i};
}

INSTANTIATE_TEST_SUITE_P(
    Table, Escalation,
    testing::Values(TEscalationCase{"EachActionInTurnUntilTheListIsDone",
                                    {100, 200},
                                    {{0, TEvent::Begin, Run(0)},
                                     {5, TEvent::Begin, kNone}, // a round runs already
                                     {10, TEvent::Ok, kNone},
                                     {109, TEvent::Poll, kNone},
                                     {110, TEvent::Poll, Run(1)},
                                     {120, TEvent::Ok, kNone},
                                     {320, TEvent::Poll, {TKind::Uncured, 1}},
                                     {330, TEvent::Begin, Run(0)}}},
                    TEscalationCase{"HostsBackWithinTheVerifyTime",
                                    {100, 200},
                                    {{0, TEvent::Begin, Run(0)},
                                     {10, TEvent::Ok, kNone},
                                     {50, TEvent::HostsBack, {TKind::Cured, 0}},
                                     {500, TEvent::Poll, kNone}}},
                    TEscalationCase{"AFailedActionHandsOverAtOnce",
                                    {100, 200},
                                    {{0, TEvent::Begin, Run(0)},
                                     {10, TEvent::Failed, Run(1)},
                                     {20, TEvent::Failed, {TKind::Uncured, 1}}}},
                    TEscalationCase{"HostsBackWhileTheActionRuns",
                                    {100, 200},
                                    {{0, TEvent::Begin, Run(0)},
                                     {5, TEvent::HostsBack, kNone},
                                     {10, TEvent::Ok, {TKind::Cured, 0}}}},
                    TEscalationCase{"NoVerifyTimeIsTodaysSingleSession",
                                    {0},
                                    {{0, TEvent::Begin, Run(0)},
                                     {10, TEvent::Ok, {TKind::Uncured, 0}},
                                     {11, TEvent::Begin, Run(0)}}}),
    [](const testing::TestParamInfo<TEscalationCase>& param) {
        return std::string(param.param.Name);
    });

} // namespace
} // namespace pingvard
