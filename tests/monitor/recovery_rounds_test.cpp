// SPDX-License-Identifier: GPL-3.0-or-later
#include "host_monitor_fixture.h"
#include "logs/event_log.h"
#include "tests/net/fake_clock.h"

#include <array>
#include <condition_variable>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace pingvard {
namespace {

// Stands for any action kind: records its runs, succeeds or fails as told, and
// may hang until aborted.
struct TActionScript {
    std::mutex Mutex;
    std::condition_variable Aborted;
    std::vector<std::string> Runs; // "name:reason:round:step"
    std::vector<std::string> Failing;
    std::vector<std::string> Throwing;
    bool Hang = false;
    bool WasAborted = false;
};

class TScriptedAction final : public TRecoveryAction {
public:
    TScriptedAction(std::string name, TActionScript& script)
        : m_name(std::move(name)), m_script(script) {}
    const std::string& Name() const override { return m_name; }
    std::string_view Kind() const override { return "program"; }
    void SetEvent(const TRecoveryEvent& event) override { m_event = event; }
    TRecoveryOutcome Run(TActionReport&) override {
        std::unique_lock lock(m_script.Mutex);
        m_script.Runs.push_back(m_name + ":" + m_event.Reason + ":" +
                                std::to_string(m_event.Round) + ":" + std::to_string(m_event.Step));
        if (m_script.Hang) {
            m_script.Aborted.wait(lock, [this] { return m_script.WasAborted; });
            return Outcome(false, "Unable to run " + m_name + ", aborted");
        }
        if (std::find(m_script.Throwing.begin(), m_script.Throwing.end(), m_name) !=
            m_script.Throwing.end()) {
            throw std::runtime_error("boom");
        }
        const bool ok = std::find(m_script.Failing.begin(), m_script.Failing.end(), m_name) ==
                        m_script.Failing.end();
        return Outcome(ok, ok ? "Program OK (" + m_name + ")"
                              : "Unable to run " + m_name + ", exit status 1");
    }
    void Abort() noexcept override {
        std::lock_guard lock(m_script.Mutex);
        m_script.WasAborted = true;
        m_script.Aborted.notify_all();
    }

private:
    std::string m_name;
    TActionScript& m_script;
    TRecoveryEvent m_event;
};

// Slots 1-3 marked, MaxTimeouts 2, workers that never report on their own:
// the test makes every report. Without a [Guard] of the test's own, the
// guard is off (HoldOff=0, MaxRounds=0), so rounds follow each other at once.
std::string RoundsIni(const std::string& recovery) {
    std::string ini = test::LoopbackIni(2, 600000) + recovery;
    if (recovery.find("[Guard]") == std::string::npos) {
        ini += "[Guard]\r\nHoldOff=0\r\nMaxRounds=0\r\n";
    }
    for (const char* name : {"first", "second"}) {
        ini += std::string("[Action.") + name +
               "]\r\nKind=program\r\nProgram=/bin/true\r\nVerify=10\r\n";
    }
    return ini;
}

class RecoveryRounds : public test::THostMonitorFixture {
protected:
    void StartWith(const std::string& recovery) {
        TMonitorOptions options = Options("1");
        options.Clock = &Clock;
        options.ActionFactory = [this](const TActionConfig& config) {
            return std::make_unique<TScriptedAction>(config.Name, Script);
        };
        options.Clocks = [this] { return Wall; };
        Start(RoundsIni(recovery), std::move(options));
    }
    void Report(int32_t ms, int slots = 3) {
        for (int slot = 0; slot < slots; ++slot) {
            Monitor->ReportPing(slot, ms);
        }
    }
    // The hosts stay down long enough for the rule, and the step that starts
    // runs to its end.
    void FailUntilStepEnds(int slots = 3) {
        for (int slot = 0; slot < 3; ++slot) {
            Monitor->PingObj(slot).Failures = 0; // each call counts afresh
        }
        Report(-1, slots);
        Report(-1, slots);
        ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
        Report(-1, slots); // a pending step starts, or a verify time is checked
        ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    }
    void Pass(uint32_t ms) { Clock.Tick += ms; }
    std::vector<std::string> Runs() {
        std::lock_guard lock(Script.Mutex);
        return Script.Runs;
    }
    std::string Log() {
        std::ifstream in(EventLogFileName());
        return {std::istreambuf_iterator<char>(in), {}};
    }

