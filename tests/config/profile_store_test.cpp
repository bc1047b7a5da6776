// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ini_file.h"
#include "config/profile_store.h"
#include "tests/config/config_test_support.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pingvard {
namespace {

using test::FileExists;
using test::FileMode;
using test::ReadFileText;
using test::TempDirTest;
using test::WriteFileText;

TEST(ProfileText, FindsEntriesWithoutRegardToCaseAndBlanks) {
    const std::string text = "[Constants]\n  maxtimeouts  =  7  \n[RESETHOST]\r\nHostname=\r\n";
    EXPECT_EQ(FindProfileValue(text, "Constants", "MaxTimeouts"), "7");
    EXPECT_EQ(FindProfileValue(text, "ResetHost", "HOSTNAME"), ""); // present but empty
    EXPECT_EQ(FindProfileValue(text, "ResetHost", "ChallengesCount"), std::nullopt);
    EXPECT_EQ(FindProfileValue(text, "Host1", "Hostname"), std::nullopt);
    EXPECT_EQ(FindProfileValue("", "Constants", "MaxTimeouts"), std::nullopt);
}

TEST(ProfileText, IgnoresCommentsAndTakesTheFirstOfDuplicateKeys) {
    const std::string text = "[A]\n;k=comment\n# k=also\nk=first\nk=second\n";
    EXPECT_EQ(FindProfileValue(text, "A", "k"), "first");
    EXPECT_EQ(FindProfileValue(text, "A", ";k"), std::nullopt);
}

TEST(ProfileText, ReadsALastLineCutAfterItsCrWithoutTheCr) {
    EXPECT_EQ(FindProfileValue("[Host1]\r\nTimeout=1000\r", "Host1", "Timeout"), "1000");
}

TEST(ProfileText, ReturnsValuesAsStoredWithoutUnquoting) {
    EXPECT_EQ(FindProfileValue("[A]\nk=\"x y\"=z\n", "A", "k"), "\"x y\"=z");
}

TEST(ProfileText, CutsReadsTo2047Characters) {
    const std::string value(3000, 'v');
    EXPECT_EQ(FindProfileValue("[A]\nk=" + value + "\n", "A", "k"), value.substr(0, 2047));
}

struct TEditCase {
    const char* name;
    std::string before, section, key, value, after;
};

class ProfileEdit : public ::testing::TestWithParam<TEditCase> {};

TEST_P(ProfileEdit, ChangesOnlyTheEntryItWrites) {
    const auto& c = GetParam();
    EXPECT_EQ(SetProfileValue(c.before, c.section, c.key, c.value), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileEdit,
    ::testing::Values(
        TEditCase{"CreatesFile", "", "S", "k", "v", "[S]\nk=v\n"},
        TEditCase{"NewSectionAtTheEnd", "[A]\na=1\n", "B", "b", "2", "[A]\na=1\n[B]\nb=2\n"},
        TEditCase{"NewKeyAtTheEndOfItsSection", "[A]\na=1\n\n[B]\nb=2\n", "a", "x", "3",
                  "[A]\na=1\nx=3\n\n[B]\nb=2\n"},
        TEditCase{"NewKeyAfterATrailingComment", "[A]\na=1\n; note\n", "A", "x", "3",
                  "[A]\na=1\n; note\nx=3\n"},
        TEditCase{"ReplacesInPlaceKeepingTheKeySpelling", "[A]\n  hostname = old \n", "A",
                  "HostName", "new", "[A]\nhostname=new\n"},
        TEditCase{"KeepsCrLfOfTheReplacedLine", "[A]\r\na=1\r\nb=2\r\n", "A", "a", "5",
                  "[A]\r\na=5\r\nb=2\r\n"},
        TEditCase{"AddsCrLfLinesToACrLfFile", "[A]\r\na=1\r\n", "B", "b", "2",
                  "[A]\r\na=1\r\n[B]\r\nb=2\r\n"},
        TEditCase{"EndsAnUnterminatedLastLineFirst", "[A]\na=1", "A", "b", "2", "[A]\na=1\nb=2\n"},
        TEditCase{"CompletesALastLineCutAfterItsCr", "[A]\r\na=1\r", "A", "b", "2",
                  "[A]\r\na=1\r\nb=2\r\n"},
        TEditCase{"KeepsWhatComesBeforeTheFirstSection", "; hand notes\nstray\n[A]\na=1\n", "A",
                  "a", "2", "; hand notes\nstray\n[A]\na=2\n"},
        TEditCase{"CutsAValueAtItsLineBreak", "", "S", "k", "one\r\n[Evil]\nx=1", "[S]\nk=one\n"},
        TEditCase{"WritesEmptyValues", "[A]\na=1\n", "A", "a", "", "[A]\na=\n"}),
    [](const auto& param) { return std::string{param.param.name}; });

// Taking an entry out leaves every other line, comment and line ending.
TEST(ProfileText, RemovesOnlyTheEntryNamed) {
    struct TCase {
        const char* Before;
        const char* Section;
        const char* Key;
        const char* After;
    };
    const TCase cases[] = {
        {"[A]\r\nk=1\r\nj=2\r\n", "A", "k", "[A]\r\nj=2\r\n"},
        {"[A]\nk=1\n;c\n[B]\nk=3\n", "b", " K ", "[A]\nk=1\n;c\n[B]\n"},
        {"[A]\nj=2\n", "A", "k", "[A]\nj=2\n"},      // absent: unchanged
        {"[A]\nk=1\nk=2\n", "A", "k", "[A]\nk=2\n"}, // the one a read sees
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(RemoveProfileValue(c.Before, c.Section, c.Key), c.After) << c.Before;
    }
}

TEST(ProfileText, RefusesNamesThatWouldBreakTheFormat) {
    EXPECT_EQ(SetProfileValue("", "", "k", "v"), std::nullopt);
    EXPECT_EQ(SetProfileValue("", "S", "a=b", "v"), std::nullopt);
    EXPECT_EQ(SetProfileValue("", "S]", "k", "v"), std::nullopt);
    EXPECT_EQ(SetProfileValue("", "S", "k\nj", "v"), std::nullopt);
}

using ProfileStore = TempDirTest;

TEST_F(ProfileStore, CreatesTheFileWithMode0600) {
    TProfileStore store("pingvard.ini");
    ASSERT_TRUE(store.Write("Constants", "MaxTimeouts", "5"));
    EXPECT_EQ(ReadFileText("pingvard.ini"), "[Constants]\nMaxTimeouts=5\n");
    EXPECT_EQ(FileMode("pingvard.ini"), 0600u);
}

TEST_F(ProfileStore, KeepsTheModeOfAFileItReplaces) {
    WriteFileText("pingvard.ini", "[A]\na=1\n");
    ::chmod("pingvard.ini", 0640);
    ASSERT_TRUE(TProfileStore("pingvard.ini").Write("A", "a", "2"));
    EXPECT_EQ(FileMode("pingvard.ini"), 0640u);
}

TEST_F(ProfileStore, KeepsTheOwnerOfAFileItReplaces) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: giving the file to another owner";
    WriteFileText("pingvard.ini", "[A]\na=1\n");
    ASSERT_EQ(::chown("pingvard.ini", 65534, 65534), 0);
    ASSERT_TRUE(TProfileStore("pingvard.ini").Write("A", "a", "2"));
    struct stat st {};
    ASSERT_EQ(::stat("pingvard.ini", &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

TEST_F(ProfileStore, ReplacesTheTargetOfASymbolicLink) {
    std::filesystem::create_directory("real");
    WriteFileText("real/pingvard.ini", "[A]\na=1\n");
    std::filesystem::create_symlink("real/pingvard.ini", "pingvard.ini");
    ASSERT_TRUE(TProfileStore("pingvard.ini").Write("A", "a", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink("pingvard.ini"));
    EXPECT_EQ(ReadFileText("real/pingvard.ini"), "[A]\na=2\n");
}

TEST_F(ProfileStore, RefusesAFileWithoutWriteBitsEvenForRoot) {
    WriteFileText("pingvard.ini", "[A]\na=1\n");
    ::chmod("pingvard.ini", 0444);
    EXPECT_FALSE(TProfileStore("pingvard.ini").Write("A", "a", "1")); // even unchanged
    EXPECT_EQ(ReadFileText("pingvard.ini"), "[A]\na=1\n");
}

TEST_F(ProfileStore, RefusesADirectoryWithoutWriteBits) {
    std::filesystem::create_directory("locked");
    ::chmod("locked", 0555);
    EXPECT_FALSE(TProfileStore("locked/pingvard.ini").Write("A", "a", "1"));
    EXPECT_FALSE(FileExists("locked/pingvard.ini"));
}

TEST_F(ProfileStore, ReadsADirectoryOfThatNameAsAbsentAndRefusesToWriteIt) {
    std::filesystem::create_directory("pingvard.ini");
    TProfileStore store("pingvard.ini");
    EXPECT_EQ(store.Read("A", "a"), std::nullopt);
    EXPECT_FALSE(store.Write("A", "a", "1"));
}

std::vector<std::string> DirectoryEntries() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(ProfileStore, AWriteAbandonedBeforeTheRenameLeavesTheFileAndNoDebris) {
    const std::string original = "[A]\na=1\n; keep\n";
    WriteFileText("pingvard.ini", original);
    TIniFile ini("pingvard.ini");
    std::string seenTemp;
    ini.Store().SetBeforeReplaceHook([&](const std::string& temp) {
        seenTemp = ReadFileText(temp);
        return false;
    });
    EXPECT_THROW(ini.WriteText("A", "a", "2"), EIniFileException);
    EXPECT_EQ(seenTemp, "[A]\na=2\n; keep\n"); // the new content was complete
    EXPECT_EQ(ReadFileText("pingvard.ini"), original);
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"pingvard.ini"});
}

// Several entries of a section in one replacement: a reader never sees some
// of them new and the rest old.
TEST_F(ProfileStore, WritesASectionInOneReplacement) {
    WriteFileText("state", "[Other]\nx=1\n");
    TProfileStore store("state");
    int replacements = 0;
    store.SetBeforeReplaceHook([&](const std::string&) { return ++replacements > 0; });
    ASSERT_TRUE(store.WriteSection("Guard", {{"Saved", "5"}, {"Rounds", "1,2"}, {"Saved", "6"}},
                                   "; ignored: the file exists\n"));
    EXPECT_EQ(replacements, 1);
    EXPECT_EQ(ReadFileText("state"), "[Other]\nx=1\n[Guard]\nSaved=6\nRounds=1,2\n");
    TProfileStore fresh("fresh");
    ASSERT_TRUE(fresh.WriteSection("S", {{"k", "v"}}, "; header\n"));
    EXPECT_EQ(ReadFileText("fresh"), "; header\n[S]\nk=v\n");
}

// A crash right after the temporary file is written: the process dies in the
// hook. The configuration must still be the old file, whole.
TEST_F(ProfileStore, ACrashBeforeTheRenameNeverTruncatesTheFile) {
    std::string original = "[Constants]\nMaxTimeouts=5\n";
    for (int i = 0; i < 200; ++i)
        original += "; hand-written line " + std::to_string(i) + "\n";
    WriteFileText("pingvard.ini", original);
    const int status = test::RunInChild([] {
        TProfileStore store("pingvard.ini");
        store.SetBeforeReplaceHook([](const std::string&) -> bool { ::_exit(42); });
        store.Write("Constants", "MaxTimeouts", "7");
    });
    ASSERT_EQ(status, 42);
    EXPECT_EQ(ReadFileText("pingvard.ini"), original);

    TProfileStore store("pingvard.ini"); // the debris does not stop the next write
    ASSERT_TRUE(store.Write("Constants", "MaxTimeouts", "7"));
    EXPECT_EQ(store.Read("Constants", "MaxTimeouts"), "7");
}

// A full disk fails the write of the temporary file: the write is refused and
// the configuration stays whole.
TEST_F(ProfileStore, AFullDiskLeavesTheFileWhole) {
    if (const auto reason = test::MountNamespaceUnavailableReason(); !reason.empty())
        GTEST_SKIP() << reason;
    const auto failure = test::RunWithSmallFileSystem(m_dir.Path(), 64 * 1024, [] {
        const std::string original = "[Constants]\nMaxTimeouts=5\n";
        WriteFileText("pingvard.ini", original);
        {
            std::ofstream filler("filler", std::ios::binary);
            const std::string block(4096, 'f');
            while (filler.write(block.data(), block.size()))
                ;
        }
        TIniFile ini(ConfigFileName());
        try {
            ini.WriteText("Constants", "Comment", std::string(8192, 'c'));
            return std::string{"the write succeeded on a full disk"};
        } catch (const EIniFileException&) {
        }
        if (ReadFileText("pingvard.ini") != original)
            return std::string{"pingvard.ini changed"};
        if (DirectoryEntries() != std::vector<std::string>{"filler", "pingvard.ini"})
            return std::string{"a temporary file was left behind"};
        std::filesystem::remove("filler"); // with room again the same write goes through
        ini.WriteText("Constants", "Comment", std::string(8192, 'c'));
        return std::string{};
    });
    EXPECT_EQ(failure, "");
}

// What a start finds of killed writes: only a temporary file of the exact
// pattern, old enough, and with nobody writing it, is the store's leftover.
struct TLeftoverCase {
    const char* Name;
    const char* File;
    enum { Old, Fresh, Locked, Link, Directory } Kind;
    bool Removed;
};

class StaleTempFiles : public ::testing::WithParamInterface<TLeftoverCase>, public TempDirTest {};

TEST_P(StaleTempFiles, OnlyTheStoresOwnOldUnlockedLeftoversGo) {
    const TLeftoverCase& c = GetParam();
    WriteFileText("pingvard.ini", "[Constants]\n");
    const std::string path = c.File;
    if (c.Kind == TLeftoverCase::Link) {
        ASSERT_EQ(::symlink("pingvard.ini", path.c_str()), 0);
    } else if (c.Kind == TLeftoverCase::Directory) {
        std::filesystem::create_directory(path);
    } else {
        WriteFileText(path, "[Constants]\nMaxTim");
    }
    if (c.Kind != TLeftoverCase::Fresh) {
        const timespec old[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 61, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
    }
    const int writer = c.Kind == TLeftoverCase::Locked ? ::open(path.c_str(), O_RDONLY) : -1;
    if (writer >= 0) {
        ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    }

    EXPECT_EQ(RemoveStaleTempFiles(ConfigFileName()), c.Removed ? 1 : 0);
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st) != 0, c.Removed);
    EXPECT_TRUE(FileExists("pingvard.ini"));
    if (writer >= 0)
        ::close(writer);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StaleTempFiles,
    ::testing::Values(
        TLeftoverCase{"OldLeftover", ".pingvard.ini.aZ09Qx", TLeftoverCase::Old, true},
        TLeftoverCase{"Fresh", ".pingvard.ini.aZ09Qx", TLeftoverCase::Fresh, false},
        TLeftoverCase{"BeingWritten", ".pingvard.ini.aZ09Qx", TLeftoverCase::Locked, false},
        TLeftoverCase{"FiveCharacters", ".pingvard.ini.aZ09Q", TLeftoverCase::Old, false},
        TLeftoverCase{"SevenCharacters", ".pingvard.ini.aZ09Qxy", TLeftoverCase::Old, false},
        TLeftoverCase{"OtherCharacter", ".pingvard.ini.aZ-9Qx", TLeftoverCase::Old, false},
        TLeftoverCase{"NoLeadingDot", "pingvard.ini.aZ09Qx", TLeftoverCase::Old, false},
        TLeftoverCase{"OtherFile", ".pingvard.log.aZ09Qx", TLeftoverCase::Old, false},
        TLeftoverCase{"SymbolicLink", ".pingvard.ini.aZ09Qx", TLeftoverCase::Link, false},
        TLeftoverCase{"Directory", ".pingvard.ini.aZ09Qx", TLeftoverCase::Directory, false}),
    [](const ::testing::TestParamInfo<TLeftoverCase>& p) { return std::string(p.param.Name); });

} // namespace
} // namespace pingvard
