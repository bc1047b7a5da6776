// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/recovery_policy.h"
#include "tests/net/fake_clock.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace pingvard {
namespace {

// What the monitor would do with each decision, as one line.
std::string Line(const TRoundDecision& decision) {
    struct TLine {
        std::string operator()(const TRuleFired&) const { return "rule fired"; }
        std::string operator()(const TForgetFailures& f) const {
            return f.Slot ? "forget " + std::to_string(*f.Slot) : "forget all";
        }
        std::string operator()(const TStartStep& s) const {
            std::string line = "round " + std::to_string(s.Event.Round) + " step " +
                               std::to_string(s.Event.Step) + " " + s.Event.Reason + ":";
            for (const std::string& host : s.Event.HostsDown) {
                line += " " + host;
            }
            return s.Step + 1 == static_cast<std::size_t>(s.Event.Step) ? line : "bad step index";
        }
        std::string operator()(const TShowGuardChange& g) const {
            return (g.Paused ? "paused: " : "resumed: ") + g.Text;
        }
        std::string operator()(const TRefuseRequest& r) const {
            return "refused: " + r.Text +
                   (r.ForMs ? " for " + std::to_string(*r.ForMs) + " ms" : std::string()) +
                   (r.Log ? "" : " (status only)");
        }
        // The tables leave it out; RecoveryPolicyMemory looks at it.
        std::string operator()(const TKeepGuardMemory&) const { return {}; }
    };
    return std::visit(TLine{}, decision);
}

enum class TOp { Armed, Manual, Ended, Lost, Answered };

// At AtMs after the start: one call, and the decisions it must return.
struct TPolicyStep {
    uint32_t AtMs;
    TOp Op;
    std::string Arg; // Armed, Manual: each slot's Failures ("2220"); Ended: "ok" or
                     // "failed"; Lost, Answered: the slot
    std::vector<std::string> Expect;
};

struct TPolicyCase {
    const char* Name;
    std::vector<int32_t> VerifyS; // one action per entry
    TGuardConfig Guard;
    int32_t Quorum;
    std::vector<TPolicyStep> Steps;
};

void PrintTo(const TPolicyCase& c, std::ostream* os) {
    *os << c.Name;
}

// Slots 0-2 marked, slot 3 not; MaxTimeouts 2. The session token is taken by
// each step started and given back after the call that ends it, as the
// session does.
class RecoveryPolicy : public testing::TestWithParam<TPolicyCase> {
protected:
    TRoundDecisions Call(const TPolicyStep& step) {
        switch (step.Op) {
        case TOp::Armed:
        case TOp::Manual:
            for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
                View.Hosts[slot].Failures = step.Arg.at(slot) - '0';
            }
            return step.Op == TOp::Armed ? Policy.RestartRuleArmed(View)
                                         : Policy.Begin(TRoundTrigger::Manual, View);
        case TOp::Ended: {
            TRecoveryOutcome outcome;
            outcome.Ok = step.Arg == "ok";
            return Policy.StepEnded(outcome, View);
        }
        case TOp::Lost:
        case TOp::Answered:
            return Policy.PingReport(std::stoi(step.Arg), step.Op == TOp::Answered, View);
        }
        return {};
    }

    std::vector<std::string> Run(const TPolicyStep& step) {
        View.SessionFree = !m_sessionRunning;
        std::vector<std::string> lines;
        for (const TRoundDecision& decision : Call(step)) {
            if (!std::holds_alternative<TKeepGuardMemory>(decision)) {
                lines.push_back(Line(decision));
            }
            m_sessionRunning = m_sessionRunning || std::holds_alternative<TStartStep>(decision);
        }
        if (step.Op == TOp::Ended) {
            m_sessionRunning = false;
        }
        return lines;
    }

    static TRecoverySettings Settings(const TPolicyCase& c) {
        TRecoverySettings settings;
        for (int32_t verify : c.VerifyS) {
            TActionConfig action;
            action.VerifyMs = verify * 1000;
            settings.Actions.push_back(action);
        }
        settings.Guard = c.Guard;
        settings.Quorum = c.Quorum;
        return settings;
    }

