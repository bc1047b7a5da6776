// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_ini.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pingvard::apsim {
namespace {

TEST(ApsimIni, IntegerRule) {
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"3", 3},
        {"  -2", -2},
        {"+7", 7},
        {"$10", 16},
        {"x1F", 31},
        {"X1f", 31},
        {"0x10", 16},
        {"0XfF", 255},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"", std::nullopt},
        {"3 ", std::nullopt},
        {"\t3", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"$1FFFFFFFF", std::nullopt},
        {"+-1", std::nullopt},
        {"abc", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ParseIniInteger(text), expected) << '"' << text << '"';
    }
}

class ApsimIniFile : public ::testing::Test {
protected:
    std::optional<std::vector<TScriptStep>> Load(const std::string& text) {
        std::ofstream(m_path, std::ios::binary) << text;
        return LoadIniScript(m_path, m_error);
    }
    void TearDown() override { std::remove(m_path.c_str()); }
    std::string m_path = ::testing::TempDir() + "apsim_ini_" + std::to_string(getpid());
    std::string m_error;
};

TEST_F(ApsimIniFile, ReadsTheConfiguredScriptLikeTheMonitor) {
    const auto steps = Load("[Constants]\r\nChallenge1=wrong section\r\n"
                            "[resethost]\r\nHostname=192.168.168.1\r\n"
                            "CHALLENGESCOUNT = $3\r\n"
                            "Challenge1=Login: \r\nanswer1=\"admin\"\r\n"
                            "Challenge2=Password:\r\n"
                            "Challenge3=#\r\nAnswer3=reboot\r\n"
                            "[Host1]\r\nAnswer3=other section\r\n");
    ASSERT_TRUE(steps) << m_error;
    ASSERT_EQ(steps->size(), 3U);
    EXPECT_EQ((*steps)[0].Challenge, "Login:");
    EXPECT_EQ((*steps)[0].Answer, "admin");
    EXPECT_EQ((*steps)[1].Answer, ""); // absent: empty
    EXPECT_EQ((*steps)[2].Challenge, "#");
    EXPECT_EQ((*steps)[2].Answer, "reboot");
}

TEST_F(ApsimIniFile, CountDecidesBetweenDefaultAndEmpty) {
    for (const char* count : {"", "ChallengesCount=0\n", "ChallengesCount=many\n"}) {
        const auto steps = Load(std::string("[ResetHost]\n") + count + "Challenge1=x\n");
        ASSERT_TRUE(steps);
        ASSERT_EQ(steps->size(), 3U) << count;
        EXPECT_EQ((*steps)[0].Challenge, "password:");
    }
    const auto none = Load("[ResetHost]\nChallengesCount=-1\n");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    EXPECT_FALSE(Load("[ResetHost]\nChallengesCount=2000000000\n"));
    EXPECT_FALSE(LoadIniScript(m_path + ".missing", m_error));
}

} // namespace
} // namespace pingvard::apsim
