// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/memory_ini_file.h"
#include "config/program_dir.h"
#include "config/settings.h"
#include "tests/config/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace pingvard {
namespace {

std::vector<std::string> Entries(const test::TTempCurrentDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// A load through it reads what a start reads (the defaults and the default
// script of a short file included) and leaves the file as it was.
TEST(MemoryIniFile, ReadsWhatAStartReadsAndWritesNothing) {
    const std::string shortFile = "[Constants]\r\nMaxTimeouts=0x0A\r\n[Host2]\r\nHostname=\r\n";
    const test::TTempCurrentDir started;
    started.Write("pingvard.ini", shortFile);
    TIniFile real(ConfigFileName());
    const TSettings expected = TSettings::Load(real, GetProgramDir());

    const test::TTempCurrentDir untouched;
    untouched.Write("pingvard.ini", shortFile);
    TMemoryIniFile memory(ConfigFileName());
    ASSERT_TRUE(memory.Readable());
    const TSettings settings = TSettings::Load(memory, GetProgramDir());
    EXPECT_EQ(settings.MaxTimeouts, 10);
    EXPECT_EQ(settings.Challenges, expected.Challenges);
    EXPECT_EQ(settings.Answers, expected.Answers);
    EXPECT_EQ(settings.Hosts[1].Hostname, expected.Hosts[1].Hostname);
    EXPECT_EQ(memory.Content(), started.Read("pingvard.ini")); // the load's own result
    EXPECT_EQ(untouched.Read("pingvard.ini"), shortFile);
    EXPECT_EQ(Entries(untouched), std::vector<std::string>{"pingvard.ini"});
}

TEST(MemoryIniFile, AnAbsentFileReadsAsEmptyAndStaysAbsent) {
    const test::TTempCurrentDir dir;
    TMemoryIniFile memory(ConfigFileName());
    EXPECT_FALSE(memory.Readable());
    EXPECT_EQ(TSettings::Load(memory, GetProgramDir()).ResetHost, "192.168.168.1");
    EXPECT_TRUE(Entries(dir).empty());
}

} // namespace
} // namespace pingvard