    static TRoundView StartView() {
        TRoundView view;
        for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
            view.Hosts[slot] = {slot < 3, 0, "h" + std::to_string(slot + 1)};
        }
        view.MaxTimeouts = 2;
        return view;
    }

    test::TManualClock Clock{0xFFFF0000u}; // wraps during the longer cases
    TRecoveryPolicy Policy{Settings(GetParam()), Clock};
    TRoundView View = StartView();

private:
    bool m_sessionRunning = false;
};

TEST_P(RecoveryPolicy, FollowsTheTable) {
    const uint32_t start = Clock.Tick;
    for (const TPolicyStep& step : GetParam().Steps) {
        Clock.Tick = start + step.AtMs;
        ASSERT_EQ(Run(step), step.Expect) << "at " << step.AtMs << " ms";
    }
}

using S = std::vector<std::string>;
const TGuardConfig kNoGuard{0, 0, 86400000, false}; // the historic behaviour
const S kNothing{};
// The rule held, but no round began: nothing fired, the failures count afresh.
const S kHeldOnly{"forget all"};
const std::string kRoundOne = "round 1 step 1 rule: h1 h2 h3";
const std::string kRoundTwo = "round 2 step 1 rule: h1 h2 h3";

// The rule fires, then what follows from it, then every failure count starts afresh.
S Fires(const std::string& then) {
    return {"rule fired", then, "forget all"};
}

