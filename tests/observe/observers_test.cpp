// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/history_reader.h"
#include "observe/observers.h"
#include "observe/program_observers.h"
#include "recovery/secret_mask.h"
#include "tests/config/config_test_support.h"

#include <gtest/gtest.h>
#include <thread>

namespace pingvard {
namespace {

class Observers : public test::TempDirTest {};

TEST_F(Observers, FeedHistoryMetricsAndHooksFromOneSinkAndFlushOnStop) {
    TObserveOptions options;
    options.ProgramDir = m_dir.Path() + "/";
    options.Settings.Metrics.Enabled = true;
    options.Settings.Metrics.Port = 0; // any free port on loopback
    options.ModuleDirs = {PINGVARD_TEST_MODULE_DIR};
    THookConfig hook;
    hook.Name = "mark";
    hook.Program = "/bin/sh";
    hook.Args = {"-c", "echo \"$PINGVARD_EVENT\" >> \"$0/hook.txt\"", m_dir.Path()};
    options.Settings.Hooks.push_back(hook);
    std::vector<std::string> reports;
    options.Report = [&](const std::string& line) { reports.push_back(line); };
    TObservers observers(options);
    const auto now = std::chrono::system_clock::now();
    for (int i = 0; i < 10; ++i) {
        TMonitorEvent echo;
        echo.Time = now + std::chrono::milliseconds(i);
        echo.Slot = 0;
        echo.Host = "192.0.2.1";
        echo.RoundTripUs = i % 2 == 0 ? std::optional<int64_t>(1000) : std::nullopt;
        observers.Sink().Publish(echo);
    }
    TMonitorEvent rule;
    rule.Kind = TMonitorEventKind::RuleFired;
    rule.Time = now;
    observers.Sink().Publish(rule);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // The shell creates the file before it writes the line; stopping in
    // between would abort the hook, so wait for the whole line.
    while (!(test::FileExists(m_dir.Path() + "/hook.txt") &&
             test::ReadFileText(m_dir.Path() + "/hook.txt") == "rule-fired\n") &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    observers.Stop(); // hooks still queued would be dropped here

    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(test::ReadFileText(m_dir.Path() + "/hook.txt"), "rule-fired\n");
    const std::string text = observers.Metrics()->Text();
    EXPECT_NE(text.find("pingvard_echoes_lost_total{host=\"192.0.2.1\",name=\"\",slot=\"1\"} 5"),
              std::string::npos)
        << text;
    THistoryReader reader(observers.HistoryFile());
    const auto nowMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    EXPECT_EQ(reader.Points("192.0.2.1", nowMs, nowMs + 1000, THistoryResolution::Raw).size(), 10u);
    EXPECT_EQ(reader.Events(nowMs, nowMs + 1000).size(), 1u);
}

// Without its module the program goes on without metrics, and says so once.
TEST_F(Observers, AMissingMetricsModuleIsOneLineAndTheRestRuns) {
    TObserveOptions options;
    options.ProgramDir = m_dir.Path() + "/";
    options.Settings.Metrics.Enabled = true;
    options.Settings.Metrics.Port = 0;
    options.ModuleDirs = {m_dir.Path() + "/lib"};
    std::vector<std::string> reports;
    options.Report = [&](const std::string& line) { reports.push_back(line); };
    TObservers observers(options);
    EXPECT_EQ(observers.Metrics(), nullptr);
    EXPECT_EQ(observers.Listeners().Port(options.Settings.Metrics.Address, 0), 0);
    EXPECT_EQ(reports, std::vector<std::string>{"Metrics not served: pingvard-metrics.so is not "
                                                "installed (looked in " +
                                                m_dir.Path() + "/lib)"});
    EXPECT_FALSE(observers.HistoryFile().empty());
}

} // namespace
} // namespace pingvard

namespace pingvard {
namespace {

// The default script with a confirmation by number, an SSH and an HTTP password.
TSettings SettingsWithSecrets() {
    TSettings s;
    s.Challenges = {"password:", "Command>", "(y/n)?", "Press 1 to confirm", "Enter Passphrase"};
    s.Answers = {"kelvarno", "reset system", "y", "1", "open sesame"};
    TActionConfig ssh;
    ssh.Kind = TActionKind::Ssh;
    ssh.Ssh.Password = "s3cr3t&x";
    s.Recovery.Actions = {ssh};
    return s;
}

struct TMaskCase {
    const char* Name;
    std::string Value;
    std::string Shown;
};

class ObserverSecrets : public testing::TestWithParam<TMaskCase> {};

TEST_P(ObserverSecrets, MaskWholeSecretsAndNoConfirmation) {
    EXPECT_EQ(MaskSecrets(GetParam().Value, TProgramObservers::Secrets(SettingsWithSecrets())),
              GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ObserverSecrets,
    testing::Values(
        TMaskCase{"ActionName", "sshkey", "sshkey"},
        TMaskCase{"OutcomeText", "Power cycle OK (plug1)", "Power cycle OK (plug1)"},
        TMaskCase{"RefusedLogin", "login refused by 127.0.0.1", "login refused by 127.0.0.1"},
        TMaskCase{"HookError", "No such file or directory", "No such file or directory"},
        TMaskCase{"CommandAnswer", "sent reset system", "sent reset system"},
        TMaskCase{"DevicePassword", "password kelvarno refused", "password ******** refused"},
        TMaskCase{"Passphrase", "said open sesame", "said ********"},
        TMaskCase{"SshPassword", "pw=s3cr3t&x", "pw=********"},
        TMaskCase{"SshPasswordInAUrl", "?password=s3cr3t%26x", "?password=********"}),
    [](const testing::TestParamInfo<TMaskCase>& p) { return std::string(p.param.Name); });

} // namespace
} // namespace pingvard
