// SPDX-License-Identifier: GPL-3.0-or-later
#include "fake_front_end.h"
#include "monitor/reset_outcomes.h"
#include "recovery/telnet_action.h"
#include "tests/config/config_test_support.h"
#include "tests/config/temp_dir.h"

#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace pingvard {
namespace {

struct TOutcomeCase {
    const char* Name;
    std::function<void(TMonitorFrontEnd&, TEventLog&)> Run;
    int TrayBefore;
    std::string Status;  // exact, or the prefix when it ends in '*'
    std::string LogText; // "" = no log line
    std::vector<std::string> CallsAfterStatus;
};

class OutcomeOperation : public ::testing::TestWithParam<TOutcomeCase> {};

TEST_P(OutcomeOperation, RunsItsStepsInOrder) {
    const TOutcomeCase& c = GetParam();
    test::TTempCurrentDir dir;
    test::TFakeFrontEnd fe;
    fe.Tray = c.TrayBefore;
    bool logWrittenBeforeTray = false;
    fe.OnTray = [&] { logWrittenBeforeTray = dir.Exists("pingvard.log"); };
    TEventLog eventLog;
    c.Run(fe, eventLog);

    ASSERT_FALSE(fe.Calls.empty());
    const std::string status = fe.Calls.front().substr(7);
    if (c.Status.ends_with('*')) {
        EXPECT_TRUE(status.starts_with(c.Status.substr(0, c.Status.size() - 1))) << status;
        EXPECT_GT(status.size(), c.Status.size());
    } else {
        EXPECT_EQ(status, c.Status);
    }
    EXPECT_EQ(std::vector<std::string>(fe.Calls.begin() + 1, fe.Calls.end()), c.CallsAfterStatus);
    if (c.LogText.empty()) {
        EXPECT_FALSE(dir.Exists("pingvard.log"));
    } else {
        const std::string log = dir.Read("pingvard.log");
        EXPECT_TRUE(log.ends_with(": " + c.LogText + "\r\n")) << log;
        EXPECT_EQ(log.find("\r\n"), log.size() - 2); // exactly one line
        EXPECT_TRUE(logWrittenBeforeTray);
    }
}

const std::vector<std::string> kTray2{"tray:2", "icon"};

INSTANTIATE_TEST_SUITE_P(
    Outcomes, OutcomeOperation,
    ::testing::Values(
        TOutcomeCase{"StartingFromNormal",
                     [](auto& fe, auto&) { ShowResetStarting(fe); },
                     0,
                     "Trying to reset...",
                     "",
                     {"tray:1", "icon"}},
        TOutcomeCase{"StartingKeepsFailureImage",
                     [](auto& fe, auto&) { ShowResetStarting(fe); },
                     2,
                     "Trying to reset...",
                     "",
                     {}},
        TOutcomeCase{"StartingWhileStarting",
                     [](auto& fe, auto&) { ShowResetStarting(fe); },
                     1,
                     "Trying to reset...",
                     "",
                     {}},
        TOutcomeCase{"ConnectFailed",
                     [](auto& fe, auto& log) {
                         ShowResetOutcome(fe, log, TelnetConnectFailed("ap.example"));
                     },
                     1, "Unable to reset, cannot connect to ap.example",
                     "Unable to reset, cannot connect to ap.example", kTray2},
        TOutcomeCase{
            "ConnectFailedEmptyHost",
            [](auto& fe, auto& log) { ShowResetOutcome(fe, log, TelnetConnectFailed("")); }, 0,
            "Unable to reset, cannot connect to ", "Unable to reset, cannot connect to ", kTray2},
        TOutcomeCase{"ResetOk",
                     [](auto& fe, auto& log) { ShowResetOutcome(fe, log, TelnetResetOk()); },
                     2,
                     "Reset OK - *",
                     "Reset OK",
                     {"tray:0", "icon"}},
        TOutcomeCase{"FailedSecondStep",
                     [](auto& fe, auto& log) { ShowResetOutcome(fe, log, TelnetFailedStep(1)); }, 1,
                     "Unable to reset, invalid response in step #2",
                     "Unable to reset, invalid response in step #2", kTray2},
        TOutcomeCase{
            "FailedLastPossibleStep",
            [](auto& fe, auto& log) { ShowResetOutcome(fe, log, TelnetFailedStep(2147483647)); }, 0,
            "Unable to reset, invalid response in step #2147483648",
            "Unable to reset, invalid response in step #2147483648", kTray2}),
    [](const auto& param) { return std::string(param.param.Name); });

TEST(ShowLogged, ALogThatStopsTakingLinesIsSaidOnTheStatusLineAndReportedOnce) {
    if (const auto reason = test::MountNamespaceUnavailableReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    test::TTempCurrentDir dir;
    const auto failure = test::RunWithSmallFileSystem(dir.Path().string(), 64 * 1024, [] {
        test::FillAfterAPartPageLog();
        test::TFakeFrontEnd fe;
        TEventLog log;
        ShowLogged(fe, log, "Reset OK - 9.12.2026", "Reset OK");
        ShowLogged(fe, log, "Reset OK - 9.12.2026", "Reset OK");
        std::remove("filler");
        ShowLogged(fe, log, "Reset OK - 9.12.2026", "Reset OK");
        const std::string note = "pingvard.log cannot be written (No space left on device); its "
                                 "lines are lost until it can";
        const std::vector<std::string> expected = {"status:Reset OK - 9.12.2026",
                                                   "status:Reset OK - 9.12.2026; " + note,
                                                   "problem:" + note,
                                                   "status:Reset OK - 9.12.2026",
                                                   "status:Reset OK - 9.12.2026",
                                                   "problem:pingvard.log is written again"};
        std::string calls;
        for (const std::string& call : fe.Calls) {
            calls += call + "\n";
        }
        return fe.Calls == expected ? std::string{} : calls;
    });
    EXPECT_EQ(failure, "");
}

} // namespace
} // namespace pingvard
