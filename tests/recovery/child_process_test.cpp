// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/child_process.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <pthread.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pingvard {
namespace {

using TEnd = TChildResult::TEnd;

TChildCommand Program(const std::string& program, std::vector<std::string> args = {}) {
    TChildCommand command;
    command.Program = program;
    command.Args = std::move(args);
    return command;
}

TChildCommand Shell(const std::string& script, int32_t limitMs = 5000) {
    TChildCommand command;
    command.Program = "/bin/sh";
    command.Args = {"-c", script};
    command.TimeLimitMs = limitMs;
    return command;
}

struct TEndCase {
    const char* Name;
    TChildCommand Command;
    TEnd End;
    std::string Description;
};

class ChildProcessEnds : public testing::TestWithParam<TEndCase> {};

TEST_P(ChildProcessEnds, ReportsHowTheProgramEnded) {
    const TEndCase& c = GetParam();
    TChildProcess child;
    const TChildResult result = child.Run(c.Command);
    EXPECT_EQ(result.End, c.End);
    EXPECT_EQ(result.Describe(c.Command.TimeLimitMs), c.Description);
    EXPECT_EQ(result.Succeeded(), c.Description == "exit status 0");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChildProcessEnds,
    testing::Values(TEndCase{"ExitZero", Shell("exit 0"), TEnd::Exited, "exit status 0"},
                    TEndCase{"ExitThree", Shell("exit 3"), TEnd::Exited, "exit status 3"},
                    TEndCase{"KilledBySignal", Shell("kill -9 $$"), TEnd::Signalled,
                             "killed by signal 9"},
                    TEndCase{"OverItsLimit", Shell("sleep 10", 100), TEnd::TimedOut,
                             "time limit of 100 ms reached"},
                    TEndCase{"IgnoresSigterm",
                             [] {
                                 TChildCommand command =
                                     Shell("trap '' TERM; sleep 10; exit 0", 100);
                                 command.KillGraceMs = 100;
                                 return command;
                             }(),
                             TEnd::TimedOut, "time limit of 100 ms reached"},
                    TEndCase{"Missing", Program("/nonexistent/pingvard-hook"), TEnd::NotStarted,
                             "cannot start: No such file or directory"}),
    [](const testing::TestParamInfo<TEndCase>& param) { return std::string(param.param.Name); });

TEST(ChildProcess, PassesArgumentsWithoutAShell) {
    const std::string tricky = "$(touch /tmp/pv-no-shell) `id` ; * 'q' \"d\"\n";
    const TChildCommand command = Program("printf", {"%s|%s", tricky, ""});
    const TChildResult result = TChildProcess().Run(command);
    ASSERT_TRUE(result.Succeeded()) << result.Describe(command.TimeLimitMs);
    EXPECT_EQ(result.Output, tricky + "|");
}

TEST(ChildProcess, AddsAndReplacesEnvironmentValues) {
    ::setenv("PV_CHILD_TEST_KEEP", "kept", 1);
    ::setenv("PV_CHILD_TEST_REPLACE", "old", 1);
    TChildCommand command = Shell("printf '%s,%s,%s' \"$PV_CHILD_TEST_KEEP\" "
                                  "\"$PV_CHILD_TEST_REPLACE\" \"$PV_EVENT\"");
    command.Environment = {{"PV_CHILD_TEST_REPLACE", "new"}, {"PV_EVENT", "host down"}};
    EXPECT_EQ(TChildProcess().Run(command).Output, "kept,new,host down");
}

TEST(ChildProcess, KeepsOnlyTheFirstBytesButNeverStallsTheProgram) {
    TChildCommand command = Shell("head -c 1000000 /dev/zero; echo done >&2; exit 7");
    command.MaxOutput = 10;
    const TChildResult result = TChildProcess().Run(command);
    EXPECT_EQ(result.End, TEnd::Exited);
    EXPECT_EQ(result.ExitStatus, 7);
    EXPECT_EQ(result.Output, std::string(10, '\0'));
}

// The signal watcher blocks SIGTERM in every thread; a child must not inherit
// that, or only SIGKILL after the grace could stop it.
TEST(ChildProcess, StopsAChildPromptlyEvenWhenTheCallerBlocksSigterm) {
    sigset_t term, previous;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &previous), 0);
    TChildCommand command = Shell("sleep 10", 50);
    command.KillGraceMs = 20000;
    const TChildResult result = TChildProcess().Run(command);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    EXPECT_EQ(result.End, TEnd::TimedOut);
    EXPECT_LT(result.ElapsedMs, 10000u);
}

