// SPDX-License-Identifier: GPL-3.0-or-later
#include "apsim_process.h"
#include "monitor/gui_dispatcher.h"
#include "monitor/reset_thread.h"
#include "recovery/telnet_action.h"
#include "tests/config/temp_dir.h"
#include "tests/net/fake_clock.h"
#include "tests/net/loopback_peer.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace pingvard {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// The hand-offs in order: "starting", then "ok", "connect-failed" or
// "failed-step#N" after the outcome's text.
class TRecordingOutcomes : public TResetHandOff {
public:
    void SessionStarting() override { Calls.push_back("starting"); }
    void SessionEnded(const TRecoveryOutcome& outcome) override {
        const std::string failedStep = "Unable to reset, invalid response in step #";
        if (outcome.Ok && outcome.Status == "Reset OK") {
            Calls.push_back("ok");
        } else if (outcome.ConnectFailed &&
                   outcome.Status == "Unable to reset, cannot connect to 127.0.0.1") {
            Calls.push_back("connect-failed");
        } else if (!outcome.Ok && outcome.Status.starts_with(failedStep)) {
            Calls.push_back("failed-step#" + outcome.Status.substr(failedStep.size()));
        } else {
            Calls.push_back("unexpected:" + outcome.Status);
        }
    }
    std::vector<std::string> Calls;
};

// A tick clock that runs faster than real time from an arbitrary start, so the
// 60 s limit and the counter's wrap are reached in a fraction of a second.
class TFastClock : public TTickClock {
public:
    TFastClock(uint32_t start, uint32_t speed) : m_start(start), m_speed(speed) {}
    uint32_t Now() const noexcept override {
        const auto real = std::chrono::duration_cast<milliseconds>(steady_clock::now() - m_origin);
        return m_start + static_cast<uint32_t>(real.count()) * m_speed;
    }

private:
    const steady_clock::time_point m_origin = steady_clock::now();
    const uint32_t m_start;
    const uint32_t m_speed;
};

const std::vector<std::string> kChallenges{"password:", "Command>", "(y/n)?"};
const std::vector<std::string> kAnswers{"kelvarno", "reset system", "y"};

struct TSessionRun {
    std::vector<std::string> Calls;
    std::string CommLog;
    bool CommLogExists = false;
    long long ElapsedMs = 0;
};

class ResetSession : public ::testing::Test {
protected:
    TTelnetActionSettings Settings(const std::string& port) {
        TTelnetActionSettings settings;
        settings.Host = "127.0.0.1";
        settings.Port = port;
        settings.Challenges = kChallenges;
        settings.Answers = kAnswers;
        return settings;
    }

    // Runs one session to its end, serving its hand-offs on this thread.
    TSessionRun Run(TTelnetActionSettings settings) {
        TLoopDispatcher dispatcher;
        TRecordingOutcomes outcomes;
        TEvent token(false, false); // taken, as by the trigger
        const auto start = steady_clock::now();
        TThReset session(std::make_unique<TTelnetAction>(std::move(settings)), dispatcher, outcomes,
                         token);
        const auto bound = start + std::chrono::seconds(30);
        while (!session.WaitForEnd(0) && steady_clock::now() < bound) {
            dispatcher.RunOnce(20);
        }
        TSessionRun run;
        run.ElapsedMs =
            std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
        EXPECT_TRUE(session.WaitForEnd(0)) << "session still running after 30 s";
        EXPECT_TRUE(token.WaitFor(0)) << "token not given back";
        run.Calls = outcomes.Calls;
        run.CommLogExists = m_dir.Exists("comm.log");
        run.CommLog = m_dir.Read("comm.log");
        return run;
    }

    test::TTempCurrentDir m_dir;
};

