// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/program_action.h"
#include "tests/recovery/recovery_test_support.h"

#include <gtest/gtest.h>
#include <thread>

namespace pingvard {
namespace {

TActionConfig Program(std::string program, std::vector<std::string> args, int32_t limitMs = 5000) {
    TActionConfig config;
    config.Name = "script";
    config.Kind = TActionKind::Program;
    config.TimeLimitMs = limitMs;
    config.Program.Program = std::move(program);
    config.Program.Args = std::move(args);
    return config;
}

struct TProgramCase {
    const char* Name;
    TActionConfig Config;
    bool Ok;
    std::string Status;
};

class ProgramActionOutcome : public testing::TestWithParam<TProgramCase> {};

TEST_P(ProgramActionOutcome, NamesHowTheProgramEnded) {
    const TProgramCase& c = GetParam();
    TProgramAction action(c.Config);
    test::TKeptReport report;
    const TRecoveryOutcome outcome = action.Run(report);
    EXPECT_EQ(outcome.Ok, c.Ok);
    EXPECT_EQ(outcome.Status, c.Status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramActionOutcome,
    testing::Values(TProgramCase{"ExitZero", Program("/bin/sh", {"-c", "exit 0"}), true,
                                 "Program OK (script)"},
                    TProgramCase{"ExitThree", Program("/bin/sh", {"-c", "exit 3"}), false,
                                 "Unable to run script, exit status 3"},
                    TProgramCase{"HungAtItsLimit", Program("/bin/sleep", {"30"}, 300), false,
                                 "Unable to run script, time limit of 300 ms reached"},
                    TProgramCase{"Missing", Program("/nonexistent/power-cycle", {}), false,
                                 "Unable to run script, cannot start: No such file or directory"},
                    TProgramCase{"RefusedSettings",
                                 [] {
                                     TActionConfig config = Program("/bin/true", {});
                                     config.Problem = "no program set";
                                     return config;
                                 }(),
                                 false, "Unable to run script, no program set"}),
    [](const testing::TestParamInfo<TProgramCase>& param) {
        return std::string(param.param.Name);
    });

TEST(ProgramAction, PassesEachArgumentAsItIsWithoutAShell) {
    const test::TScratchDir dir;
    const std::string marker = dir / "touched";
    const std::string tricky = "$(touch " + marker + "); `touch " + marker + "` * | >x";
    TProgramAction action(Program("/usr/bin/printf", {"[%s]", tricky}));
    test::TKeptReport report;
    ASSERT_TRUE(action.Run(report).Ok);
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_NE(std::find(report.Entries.begin(), report.Entries.end(), "< [" + tricky + "]"),
              report.Entries.end())
        << report.All();
}

TEST(ProgramAction, HandsTheEventOverInTheEnvironment) {
    TProgramAction action(Program(
        "/bin/sh", {"-c", "printf '%s|%s|%s|%s|%s' \"$PINGVARD_ACTION\" \"$PINGVARD_EVENT\" "
                          "\"$PINGVARD_ROUND\" \"$PINGVARD_STEP\" \"$PINGVARD_HOSTS_DOWN\""}));
    TRecoveryEvent event;
    event.Reason = "rule";
    event.Round = 2;
    event.Step = 3;
    event.HostsDown = {"192.0.2.10", "198.51.100.20"};
    action.SetEvent(event);
    test::TKeptReport report;
    ASSERT_TRUE(action.Run(report).Ok);
    EXPECT_EQ(report.Entries.at(1), "< script|rule|2|3|192.0.2.10 198.51.100.20");
}

TEST(ProgramAction, AbortEndsAHungProgramPromptly) {
    TProgramAction action(Program("/bin/sleep", {"30"}, 60000));
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        action.Abort();
    });
    const auto start = std::chrono::steady_clock::now();
    TNullActionReport report;
    const TRecoveryOutcome outcome = action.Run(report);
    aborter.join();
    EXPECT_EQ(outcome.Status, "Unable to run script, aborted");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace
} // namespace pingvard