TEST(ChildProcess, EndsTheWholeProcessGroupAtItsLimit) {
    const std::string marker = "/tmp/pv-child-group-" + std::to_string(::getpid());
    TChildCommand command = Shell("(sleep 1; touch " + marker + ") & sleep 10", 100);
    TChildProcess().Run(command);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_NE(::access(marker.c_str(), F_OK), 0) << "a grandchild outlived the time limit";
    ::unlink(marker.c_str());
}

// The pids a shell wrote, one a line, once there are count of them.
std::vector<pid_t> WaitForPids(const std::string& file, std::size_t count) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream in(file);
        std::vector<pid_t> pids;
        for (pid_t pid = 0; in >> pid;) {
            pids.push_back(pid);
        }
        if (pids.size() >= count) {
            return pids;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

// Gone, or a zombie nobody reaps (pid 1 of a container may not).
bool Gone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t paren = text.rfind(')');
    return text.empty() || (paren != std::string::npos && text.substr(paren + 2, 1) == "Z");
}

bool AllGoneWithin(const std::vector<pid_t>& pids, int ms) {
    for (int waited = 0; waited <= ms; waited += 20) {
        if (std::all_of(pids.begin(), pids.end(), Gone)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// A program that starts one of its own and waits: both pids in file.
TChildCommand Family(const std::string& file) {
    return Shell("echo $$ >>" + file + "; sleep 300 & echo $! >>" + file + "; wait", 0);
}

class ChildProcessOutlives : public testing::TestWithParam<int> {};

// However this process ends, its child and what the child started end too.
TEST_P(ChildProcessOutlives, NeverThisProcess) {
    const std::string file = "/tmp/pv-child-family-" + std::to_string(::getpid());
    ::unlink(file.c_str());
    const pid_t program = ::fork(); // stands for pingvard, with default signal actions
    ASSERT_GE(program, 0);
    if (program == 0) {
        TChildProcess().Run(Family(file));
        ::_exit(0);
    }
    const std::vector<pid_t> family = WaitForPids(file, 2);
    ASSERT_EQ(family.size(), 2U);
    ::kill(program, GetParam());
    int status = 0;
    ::waitpid(program, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(AllGoneWithin(family, 3000)) << "a child outlived the program";
    ::unlink(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(Ends, ChildProcessOutlives, testing::Values(SIGKILL, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& param) {
                             return std::string(sigabbrev_np(param.param));
                         });

TEST(ChildProcess, EndsWhatTheProgramLeftRunning) {
    const std::string file = "/tmp/pv-child-left-" + std::to_string(::getpid());
    ::unlink(file.c_str());
    const TChildResult result =
        TChildProcess().Run(Shell("sleep 300 </dev/null >/dev/null 2>&1 & echo $! >" + file));
    EXPECT_TRUE(result.Succeeded());
    const std::vector<pid_t> left = WaitForPids(file, 1);
    ASSERT_EQ(left.size(), 1U);
    EXPECT_TRUE(AllGoneWithin(left, 3000));
    ::unlink(file.c_str());
}

TEST(ChildProcess, GivesTheProgramNoDescriptorOfThisProcess) {
    const int inherited = ::open("/dev/null", O_RDONLY); // no O_CLOEXEC: it would leak
    ASSERT_GT(inherited, 2);
    const std::string fd = "/proc/$$/fd/";
    const TChildResult result =
        TChildProcess().Run(Shell("for n in 0 1 2 " + std::to_string(inherited) + "; do [ -e " +
                                  fd + "$n ] && printf '%s ' $n; done; true"));
    ::close(inherited);
    EXPECT_EQ(result.Output, "0 1 2 ");
}

TEST(ChildProcess, AbortEndsARunAndEveryLaterOneUntilCleared) {
    TChildProcess child;
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        child.Abort();
    });
    const TChildResult first = child.Run(Shell("sleep 10", 0));
    aborter.join();
    EXPECT_EQ(first.End, TEnd::Aborted);
    EXPECT_EQ(child.Run(Shell("exit 0")).End, TEnd::Aborted);
    child.Clear();
    EXPECT_TRUE(child.Run(Shell("exit 0")).Succeeded());
}

} // namespace
} // namespace pingvard
