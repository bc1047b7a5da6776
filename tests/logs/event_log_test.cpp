// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/event_log.h"
#include "tests/config/config_test_support.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pingvard {
namespace {

using test::FileExists;
using test::FileMode;
using test::ReadFileText;
using test::WriteFileText;

class EventLog : public test::TempDirTest {
protected:
    EventLog() : m_oldUmask(::umask(022)) {}
    ~EventLog() override { ::umask(m_oldUmask); }

private:
    mode_t m_oldUmask;
};

TEST_F(EventLog, FirstLineCreatesTheFile) {
    WriteCommLog("Step #1");
    EXPECT_EQ(ReadFileText("comm.log"), "Step #1\r\n");
}

TEST_F(EventLog, WritesTimestampColonMessageCrLf) {
    const auto before = LocalTimestamp();
    WriteLog("Reset OK");
    const auto after = LocalTimestamp();
    const auto text = ReadFileText("pingvard.log");
    EXPECT_TRUE(text == before + ": Reset OK\r\n" || text == after + ": Reset OK\r\n") << text;
}

TEST_F(EventLog, AppendsAfterTheLastByteEvenWithoutALineEnd) {
    WriteFileText("pingvard.log", "old line\r\nunfinished");
    WriteFileText("comm.log", "device output\n");
    WriteLog("Reset OK");
    WriteCommLog("-> y");
    const auto log = ReadFileText("pingvard.log");
    EXPECT_EQ(log.substr(0, 20), "old line\r\nunfinished");
    EXPECT_TRUE(log.ends_with(": Reset OK\r\n"));
    EXPECT_EQ(ReadFileText("comm.log"), "device output\n-> y\r\n");
}

TEST_F(EventLog, KeepsMultiLineTranscriptTextUnchanged) {
    WriteCommLog("Welcome\r\nLogin\npassword:");
    EXPECT_EQ(ReadFileText("comm.log"), "Welcome\r\nLogin\npassword:\r\n");
}

TEST_F(EventLog, CreatesTheTranscriptWithMode0600) {
    WriteCommLog("-> kelvarno");
    EXPECT_EQ(FileMode("comm.log"), 0600u);
    EXPECT_EQ(FileMode("pingvard.log"), 0u);
    WriteLog("Reset OK");
    EXPECT_EQ(FileMode("pingvard.log"), 0644u);
}

TEST_F(EventLog, LeavesAFileWithoutWriteBitsUnchanged) {
    WriteFileText("pingvard.log", "kept\r\n");
    WriteFileText("comm.log", "kept\r\n");
    ::chmod("pingvard.log", 0444);
    ::chmod("comm.log", 0400);
    WriteLog("Reset OK");
    WriteCommLog("Step #1");
    EXPECT_EQ(ReadFileText("pingvard.log"), "kept\r\n");
    EXPECT_EQ(ReadFileText("comm.log"), "kept\r\n");
}

TEST_F(EventLog, CreatesNothingInADirectoryWithoutWriteBits) {
    ::chmod(".", 0555);
    WriteLog("Reset OK");
    WriteCommLog("Step #1");
    ::chmod(".", 0755);
    EXPECT_FALSE(FileExists("pingvard.log"));
    EXPECT_FALSE(FileExists("comm.log"));
}

TEST_F(EventLog, SurvivesADirectoryOfTheLogsName) {
    std::filesystem::create_directory("pingvard.log");
    std::filesystem::create_directory("comm.log");
    WriteLog("Reset OK");
    WriteCommLog("Step #1");
    DeleteCommLog();
    EXPECT_TRUE(std::filesystem::is_directory("pingvard.log"));
    EXPECT_TRUE(std::filesystem::is_directory("comm.log"));
}

TEST_F(EventLog, DoesNotBlockOnAFifoOfTheLogsName) {
    ASSERT_EQ(::mkfifo("pingvard.log", 0644), 0);
    WriteLog("Reset OK"); // no reader: a blocking open would hang here
    EXPECT_FALSE(std::filesystem::is_regular_file("pingvard.log"));
}

// Another process holds the exclusive lock: that line is lost, the next one
// after the release is written.
TEST_F(EventLog, LosesOnlyTheLineWhileAnotherProcessHoldsTheFile) {
    WriteFileText("pingvard.log", "first\r\n");
    int toChild[2], fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open("pingvard.log", O_RDONLY);
        char c = ::flock(fd, LOCK_EX) == 0 ? 'L' : 'E';
        [[maybe_unused]] auto w = ::write(fromChild[1], &c, 1);
        [[maybe_unused]] auto r = ::read(toChild[0], &c, 1); // hold until told
        ::_exit(0);
    }
    char state = 0;
    ASSERT_EQ(::read(fromChild[0], &state, 1), 1);
    ASSERT_EQ(state, 'L');
    WriteLog("lost");
    EXPECT_EQ(ReadFileText("pingvard.log"), "first\r\n");