// The transcript's three entries per step, each text then CR LF, checked in
// order (device text before a challenge may itself hold line breaks); returns
// what follows them: the entry of what the device said after the last answer.
std::string StepEntriesAndRest(const std::string& log, int steps) {
    std::size_t at = 0;
    for (int i = 0; i < steps; ++i) {
        const std::string stepLine = "Step #" + std::to_string(i + 1) + "\r\n";
        EXPECT_EQ(log.compare(at, stepLine.size(), stepLine), 0) << log;
        at += stepLine.size();
        const std::string received = kChallenges[static_cast<std::size_t>(i)] + "\r\n-> " +
                                     kAnswers[static_cast<std::size_t>(i)] + "\r\n";
        const auto found = log.find(received, at);
        if (found == std::string::npos) {
            ADD_FAILURE() << log;
            return {};
        }
        at = found + received.size();
    }
    return log.substr(at);
}

void ExpectTranscript(const std::string& log, int steps) {
    EXPECT_EQ(StepEntriesAndRest(log, steps), "") << log;
}

// What the default console says after the last answer: the echo of "y" and its
// farewell, as one entry.
const std::string kAfterDefaultScript = "y\r\n\r\nSystem is restarting...\r\n\r\n";

TEST_F(ResetSession, DefaultScriptIsConfirmedByTheDeviceBeforeTheLineCloses) {
    test::TApsimProcess apsim({});
    const TSessionRun run = Run(Settings(apsim.Port()));
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "ok"}));
    EXPECT_EQ(StepEntriesAndRest(run.CommLog, 3), kAfterDefaultScript);
    const std::string records = apsim.StopAndReadRecords();
    EXPECT_NE(records.find(" answer3=ok:"), std::string::npos) << records;
    EXPECT_NE(records.find(" outcome=reset "), std::string::npos) << records;
}

TEST_F(ResetSession, SlowConsoleStillGetsTheConfirmation) {
    test::TApsimProcess apsim({"--console-delay", "1000"});
    const TSessionRun run = Run(Settings(apsim.Port()));
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "ok"}));
    EXPECT_NE(apsim.StopAndReadRecords().find(" outcome=reset "), std::string::npos);
}

TEST_F(ResetSession, DeviceThatKeepsTalkingIsLeftAtTheHoldLimit) {
    test::TApsimProcess apsim({"--mode", "chatter", "--chatter-interval", "50"});
    auto settings = Settings(apsim.Port());
    settings.HoldLimitMs = 800;
    const TSessionRun run = Run(settings);
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "ok"}));
    EXPECT_LT(run.ElapsedMs, 800 + 1500);
    const std::string rest = StepEntriesAndRest(run.CommLog, 3);
    EXPECT_NE(rest.find("[3] restart in progress"), std::string::npos) << rest;
    EXPECT_NE(apsim.StopAndReadRecords().find(" outcome=reset "), std::string::npos);
}

TEST_F(ResetSession, DeviceResettingTheLineAfterTheAnswerCountsAsSent) {
    test::TApsimProcess apsim({"--mode", "abort-on-reset"});
    const TSessionRun run = Run(Settings(apsim.Port()));
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "ok"}));
    EXPECT_NE(apsim.StopAndReadRecords().find(" outcome=reset "), std::string::npos);
}

TEST_F(ResetSession, ChallengeInsideTheEchoedAnswerIsAnsweredAhead) {
    // The echo of answer 2 holds challenge 3, so "y" goes out before the real
    // prompt; the console reads it as type-ahead once it asks.
    test::TApsimProcess apsim(
        {"--step", "password:=kelvarno", "--step", "Command>=echo (y/n)?", "--step", "(y/n)?=y"});
    auto settings = Settings(apsim.Port());
    settings.Answers[1] = "echo (y/n)?";
    const TSessionRun run = Run(settings);
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "ok"}));
    EXPECT_NE(run.CommLog.find("Step #3\r\necho (y/n)?\r\n-> y\r\n"), std::string::npos)
        << run.CommLog;
    const std::string records = apsim.StopAndReadRecords();
    EXPECT_NE(records.find(" answer3=ok:"), std::string::npos) << records;
    EXPECT_NE(records.find(" outcome=reset "), std::string::npos) << records;
}

