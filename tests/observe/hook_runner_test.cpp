// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/hook_runner.h"
#include "tests/config/config_test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace pingvard {
namespace {

using test::FileExists;
using test::ReadFileText;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
const auto kT0 = std::chrono::system_clock::time_point(std::chrono::seconds(1'796'000'400));

TMonitorEvent Event(TMonitorEventKind kind, int slot = -1, std::chrono::seconds at = 0s) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Time = kT0 + at;
    e.Slot = slot;
    if (slot >= 0) {
        e.Host = "192.0.2." + std::to_string(slot + 1);
        e.DisplayName = "Site " + std::to_string(slot + 1);
    }
    return e;
}

TMonitorEvent EchoOf(int slot, std::optional<int64_t> us) {
    TMonitorEvent e = Event(TMonitorEventKind::Echo, slot);
    e.RoundTripUs = us;
    return e;
}

class Reports {
public:
    TReportFn Fn() {
        return [this](const std::string& line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        };
    }
    std::vector<std::string> Lines() {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

THookConfig ShellHook(const std::string& script, const std::string& arg, int32_t limitMs = 5000) {
    THookConfig hook;
    hook.Name = "test";
    hook.Program = "/bin/sh";
    hook.Args = {"-c", script, arg};
    hook.TimeLimitMs = limitMs;
    return hook;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

class HookRunner : public test::TempDirTest {};

TEST_F(HookRunner, HookReceivesTheDocumentedVariablesAndNoSecret) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::setenv("NOTIFY_SOCKET", "/run/systemd/notify", 1);
    ::setenv("PINGVARD_HOST", "inherited", 1);
    Reports reports;
    THookConfig hook =
        ShellHook("env | grep -E '^(PINGVARD_|NOTIFY_SOCKET)' | LC_ALL=C sort > \"$0/.new\" && "
                  "mv \"$0/.new\" \"$0/$PINGVARD_EVENT\"",
                  m_dir.Path());
    THookRunner runner({hook}, reports.Fn(), {"kelvarno"});
    runner.Publish(EchoOf(1, 12'345));
    runner.Publish(EchoOf(1, std::nullopt));
    runner.Publish(EchoOf(1, std::nullopt));
    runner.Publish(Event(TMonitorEventKind::HostDown, 1, 10s));
    runner.Publish(EchoOf(1, 800));
    runner.Publish(Event(TMonitorEventKind::HostUp, 1, 75s));
    TMonitorEvent outcome = Event(TMonitorEventKind::ActionOutcome);
    outcome.Action = "router";
    outcome.ActionKind = "ssh";
    outcome.Text = "Unable to reboot, password kelvarno refused";
    runner.Publish(outcome);
    runner.Publish(Event(TMonitorEventKind::ActionStarted)); // not subscribed
    ASSERT_TRUE(WaitFor([&] { return FileExists(m_dir.Path() + "/action-outcome"); }));
    runner.Stop();
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("PINGVARD_HOST");
    EXPECT_EQ(ReadFileText(m_dir.Path() + "/host-down"), "NOTIFY_SOCKET=\n"
                                                         "PINGVARD_ACTION=\n"
                                                         "PINGVARD_ACTION_KIND=\n"
                                                         "PINGVARD_CAUSE=\n"
                                                         "PINGVARD_CURED_BY=\n"
                                                         "PINGVARD_DOWN_SECONDS=\n"
                                                         "PINGVARD_ECHOES=3\n"
                                                         "PINGVARD_EVENT=host-down\n"
                                                         "PINGVARD_FAILURES=2\n"
                                                         "PINGVARD_HOOK=test\n"
                                                         "PINGVARD_HOST=192.0.2.2\n"
                                                         "PINGVARD_HOST_NAME=Site 2\n"
                                                         "PINGVARD_LAST_RTT_MS=12.345\n"
                                                         "PINGVARD_LOSS_PERCENT=66\n"
                                                         "PINGVARD_LOST=2\n"
                                                         "PINGVARD_OK=\n"
                                                         "PINGVARD_SITE=\n"
                                                         "PINGVARD_SLOT=2\n"
                                                         "PINGVARD_TEXT=\n"
                                                         "PINGVARD_TIME=2026-11-30T01:00:10+00:00\n"
                                                         "PINGVARD_TIMESTAMP=1796000410\n");
    const std::string up = ReadFileText(m_dir.Path() + "/host-up");
    EXPECT_NE(up.find("PINGVARD_DOWN_SECONDS=65\nPINGVARD_ECHOES=4\n"), std::string::npos) << up;
    EXPECT_NE(up.find("PINGVARD_FAILURES=0\n"), std::string::npos) << up;
    const std::string out = ReadFileText(m_dir.Path() + "/action-outcome");
    EXPECT_NE(out.find("PINGVARD_ACTION=router\nPINGVARD_ACTION_KIND=ssh\n"), std::string::npos);
    EXPECT_NE(out.find("PINGVARD_HOST=\n"), std::string::npos) << out;
    EXPECT_NE(out.find("PINGVARD_OK=0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("PINGVARD_TEXT=Unable to reboot, password ******** refused\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(FileExists(m_dir.Path() + "/action-started"));
    EXPECT_TRUE(reports.Lines().empty());
}

// The incident's events carry the state, the cause and, at the end, what
// cured it and how long it lasted.
TEST(HookFigures, SiteEventsNameTheStateTheCauseAndTheCure) {
    auto incident = std::make_shared<TIncident>();
    incident->StartMs = 1'796'000'000'000;
    incident->EndMs = incident->StartMs + 360'000;
    incident->Cause = TSiteCause::AccessPoint;
    incident->CuredBy = "plug";
    TMonitorEvent back = Event(TMonitorEventKind::SiteBack);
    back.Incident = incident;
    back.Text = "Site back after 6 min (cured by plug)";
    TMonitorEvent state = Event(TMonitorEventKind::SiteState);
    state.Site = TSiteState::Degraded;
    THookFigures figures;
    const auto value = [&](const TMonitorEvent& event, const std::string& name) {
        for (const auto& [key, text] : figures.Environment("h", event)) {
            if (key == name) {
                return text;
            }
        }
        return std::string("(unset)");
    };
    EXPECT_EQ(value(back, "PINGVARD_EVENT"), "site-back");
    EXPECT_EQ(value(back, "PINGVARD_SITE"), "up");
    EXPECT_EQ(value(back, "PINGVARD_CAUSE"), "access-point");
    EXPECT_EQ(value(back, "PINGVARD_CURED_BY"), "plug");
    EXPECT_EQ(value(back, "PINGVARD_DOWN_SECONDS"), "360");
    EXPECT_EQ(value(back, "PINGVARD_TEXT"), "Site back after 6 min (cured by plug)");
    EXPECT_EQ(value(state, "PINGVARD_SITE"), "degraded");
    EXPECT_EQ(value(state, "PINGVARD_CAUSE"), "");
}

TEST_F(HookRunner, RunsOneAtATimeWithoutDelayingThePublisher) {
    Reports reports;
    const std::string log = m_dir.Path() + "/runs";
    THookRunner runner({ShellHook("echo start >> \"$0\"; sleep 0.2; echo end >> \"$0\"", log)},
                       reports.Fn());
    const auto start = Clock::now();
    for (int i = 0; i < 3; ++i) {
        runner.Publish(Event(TMonitorEventKind::RuleFired));
        for (int j = 0; j < 50; ++j) {
            runner.Publish(EchoOf(0, 1000));
        }
    }
    EXPECT_LT(Clock::now() - start, 100ms);
    ASSERT_TRUE(WaitFor([&] { return ReadFileText(log).size() >= 3 * 10; }));
    runner.Stop();
    EXPECT_EQ(ReadFileText(log), "start\nend\nstart\nend\nstart\nend\n");
}

TEST_F(HookRunner, EachFailedRunIsReportedOnceWithItsReason) {
    Reports reports;
    THookRunner runner({ShellHook("echo first; echo \"no route to $0\"; exit 3", "pager")},
                       reports.Fn());
    for (int i = 0; i < 2; ++i) {
        runner.Publish(Event(TMonitorEventKind::RuleFired));
        for (int j = 0; j < 20; ++j) {
            runner.Publish(EchoOf(0, std::nullopt)); // echoes never run or report a hook
        }
    }
    ASSERT_TRUE(WaitFor([&] { return reports.Lines().size() >= 2; }));
    runner.Stop();
    EXPECT_EQ(reports.Lines(),
              std::vector<std::string>(
                  2, "Hook test failed on rule-fired: exit status 3 (no route to pager)"));
}

TEST_F(HookRunner, TimeLimitEndsAHookAndStopEndsItAtOnce) {
    Reports reports;
    THookRunner runner({ShellHook("sleep 30", "", 200)}, reports.Fn());
    runner.Publish(Event(TMonitorEventKind::RuleFired));
    ASSERT_TRUE(WaitFor([&] { return !reports.Lines().empty(); }));
    EXPECT_EQ(reports.Lines()[0], "Hook test failed on rule-fired: time limit of 200 ms reached");

    THookRunner slow({ShellHook("sleep 30", "", 60'000)}, reports.Fn());
    slow.Publish(Event(TMonitorEventKind::RuleFired));
    slow.Publish(Event(TMonitorEventKind::RuleFired));
    std::this_thread::sleep_for(100ms);
    const auto start = Clock::now();
    slow.Stop();
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_EQ(reports.Lines().size(), 1u); // an aborted run is no failure
}

TEST_F(HookRunner, AHookThatCannotStartIsReportedOnceUntilItStartsAgain) {
    Reports reports;
    const std::string program = m_dir.Path() + "/page-me";
    THookConfig hook;
    hook.Name = "pager";
    hook.Program = program;
    THookRunner runner({hook}, reports.Fn());
    const auto fire = [&](int times) {
        for (int i = 0; i < times; ++i) {
            runner.Publish(Event(TMonitorEventKind::RuleFired));
        }
        // An action outcome after them: its run is the sign that they ran.
        runner.Publish(Event(TMonitorEventKind::ActionOutcome));
    };
    const std::string cannot = "Hook pager failed on rule-fired: cannot start: No such file or "
                               "directory";
    fire(3);
    ASSERT_TRUE(WaitFor([&] { return !reports.Lines().empty(); }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(reports.Lines(), std::vector<std::string>{cannot});

    test::WriteFileText(program, "#!/bin/sh\necho \"$PINGVARD_EVENT\" >> \"$0.runs\"\n");
    ::chmod(program.c_str(), 0755);
    fire(1);
    ASSERT_TRUE(
        WaitFor([&] { return ReadFileText(program + ".runs") == "rule-fired\naction-outcome\n"; }));
    std::remove(program.c_str());
    fire(2);
    ASSERT_TRUE(WaitFor([&] { return reports.Lines().size() >= 3; }));
    std::this_thread::sleep_for(200ms);
    runner.Stop();
    EXPECT_EQ(reports.Lines(),
              (std::vector<std::string>{cannot, "Hook pager starts again", cannot}));
}

} // namespace
} // namespace pingvard
