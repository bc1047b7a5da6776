// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/memory_ini_file.h"
#include "config/web/web_settings.h"
#include "tests/config/config_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pingvard {
namespace {

constexpr const char* kToken = "Zq8-tL2.x~Yv+9/kP3mW"; // 20 characters a Bearer field carries

struct TWebCase {
    const char* Name;
    std::string Section; // the [Web] lines
    bool Enabled;
    const char* Address;
    int32_t Port;
    bool HasToken;
    const char* Problem; // a part of the one problem line; "" for none
};

class WebSettingsTable : public test::TempDirTest,
                         public ::testing::WithParamInterface<TWebCase> {};

TEST_P(WebSettingsTable, ReadsTheSection) {
    const TWebCase& c = GetParam();
    test::WriteFileText("token", std::string(kToken) + "\r\n");
    ::chmod("token", 0600);
    test::WriteFileText("open-token", std::string(kToken) + "\n");
    ::chmod("open-token", 0644);
    test::WriteFileText("pingvard.ini", "[Web]\n" + c.Section);
    TMemoryIniFile ini("pingvard.ini");
    std::vector<std::string> problems;
    const TWebSettings w = ReadWebSettings(ini, m_dir.Path() + "/", problems);
    EXPECT_EQ(w.Enabled, c.Enabled);
    EXPECT_EQ(w.Address, c.Address);
    EXPECT_EQ(w.Port, c.Port);
    EXPECT_EQ(!w.Token.empty(), c.HasToken);
    if (c.HasToken) {
        EXPECT_EQ(w.Token, kToken);
    }
    if (*c.Problem == '\0') {
        EXPECT_TRUE(problems.empty()) << problems.front();
    } else {
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(c.Problem), std::string::npos) << problems[0];
        EXPECT_EQ(problems[0].find(kToken), std::string::npos) << "the token went into a line";
    }
}

const std::string kTokenLine = std::string("Token=") + kToken + "\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, WebSettingsTable,
    ::testing::Values(
        TWebCase{"Defaults", "", false, "127.0.0.1", 9770, false, ""},
        TWebCase{"On", "Enabled=1\nPort=8080\n", true, "127.0.0.1", 8080, false, ""},
        TWebCase{"IPv6Loopback", "Enabled=1\nAddress=::1\n", true, "::1", 9770, false, ""},
        TWebCase{"LanAddress", "Address=192.168.1.5\n", false, "192.168.1.5", 9770, false, ""},
        TWebCase{"EveryInterfaceRefused", "Address=0.0.0.0\n", false, "127.0.0.1", 9770, false,
                 "every interface needs AllInterfaces=1"},
        TWebCase{"EveryV6InterfaceRefused", "Address=::\n", false, "127.0.0.1", 9770, false,
                 "every interface needs AllInterfaces=1"},
        TWebCase{"EveryInterfaceAllowed", "Address=::\nAllInterfaces=1\n", false, "::", 9770, false,
                 ""},
        TWebCase{"AllInterfacesAlone", "AllInterfaces=1\n", false, "0.0.0.0", 9770, false, ""},
        TWebCase{"NameRefused", "Address=localhost\n", false, "127.0.0.1", 9770, false,
                 "not a numeric IPv4 or IPv6 address"},
        TWebCase{"PortOutOfRange", "Port=70000\n", false, "127.0.0.1", 9770, false, "Port"},
        TWebCase{"Token", kTokenLine, false, "127.0.0.1", 9770, true, ""},
        TWebCase{"TokenFile", "TokenFile=token\n", false, "127.0.0.1", 9770, true, ""},
        TWebCase{"TokenFileWins", "TokenFile=token\nToken=short\n", false, "127.0.0.1", 9770, true,
                 "has both Token and TokenFile"},
        TWebCase{"TokenFileOpenToOthers", "TokenFile=open-token\n", false, "127.0.0.1", 9770, false,
                 "is open to others"},
        TWebCase{"TokenFileMissing", "TokenFile=nowhere\n", false, "127.0.0.1", 9770, false,
                 "cannot read token file"},
        TWebCase{"ShortToken", "Token=abc123\n", false, "127.0.0.1", 9770, false,
                 "shorter than 16"},
        TWebCase{"TokenWithABlank", "Token=abcdefgh ijklmnopq\n", false, "127.0.0.1", 9770, false,
                 "more than letters"},
        TWebCase{"TokenWithAQuote", "Token=abcdefgh\"ijklmnopq\n", false, "127.0.0.1", 9770, false,
                 "more than letters"}),
    [](const auto& param) { return std::string(param.param.Name); });

} // namespace
} // namespace pingvard