TEST_F(ResetSession, TerminateEndsTheHoldAtOnce) {
    test::TApsimProcess apsim({"--mode", "chatter"});
    TLoopDispatcher dispatcher;
    TRecordingOutcomes outcomes;
    TEvent token(false, false);
    TThReset session(std::make_unique<TTelnetAction>(Settings(apsim.Port())), dispatcher, outcomes,
                     token);
    const auto bound = steady_clock::now() + std::chrono::seconds(10);
    while (m_dir.Read("comm.log").find("-> y") == std::string::npos &&
           steady_clock::now() < bound) {
        dispatcher.RunOnce(10);
    }
    dispatcher.Cancel(); // as at shutdown
    const auto start = steady_clock::now();
    session.RequestTerminate();
    EXPECT_TRUE(session.WaitForEnd(1000));
    EXPECT_LT(steady_clock::now() - start, milliseconds(200));
    EXPECT_TRUE(token.WaitFor(0));
}

TEST_F(ResetSession, DeviceThatStopsReadingCannotHoldTheSessionPastTheLimit) {
    test::TLoopbackPeer device;
    const int small = 64 << 10; // fixed, so that autotuning cannot absorb the answer
    ::setsockopt(device.ListenerFd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    device.Serve([&device](int fd) {
        test::SendAll(fd, "password:");
        test::WaitUntil([&device] { return device.Stopping(); }, 30000); // never reads
    });
    auto settings = Settings(device.Port());
    settings.Answers[0] = std::string(8 << 20, 'x'); // more than the send buffer holds
    settings.LimitMs = 1500;
    const TSessionRun run = Run(settings);
    device.Stop();
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "failed-step#1"}));
    EXPECT_GE(run.ElapsedMs, 1400);
    // An unbounded send would hold on until the device gives up (30 s); the
    // slack is for copying the large answer, slow under the sanitizers.
    EXPECT_LT(run.ElapsedMs, 1500 + 8000);
}

TEST_F(ResetSession, MissingSecondPromptFailsStepTwoAtTheLimit) {
    test::TApsimProcess apsim({"--mode", "stop-after=1"});
    auto settings = Settings(apsim.Port());
    settings.LimitMs = 1500;
    const TSessionRun run = Run(settings);
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "failed-step#2"}));
    ExpectTranscript(run.CommLog, 1);
    EXPECT_GE(run.ElapsedMs, 1400);
}

TEST_F(ResetSession, SixtySecondLimitCountsOnTheTickClockAcrossItsWrap) {
    test::TApsimProcess apsim({"--mode", "stop-after=1"});
    TFastClock clock(0xFFFFF000u, 100); // wraps after about 40 ms; 60 s in 0.6 s
    auto settings = Settings(apsim.Port());
    settings.Clock = &clock;
    const TSessionRun run = Run(settings);
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "failed-step#2"}));
    EXPECT_GE(run.ElapsedMs, 500); // not ended early by the wrap
}

// The 60 s limit on the session's own clock: the device never shows its
// second prompt, the clock is moved on, and the limit holds to the millisecond
// without a minute of real time.
TEST_F(ResetSession, SixtySecondLimitRunsOnTheSessionsClock) {
    test::TApsimProcess apsim({"--mode", "stop-after=1"});
    test::TManualClock clock(0xFFFF0000u); // the limit falls after the wrap
    auto settings = Settings(apsim.Port());
    settings.Clock = &clock;
    TLoopDispatcher dispatcher;
    TRecordingOutcomes outcomes;
    TEvent token(false, false);
    const auto start = steady_clock::now();
    TThReset session(std::make_unique<TTelnetAction>(settings), dispatcher, outcomes, token);
    const auto serve = [&](milliseconds forAtMost, const std::function<bool()>& done) {
        const auto until = steady_clock::now() + forAtMost;
        while (!done() && steady_clock::now() < until) {
            dispatcher.RunOnce(10);
        }
    };
    serve(milliseconds(10000),
          [&] { return m_dir.Read("comm.log").find("-> kelvarno") != std::string::npos; });
    clock.Tick += 59999;
    serve(milliseconds(300), [] { return false; });
    EXPECT_FALSE(session.WaitForEnd(0)) << "ended before the limit";
    clock.Tick += 1;
    serve(milliseconds(10000), [&] { return session.WaitForEnd(0); });
    EXPECT_EQ(outcomes.Calls, (std::vector<std::string>{"starting", "failed-step#2"}));
    EXPECT_LT(steady_clock::now() - start, milliseconds(5000));
}