    test::TManualClock Clock;
    TClockReading Wall{1767225600000, 5000, "boot"};
    TActionScript Script;
};

const char* const kTwoActions = "[Recovery]\r\nActions=first,second\r\n";

TEST_F(RecoveryRounds, FailedActionHandsOverToTheNextAtOnce) {
    Script.Failing = {"first"};
    StartWith(kTwoActions);
    FailUntilStepEnds();
    EXPECT_EQ(Runs(), (std::vector<std::string>{"first:rule:1:1", "second:rule:1:2"}));
    EXPECT_EQ(Fe.Status.rfind("Program OK (second)", 0), 0U);
}

TEST_F(RecoveryRounds, NextActionRunsOnlyWhenTheHostsStayDownPastTheVerifyTime) {
    StartWith(kTwoActions);
    FailUntilStepEnds();
    ASSERT_EQ(Runs().size(), 1U);
    Pass(9999);
    Report(-1);
    EXPECT_EQ(Runs().size(), 1U);
    Pass(1);
    Report(-1);
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    EXPECT_EQ(Runs(), (std::vector<std::string>{"first:rule:1:1", "second:rule:1:2"}));
}

TEST_F(RecoveryRounds, HostsBackWithinTheVerifyTimeEndTheRound) {
    StartWith(kTwoActions);
    FailUntilStepEnds();
    Report(7);
    Pass(20000);
    Report(-1);
    EXPECT_EQ(Runs(), (std::vector<std::string>{"first:rule:1:1"}));
}

TEST_F(RecoveryRounds, QuorumActsOnFewerFailedHosts) {
    StartWith(std::string(kTwoActions) + "Quorum=1\r\n");
    Monitor->ReportPing(1, 7);
    Monitor->ReportPing(2, 7);
    Monitor->ReportPing(0, -1);
    EXPECT_TRUE(Runs().empty());
    Monitor->ReportPing(0, -1);
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    EXPECT_EQ(Runs(), (std::vector<std::string>{"first:rule:1:1"}));
}

TEST_F(RecoveryRounds, FailuresDuringTheHoldOffDoNotCount) {
    StartWith(std::string(kTwoActions) + "[Guard]\r\nHoldOff=60\r\nMaxRounds=0\r\nBackOff=0\r\n");
    Script.Failing = {"first", "second"};
    FailUntilStepEnds(); // both fail: the round ends uncured
    ASSERT_EQ(Runs().size(), 2U);
    Pass(59000);
    for (int i = 0; i < 5; ++i) {
        Report(-1);
    }
    EXPECT_EQ(Runs().size(), 2U);
    Pass(1000);
    FailUntilStepEnds();
    EXPECT_EQ(Runs().size(), 4U);
}

TEST_F(RecoveryRounds, GuardPausesAfterMaxRoundsAndResumesWhenTheWindowAllows) {
    StartWith(std::string("[Recovery]\r\nActions=first\r\n") +
              "[Guard]\r\nHoldOff=0\r\nMaxRounds=2\r\nWindow=3600\r\n");
    Script.Failing = {"first"};
    FailUntilStepEnds();
    FailUntilStepEnds();
    FailUntilStepEnds(); // refused
    FailUntilStepEnds(); // refused again, said once
    EXPECT_EQ(Runs().size(), 2U);
    EXPECT_EQ(Fe.Status, "Restarts paused, 2 rounds within 1 h");
    Pass(3600000);
    Monitor->ReportPing(3, 7); // an unmarked host: time passes, the outage goes on
    EXPECT_EQ(Fe.Status, "Restarts resumed");
    FailUntilStepEnds();
    EXPECT_EQ(Runs().size(), 3U);
    const std::string log = Log();
    EXPECT_EQ(log.find("Restarts paused"), log.rfind("Restarts paused"));
    EXPECT_NE(log.find("Restarts resumed"), std::string::npos);
}

TEST_F(RecoveryRounds, HostsBackEndThePause) {
    StartWith(std::string("[Recovery]\r\nActions=first\r\n") +
              "[Guard]\r\nHoldOff=0\r\nMaxRounds=1\r\n");
    Script.Failing = {"first"};
    FailUntilStepEnds();
    FailUntilStepEnds();
    EXPECT_EQ(Fe.Status, "Restarts paused, 1 round within 24 h");
    Report(7);
    EXPECT_EQ(Fe.Status, "Restarts resumed");
    FailUntilStepEnds();
    EXPECT_EQ(Runs().size(), 2U);
}

// Killed and started again during an outage nothing cures: the rounds of the
// run before count, so MaxRounds holds across any number of restarts.
TEST_F(RecoveryRounds, GuardRemembersItsRoundsAcrossARestart) {
    const std::string guard = "[Guard]\r\nHoldOff=0\r\nMaxRounds=2\r\nWindow=3600\r\n";
    StartWith(std::string("[Recovery]\r\nActions=first\r\n") + guard);
    Script.Failing = {"first"};
    FailUntilStepEnds();
    ASSERT_EQ(Runs().size(), 1U);
    for (int restart = 0; restart < 3; ++restart) {
        Monitor.reset();         // as good as a kill: the round was on disk before its step ran
        Clock.Tick += 123456789; // another run, another tick
        Wall.WallMs += 60000;
        Wall.BootMs += 60000;
        StartWith(std::string("[Recovery]\r\nActions=first\r\n") + guard);
        FailUntilStepEnds();
    }
    EXPECT_EQ(Runs().size(), 2U);
    EXPECT_EQ(Fe.Status, "Restarts paused, 2 rounds within 1 h");
    Wall.WallMs += 3600000;
    Wall.BootMs += 3600000;
    Monitor.reset();
    StartWith(std::string("[Recovery]\r\nActions=first\r\n") + guard);
    FailUntilStepEnds(); // the first round has left the window
    EXPECT_EQ(Runs().size(), 3U);
}

TEST_F(RecoveryRounds, RestartNowRunsTheFirstActionWhileTheHostsAnswer) {
    StartWith(kTwoActions);
    Report(7);
    Monitor->RestartNow();
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    Pass(20000);
    Report(7);
    EXPECT_EQ(Runs(), (std::vector<std::string>{"first:manual:1:1"}));
}

TEST_F(RecoveryRounds, EditedSettingsWaitForTheRoundUnderWayToEnd) {
    StartWith(kTwoActions);
    FailUntilStepEnds();
    TSettings edited = Monitor->Settings();
    edited.Recovery.Actions[0].VerifyMs = 1000;
    std::array<std::string, kSlotCount> addresses;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        addresses[static_cast<std::size_t>(slot)] = Monitor->PingObj(slot).IP;
    }
    Monitor->ApplySettings(edited, addresses);
    Pass(1000);
    Report(-1);
    EXPECT_EQ(Runs().size(), 1U); // the round keeps its 10 s
    Report(7);                    // cured: the edits take over
    FailUntilStepEnds();
    Pass(1000);
    Report(-1);
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    EXPECT_EQ(Runs(),
              (std::vector<std::string>{"first:rule:1:1", "first:rule:2:1", "second:rule:2:2"}));
}