    const char go = 'x';
    ASSERT_EQ(::write(toChild[1], &go, 1), 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]})
        ::close(fd);
    WriteLog("written");
    const auto text = ReadFileText("pingvard.log");
    EXPECT_TRUE(text.starts_with("first\r\n"));
    EXPECT_TRUE(text.ends_with(": written\r\n"));
    EXPECT_EQ(text.find("lost"), std::string::npos);
}

TEST_F(EventLog, LeavesLogsAloneOnAReadOnlyFileSystem) {
    if (const auto reason = test::MountNamespaceUnavailableReason(); !reason.empty())
        GTEST_SKIP() << reason;
    WriteFileText("pingvard.log", "kept\r\n");
    const auto failure = test::RunWithReadOnlyMount(m_dir.Path(), [] {
        WriteLog("Reset OK");
        WriteCommLog("Step #1");
        return std::string{};
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(ReadFileText("pingvard.log"), "kept\r\n");
    EXPECT_FALSE(FileExists("comm.log"));
}

TEST_F(EventLog, ALineThatDoesNotFitIsLostWholeAndTheNextStartsAfterTheLast) {
    if (const auto reason = test::MountNamespaceUnavailableReason(); !reason.empty())
        GTEST_SKIP() << reason;
    const auto failure = test::RunWithSmallFileSystem(m_dir.Path(), 64 * 1024, [] {
        const std::string old = test::FillAfterAPartPageLog();
        WriteLog("Reset OK");
        WriteCommLog("Step #1");
        if (ReadFileText("pingvard.log") != old)
            return "a part of the line was left: " + ReadFileText("pingvard.log").substr(4090);
        std::remove("filler");
        WriteLog("Reset OK");
        const std::string now = ReadFileText("pingvard.log");
        if (!now.starts_with(old) || now.find(": Reset OK\r\n") != now.size() - 12 ||
            now.find("Reset OK") != now.rfind("Reset OK"))
            return "after freeing: " + now.substr(4090);
        return std::string{};
    });
    EXPECT_EQ(failure, "");
}

TEST_F(EventLog, SaysOnceWhenTheLogStopsTakingLinesAndOnceWhenItTakesThemAgain) {
    if (const auto reason = test::MountNamespaceUnavailableReason(); !reason.empty())
        GTEST_SKIP() << reason;
    const auto failure = test::RunWithSmallFileSystem(m_dir.Path(), 64 * 1024, [] {
        test::FillAfterAPartPageLog();
        TEventLog log;
        std::string said;
        const auto write = [&](int times) {
            for (int i = 0; i < times; ++i) {
                if (const auto change = log.Write("Reset OK"))
                    said += change->Text + (change->Failing ? " (failing)\n" : "\n");
            }
        };
        write(3);
        std::remove("filler");
        write(2);
        const std::string expected = "pingvard.log cannot be written (No space left on device); "
                                     "its lines are lost until it can (failing)\n"
                                     "pingvard.log is written again\n";
        return said == expected ? std::string{} : said;
    });
    EXPECT_EQ(failure, "");
}

TEST_F(EventLog, SaysNothingOfLinesTheDesignDrops) {
    WriteFileText("pingvard.log", "kept\r\n");
    ::chmod("pingvard.log", 0444);
    TEventLog log;
    EXPECT_FALSE(log.Write("Reset OK"));
    EXPECT_EQ(WriteLog("Reset OK").Result, TLogWrite::TResult::Skipped);
}

TEST_F(EventLog, DeletesTheTranscriptAndToleratesItsAbsence) {
    DeleteCommLog();
    WriteCommLog("Step #1");
    DeleteCommLog();
    EXPECT_FALSE(FileExists("comm.log"));
}

TEST_F(EventLog, KeepsATranscriptWithoutWriteBits) {
    WriteFileText("comm.log", "kept\r\n");
    ::chmod("comm.log", 0444);
    DeleteCommLog();
    EXPECT_EQ(ReadFileText("comm.log"), "kept\r\n");
}

TEST_F(EventLog, FollowsTheCurrentDirectory) {
    std::filesystem::create_directory("elsewhere");
    std::filesystem::current_path("elsewhere");
    WriteCommLog("Step #1");
    std::filesystem::current_path("..");
    EXPECT_EQ(ReadFileText("elsewhere/comm.log"), "Step #1\r\n");
    EXPECT_FALSE(FileExists("comm.log"));
}

} // namespace
} // namespace pingvard