// The guard's pause, said once, while the rule holds: no round, so nothing fires.
S PausedFor(const char* window) {
    return {std::string("paused: Restarts paused, 1 round within ") + window, "forget all"};
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecoveryPolicy,
    testing::Values(
        TPolicyCase{"RuleBeginsARoundWithTheFirstStep",
                    {10, 10},
                    kNoGuard,
                    0,
                    {{0, TOp::Armed, "2210", kNothing}, // not every marked host yet
                     {0, TOp::Armed, "2222", Fires(kRoundOne)}}},
        TPolicyCase{"QuorumWaitsForFewerHosts",
                    {10},
                    kNoGuard,
                    1,
                    {{0, TOp::Armed, "0200", Fires("round 1 step 1 rule: h2")}}},
        TPolicyCase{"FailedStepHandsOverOnceTheSessionIsBack",
                    {10, 10},
                    kNoGuard,
                    0,
                    {{0, TOp::Armed, "2220", Fires(kRoundOne)},
                     {5, TOp::Ended, "failed", kNothing}, // the session still holds the token
                     {6, TOp::Lost, "0", {"round 1 step 2 rule: h1 h2 h3"}}}},
        TPolicyCase{"OkStepVerifiesThenTheNextOneRuns",
                    {10, 20},
                    kNoGuard,
                    0,
                    {{0, TOp::Armed, "2220", Fires(kRoundOne)},
                     {1000, TOp::Ended, "ok", kNothing},
                     {10999, TOp::Lost, "0", kNothing},
                     {11000, TOp::Lost, "0", {"round 1 step 2 rule: h1 h2 h3"}},
                     {12000, TOp::Ended, "ok", kNothing},
                     {32000, TOp::Lost, "0", kNothing}, // uncured: the list is done
                     {32000, TOp::Armed, "2220", Fires(kRoundTwo)}}},
        TPolicyCase{"HostsBackWithinTheVerifyTimeEndTheRound",
                    {10, 10},
                    kNoGuard,
                    0,
                    {{0, TOp::Armed, "2220", Fires(kRoundOne)},
                     {1000, TOp::Ended, "ok", kNothing},
                     {2000, TOp::Answered, "0", kNothing},
                     {2000, TOp::Answered, "3", kNothing}, // not waited for
                     {2000, TOp::Answered, "1", kNothing},
                     {2000, TOp::Answered, "2", kNothing}, // cured
                     {20000, TOp::Lost, "0", kNothing}}},
        TPolicyCase{"HostsBackWhileTheStepRunsCureAtItsEnd",
                    {10, 10},
                    kNoGuard,
                    0,
                    {{0, TOp::Armed, "2220", Fires(kRoundOne)},
                     {100, TOp::Answered, "0", kNothing},
                     {100, TOp::Answered, "1", kNothing},
                     {100, TOp::Answered, "2", kNothing},
                     {200, TOp::Ended, "failed", kNothing},
                     {300, TOp::Lost, "0", kNothing}}},
        TPolicyCase{"PausedAtMaxRoundsUntilTheWindowAllows",
                    {0},
                    {0, 1, 3600000, false},
                    0,
                    {{0, TOp::Armed, "2220", Fires(kRoundOne)},
                     {10, TOp::Ended, "failed", kNothing},
                     {20, TOp::Armed, "2220", PausedFor("1 h")},
                     {30, TOp::Armed, "2220", kHeldOnly}, // said once
                     {3599999, TOp::Lost, "3", kNothing},
                     {3600000, TOp::Lost, "3", {"resumed: Restarts resumed"}},
                     {3600000, TOp::Armed, "2220", Fires(kRoundTwo)}}},
        TPolicyCase{"HostsBackEndThePause",
                    {0},
                    {0, 1, 86400000, false},
                    0,
                    {{0, TOp::Armed, "2220", Fires(kRoundOne)},
                     {10, TOp::Ended, "failed", kNothing},
                     {20, TOp::Armed, "2220", PausedFor("24 h")},
                     {30, TOp::Answered, "0", kNothing},
                     {30, TOp::Answered, "1", kNothing},
                     {30, TOp::Answered, "2", {"resumed: Restarts resumed"}},
                     {40, TOp::Armed, "2220", Fires(kRoundTwo)}}},
        TPolicyCase{"HoldOffForgetsFailures",
                    {0},
                    {60000, 0, 86400000, false},
                    0,
                    {{0, TOp::Armed, "2220", Fires(kRoundOne)},
                     {10, TOp::Ended, "failed", kNothing},
                     {20, TOp::Lost, "1", {"forget 1"}},
                     {30, TOp::Armed, "2220", {"forget all"}},
                     {60010, TOp::Lost, "1", kNothing},
                     {60010, TOp::Armed, "2220", Fires(kRoundTwo)}}},
        TPolicyCase{"ManualRoundWaitsForTheHostsFailingNow",
                    {10},
                    kNoGuard,
                    0,
                    {{0, TOp::Manual, "1001", {"round 1 step 1 manual: h1"}},
                     {10, TOp::Manual, "1001", {"refused: A restart is already under way"}},
                     {10, TOp::Armed, "2220", kHeldOnly}}},
        TPolicyCase{
            "RefusalsOfARoundUnderWayAreLoggedOnce",
            {10},
            kNoGuard,
            0,
            {{0, TOp::Manual, "1001", {"round 1 step 1 manual: h1"}},
             {1, TOp::Manual, "1001", {"refused: A restart is already under way"}},
             {2, TOp::Manual, "1001", {"refused: A restart is already under way (status only)"}}}},
        TPolicyCase{"ManualRequestsDuringTheHoldOffAreMerged",
                    {10},
                    {60000, 0, 86400000, false},
                    0,
                    {{0, TOp::Manual, "0000", {"round 1 step 1 manual:"}},
                     {10, TOp::Ended, "ok", kNothing},
                     {20,
                      TOp::Manual,
                      "0000",
                      {"refused: Restart refused: holding off after the last action for 59990 ms"}},
                     {30,
                      TOp::Manual,
                      "0000",
                      {"refused: Restart refused: holding off after the last action for 59980 ms "
                       "(status only)"}},
                     {60010, TOp::Manual, "0000", {"round 2 step 1 manual:"}}}},
        // A manual round while every host answers says nothing about an
        // outage: it leaves the count as it is, so requests cannot go past
        // MaxRounds by curing nothing.
        TPolicyCase{"ManualRoundsCountAgainstMaxRounds",
                    {10},
                    {0, 2, 3600000, false},
                    0,
                    {{0, TOp::Manual, "0000", {"round 1 step 1 manual:"}},
                     {10, TOp::Ended, "ok", kNothing},
                     {20, TOp::Manual, "0000", {"round 2 step 1 manual:"}},
                     {30, TOp::Ended, "ok", kNothing},
                     {40,
                      TOp::Manual,
                      "0000",
                      {"paused: Restarts paused, 2 rounds within 1 h",
                       "refused: Restart refused: restarts paused, 2 rounds within 1 h for "
                       "3599960 ms (status only)"}},
                     {50,
                      TOp::Manual,
                      "0000",
                      {"refused: Restart refused: restarts paused, 2 rounds within 1 h for "
                       "3599950 ms (status only)"}},
                     {60, TOp::Armed, "2220", kHeldOnly}}},
        TPolicyCase{"RoundWithNobodyToWaitForEndsWithItsStep",
                    {10, 10},
                    kNoGuard,
                    0,
                    {{0, TOp::Manual, "0000", {"round 1 step 1 manual:"}},
                     {10, TOp::Ended, "ok", kNothing},
                     {20, TOp::Manual, "0000", {"round 2 step 1 manual:"}}}}),
    [](const testing::TestParamInfo<TPolicyCase>& param) { return std::string(param.param.Name); });

