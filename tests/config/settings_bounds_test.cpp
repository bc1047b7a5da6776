// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/program_dir.h"
#include "config/settings.h"
#include "tests/config/temp_dir.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

struct TBoundsCase {
    const char* Name;
    std::string Ini;
    int32_t MaxTimeouts, PingInterval, Host2Timeout;
    std::vector<std::string> Lines;
};

class SettingsBounds : public testing::TestWithParam<TBoundsCase> {};

// What could flood a host or hang a worker is used at its bound, with one
// line each; the file keeps what it says.
TEST_P(SettingsBounds, UsesAValueOutsideAtItsBound) {
    const test::TTempCurrentDir dir;
    dir.Write("pingvard.ini", GetParam().Ini);
    TIniFile ini(ConfigFileName());
    const TSettings settings = TSettings::Load(ini, GetProgramDir());
    EXPECT_EQ(settings.MaxTimeouts, GetParam().MaxTimeouts);
    EXPECT_EQ(settings.PingInterval, GetParam().PingInterval);
    EXPECT_EQ(settings.Hosts[1].Timeout, GetParam().Host2Timeout);
    EXPECT_EQ(settings.BoundsProblems, GetParam().Lines);
    EXPECT_NE(dir.Read("pingvard.ini").find(GetParam().Ini.substr(0, GetParam().Ini.find("\r\n["))),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsBounds,
    testing::Values(
        TBoundsCase{"WithinTheBounds",
                    "[Constants]\r\nMaxTimeouts=1\r\nPingInterval=100\r\n",
                    1,
                    100,
                    1000,
                    {}},
        TBoundsCase{"AZeroInterval",
                    "[Constants]\r\nMaxTimeouts=5\r\nPingInterval=0\r\n",
                    5,
                    100,
                    1000,
                    {"pingvard.ini [Constants] PingInterval=0: less than 100; using 100"}},
        TBoundsCase{"NoFailuresNeeded",
                    "[Constants]\r\nMaxTimeouts=-3\r\nPingInterval=2000\r\n",
                    1,
                    2000,
                    1000,
                    {"pingvard.ini [Constants] MaxTimeouts=-3: less than 1; using 1"}},
        TBoundsCase{"AnEchoThatWaitsForMinutes",
                    "[Constants]\r\nMaxTimeouts=5\r\nPingInterval=2000\r\n[Host2]\r\n"
                    "Timeout=60001\r\n",
                    5,
                    2000,
                    60000,
                    {"pingvard.ini [Host2] Timeout=60001: more than 60000; using 60000"}},
        // The worker reads a negative time-out as the default 1000 ms.
        TBoundsCase{"ANegativeTimeoutStays", "[Host2]\r\nTimeout=-1\r\n", 5, 2000, -1, {}}),
    [](const testing::TestParamInfo<TBoundsCase>& param) { return std::string(param.param.Name); });

// A typo in a historic number reads as its default, which the load writes
// back: each says so, once, with the value as the file had it.
TEST(SettingsNumbers, ANumberThatIsNoNumberIsOneLineWithTheDefaultUsed) {
    const test::TTempCurrentDir dir;
    dir.Write("pingvard.ini", "[Constants]\r\nMaxTimeouts=10x\r\nPingInterval=2 s\r\n"
                              "[ResetHost]\r\nChallengesCount=three\r\n"
                              "[Host2]\r\nTimeout=\x1b[2J\r\nTimeoutDoReset=yes\r\n"
                              "[Host3]\r\nTimeout=\r\nTimeoutDoReset=$0\r\n");
    TIniFile ini(ConfigFileName());
    const TSettings settings = TSettings::Load(ini, GetProgramDir());
    EXPECT_EQ(settings.BoundsProblems,
              (std::vector<std::string>{
                  "pingvard.ini [Constants] MaxTimeouts=10x: not a number; using 5",
                  "pingvard.ini [Constants] PingInterval=2 s: not a number; using 2000",
                  "pingvard.ini [ResetHost] ChallengesCount=three: not a number; using the "
                  "default script",
                  "pingvard.ini [Host2] Timeout=\\x1B[2J: not a number; using 1000",
                  "pingvard.ini [Host2] TimeoutDoReset=yes: not a number; using 1",
              }));
    EXPECT_EQ(settings.MaxTimeouts, 5);
    EXPECT_FALSE(settings.Hosts[2].DoReset);
    EXPECT_NE(dir.Read("pingvard.ini").find("MaxTimeouts=5\r\n"), std::string::npos);
}

} // namespace
} // namespace pingvard