// The dialog replaces the list of actions while a round runs: the round
// goes on with the actions it began with, the next round takes the new list.
TEST_F(RecoveryRounds, ARoundUnderWayKeepsTheActionsItBeganWith) {
    Script.Failing = {"first"};
    StartWith(kTwoActions);
    Report(-1);
    Report(-1); // the rule fires: "first" runs
    TSettings edited = Monitor->Settings();
    TActionConfig third = edited.Recovery.Actions[1];
    third.Name = "third";
    edited.Recovery.Actions = {third};
    std::array<std::string, kSlotCount> addresses;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        addresses[static_cast<std::size_t>(slot)] = Monitor->PingObj(slot).IP;
    }
    Monitor->ApplySettings(edited, addresses);
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    Report(-1); // "first" failed: the round's own second step
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    Report(7); // cured: the edits take over
    FailUntilStepEnds();
    EXPECT_EQ(Runs(),
              (std::vector<std::string>{"first:rule:1:1", "second:rule:1:2", "third:rule:2:1"}));
}

// However a step's action ends, the step ends: the token comes back and the
// round goes on with the next action.
TEST_F(RecoveryRounds, AThrowingActionEndsItsStepAsAFailure) {
    Script.Throwing = {"first"};
    StartWith(kTwoActions);
    FailUntilStepEnds();
    EXPECT_EQ(Runs(), (std::vector<std::string>{"first:rule:1:1", "second:rule:1:2"}));
    EXPECT_NE(Log().find(": Unable to reset, internal error in first: boom\r\n"), std::string::npos)
        << Log();
    EXPECT_FALSE(Monitor->ResetSessionRunning());
}

TEST_F(RecoveryRounds, AnActionPastItsTimeLimitEndsItsStepAsAFailure) {
    Script.Hang = true;
    StartWith(kTwoActions);
    Report(-1);
    Report(-1);
    ASSERT_TRUE(ServeUntil([&] { return Runs().size() == 1; })); // running, and hanging
    Pass(60000 + TThReset::kOverdueGraceMs - 1);
    Report(-1);
    EXPECT_TRUE(Monitor->ResetSessionRunning());
    Pass(1);
    Report(-1); // overdue: a failure, and the next action starts at once
    EXPECT_NE(Log().find("internal error in first: no result 5 s after its time limit of 60 s"),
              std::string::npos)
        << Log();
    EXPECT_TRUE(Script.WasAborted);
    ASSERT_TRUE(ServeUntil([&] { return Runs().size() == 2; }));
    EXPECT_EQ(Runs()[1], "second:rule:1:2");
}

TEST_F(RecoveryRounds, ShutdownAbortsARunningAction) {
    Script.Hang = true;
    StartWith(kTwoActions);
    Report(-1);
    Report(-1);
    ASSERT_TRUE(Monitor->ResetSessionRunning());
    EXPECT_LT(ShutDown(), THostMonitor::kSessionStopWaitMs);
    EXPECT_TRUE(Script.WasAborted);
}

} // namespace
} // namespace pingvard