std::vector<TStartStep> Steps(const TRoundDecisions& decisions) {
    std::vector<TStartStep> steps;
    for (const TRoundDecision& decision : decisions) {
        if (const auto* step = std::get_if<TStartStep>(&decision)) {
            steps.push_back(*step);
        }
    }
    return steps;
}

// What the state of the site shows: the step, what follows it and when, the
// guard's pause and hold-off.
TEST(RecoveryPolicyStatus, SaysWhereTheRoundStands) {
    test::TManualClock clock;
    TRecoverySettings settings;
    settings.Actions.resize(2);
    settings.Actions[0].VerifyMs = 40000;
    settings.Actions[1].VerifyMs = 10000;
    settings.Guard = {60000, 1, 3600000, false};
    TRecoveryPolicy policy(settings, clock);
    TRoundView view;
    view.MaxTimeouts = 1;
    view.Hosts[0] = {true, 1, "h1"};
    view.SessionFree = true;
    EXPECT_FALSE(policy.Status().Active);
    ASSERT_EQ(Steps(policy.Begin(TRoundTrigger::Manual, view)).size(), 1U);
    view.SessionFree = false;
    policy.StepEnded(Outcome(true, "Reset OK"), view);
    clock.Tick += 15000;
    TRoundStatus verifying{true, 1, 1, 0, true, true, 25000, 3585000, 45000};
    EXPECT_EQ(policy.Status(), verifying);

    clock.Tick += 25000;
    view.SessionFree = true;
    ASSERT_EQ(Steps(policy.PingReport(0, false, view)).size(), 1U); // the second step
    view.SessionFree = false;
    policy.StepEnded(Outcome(true, "Reset OK"), view);
    clock.Tick += 10000;
    policy.PingReport(0, false, view); // uncured: the round ends
    const TRoundStatus ended = policy.Status();
    EXPECT_FALSE(ended.Active);
    EXPECT_EQ(ended.PausedForMs, 3600000U - 50000U);
    EXPECT_EQ(ended.HoldOffForMs, 50000U);
}

TEST(RecoveryPolicyEdits, WaitForTheRoundUnderWayToEnd) {
    test::TManualClock clock;
    TRecoverySettings settings;
    settings.Actions.resize(2);
    settings.Actions[0].VerifyMs = 10000;
    settings.Guard = kNoGuard;
    TRecoveryPolicy policy(settings, clock);
    TRoundView view;
    view.MaxTimeouts = 1;
    view.Hosts[0] = {true, 1, "h1"};
    view.SessionFree = true;
    ASSERT_EQ(Steps(policy.Begin(TRoundTrigger::Manual, view)).size(), 1U);
    view.SessionFree = false;
    EXPECT_TRUE(Steps(policy.StepEnded(Outcome(true, "Reset OK"), view)).empty());

    settings.Actions[0].VerifyMs = 1000;
    policy.Reconfigure(settings);
    view.SessionFree = true;
    clock.Tick += 1000;
    EXPECT_TRUE(Steps(policy.PingReport(0, false, view)).empty()); // the round keeps its 10 s
    EXPECT_TRUE(Steps(policy.PingReport(0, true, view)).empty());  // cured: the edits take over

    const std::vector<TStartStep> second = Steps(policy.Begin(TRoundTrigger::Manual, view));
    ASSERT_EQ(second.size(), 1U);
    EXPECT_EQ(second[0].Event.Round, 2); // the count goes on
    view.SessionFree = false;
    policy.StepEnded(Outcome(true, "Reset OK"), view);
    view.SessionFree = true;
    clock.Tick += 1000;
    const std::vector<TStartStep> next = Steps(policy.PingReport(0, false, view));
    ASSERT_EQ(next.size(), 1U);
    EXPECT_EQ(next[0].Step, 1U);
}