TEST_F(ResetSession, TricklingDeviceCannotHoldTheSessionPastTheLimit) {
    test::TApsimProcess apsim({"--mode", "stop-after=1,trickle", "--trickle-interval", "50"});
    auto settings = Settings(apsim.Port());
    settings.LimitMs = 1500;
    const TSessionRun run = Run(settings);
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "failed-step#2"}));
    EXPECT_LT(run.ElapsedMs, 1500 + 1000 + 2000); // limit, one wait, generous slack
}

TEST_F(ResetSession, RefusedConnectionReportsItAndLeavesNoTranscript) {
    m_dir.Write("comm.log", "from an earlier session\r\n");
    const test::TRefusedPort refused;
    const TSessionRun run = Run(Settings(refused.Number()));
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "connect-failed"}));
    EXPECT_FALSE(run.CommLogExists);
}

TEST_F(ResetSession, PromptAsTheVeryFirstBytesIsAnswered) {
    test::TApsimProcess apsim({"--no-offers", "--banner", "", "--step", "password:=kelvarno"});
    auto settings = Settings(apsim.Port());
    settings.Challenges = {"password:"};
    settings.Answers = {"kelvarno"};
    const TSessionRun run = Run(settings);
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "ok"}));
    EXPECT_EQ(run.CommLog, "Step #1\r\npassword:\r\n-> kelvarno\r\n"
                           "\r\nSystem is restarting...\r\n\r\n"); // no echo of a password
}

TEST_F(ResetSession, TwoPromptsInOnePacketAreBothAnswered) {
    test::TApsimProcess apsim({"--mode", "burst"});
    const TSessionRun run = Run(Settings(apsim.Port()));
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "ok"}));
    // Answers typed ahead while the password prompt has the echo off are not
    // echoed at all, so only the farewell is certain.
    EXPECT_TRUE(
        StepEntriesAndRest(run.CommLog, 3).ends_with("\r\nSystem is restarting...\r\n\r\n"));
    const std::string records = apsim.StopAndReadRecords();
    EXPECT_NE(records.find("answers=3 answer1=ok:"), std::string::npos) << records;
    EXPECT_NE(records.find(" outcome=reset "), std::string::npos) << records;
}

TEST_F(ResetSession, PromptsSplitIntoSingleBytesStillMatch) {
    test::TApsimProcess apsim({"--mode", "split-bytes", "--split-pause", "2"});
    const TSessionRun run = Run(Settings(apsim.Port()));
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "ok"}));
    EXPECT_EQ(StepEntriesAndRest(run.CommLog, 3), kAfterDefaultScript);
}

TEST_F(ResetSession, EmptyScriptConnectsAndReportsOk) {
    test::TApsimProcess apsim({});
    auto settings = Settings(apsim.Port());
    settings.Challenges.clear();
    settings.Answers.clear();
    const TSessionRun run = Run(settings);
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "ok"}));
    EXPECT_FALSE(run.CommLogExists);
}

TEST_F(ResetSession, DeviceClosingMidScriptFailsAtOnceInsteadOfSpinning) {
    test::TApsimProcess apsim({"--mode", "close-mid-script=1"});
    const TSessionRun run = Run(Settings(apsim.Port())); // default 60 s limit
    EXPECT_EQ(run.Calls, (std::vector<std::string>{"starting", "failed-step#2"}));
    ExpectTranscript(run.CommLog, 1);
    EXPECT_LT(run.ElapsedMs, 20000);
}

} // namespace
} // namespace pingvard