// What the policy keeps on disk, and what it does with it after a restart.
class RecoveryPolicyMemory : public testing::Test {
protected:
    static TRecoverySettings Settings(TGuardConfig guard) {
        TRecoverySettings settings;
        settings.Actions.resize(1);
        settings.Guard = guard;
        return settings;
    }
    static TRoundView Down() {
        TRoundView view;
        view.MaxTimeouts = 1;
        view.Hosts[0] = {true, 1, "h1"};
        view.SessionFree = true;
        return view;
    }
    static std::vector<TGuardMemory> Kept(const TRoundDecisions& decisions) {
        std::vector<TGuardMemory> kept;
        for (const TRoundDecision& decision : decisions) {
            if (const auto* keep = std::get_if<TKeepGuardMemory>(&decision)) {
                kept.push_back(keep->Memory);
            }
        }
        return kept;
    }

    test::TManualClock Clock;
};

TEST_F(RecoveryPolicyMemory, KeepsTheRoundBeforeItsStepStartsAndTheHoldOffAfter) {
    TRecoveryPolicy policy(Settings({60000, 6, 86400000, true}), Clock);
    const TRoundDecisions begun = policy.RestartRuleArmed(Down());
    ASSERT_EQ(begun.size(), 4U);
    ASSERT_TRUE(std::holds_alternative<TKeepGuardMemory>(begun[1]));
    EXPECT_TRUE(std::holds_alternative<TStartStep>(begun[2]));
    EXPECT_EQ(std::get<TKeepGuardMemory>(begun[1]).Memory, (TGuardMemory{{0}, false, 0, 0, 0}));

    Clock.Tick += 500;
    TRoundView view = Down();
    view.SessionFree = false;
    // Uncured (no verify time): the back-off doubles the hold-off under way.
    EXPECT_EQ(Kept(policy.StepEnded(Outcome(false, "failed"), view)),
              (std::vector<TGuardMemory>{{{500}, true, 0, 120000, 1}}));
    Clock.Tick += 500;
    EXPECT_TRUE(Kept(policy.PingReport(0, false, Down())).empty()); // only time passed
}

TEST_F(RecoveryPolicyMemory, RestoredRoundsAndHoldOffHoldAfterARestart) {
    TRecoveryPolicy policy(Settings({60000, 3, 86400000, false}), Clock);
    policy.Restore({{3000000, 1000}, true, 1000, 60000, 0});
    // Within the hold-off the failures are forgotten.
    EXPECT_EQ(policy.RestartRuleArmed(Down()), (TRoundDecisions{TForgetFailures{}}));
    Clock.Tick += 59000;
    EXPECT_EQ(policy.RestartRuleArmed(Down()).size(), 4U); // the third round
    TRoundView view = Down();
    view.SessionFree = false;
    policy.StepEnded(Outcome(false, "failed"), view);
    Clock.Tick += 60000;
    // Three rounds within the window, though this run began only one.
    const TRoundDecisions paused = policy.RestartRuleArmed(Down());
    ASSERT_EQ(paused.size(), 2U);
    EXPECT_EQ(std::get<TShowGuardChange>(paused[0]).Text, "Restarts paused, 3 rounds within 24 h");
}

TEST_F(RecoveryPolicyMemory, EditsKeepWhatTheGuardRemembers) {
    TRecoverySettings settings = Settings({0, 1, 86400000, false});
    TRecoveryPolicy policy(settings, Clock);
    policy.Restore({{1000}, false, 0, 0, 0});
    settings.Guard.WindowMs = 3600000;
    policy.Reconfigure(settings);
    const TRoundDecisions decisions = policy.Begin(TRoundTrigger::Manual, Down());
    ASSERT_EQ(decisions.size(), 2U);
    EXPECT_EQ(std::get<TRefuseRequest>(decisions[1]).Text,
              "Restart refused: restarts paused, 1 round within 1 h");
    EXPECT_EQ(std::get<TRefuseRequest>(decisions[1]).ForMs, 3599000U);
}

} // namespace
} // namespace pingvard
