// SPDX-License-Identifier: GPL-3.0-or-later
// What the one reader of the newer sections says about a file that is not as
// meant: each case one file, the lines it gives and what is used instead.
#include "config/desktop_settings.h"
#include "config/observe_settings.h"
#include "config/recovery_settings.h"
#include "tests/config/temp_dir.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

struct TRead {
    TRecoverySettings Recovery;
    TObserveSettings Observe;
    std::vector<std::string> Problems; // recovery's, then the observers', then the desktop's
};

TRead ReadAll(const std::string& text) {
    const test::TTempCurrentDir dir;
    dir.Write("pingvard.ini", text);
    TIniFile ini((dir.Path() / "pingvard.ini").string());
    TRead read;
    read.Recovery = ReadRecoverySettings(ini, dir.Path().string() + "/");
    read.Problems = read.Recovery.Problems;
    read.Observe = ReadObserveSettings(ini, read.Problems);
    ReadDesktopSettings(ini, read.Problems);
    return read;
}

struct TLinesCase {
    const char* Name;
    std::string Ini;
    std::vector<std::string> Problems;
};

class SectionReaderLines : public testing::TestWithParam<TLinesCase> {};

TEST_P(SectionReaderLines, SayWhatIsUsedInstead) {
    EXPECT_EQ(ReadAll(GetParam().Ini).Problems, GetParam().Problems);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SectionReaderLines,
    testing::Values(
        TLinesCase{"ValuePastTheFilesLimit",
                   "[Recovery]\nActions=telnet," + std::string(2100, ' ') + "plug\n",
                   {"pingvard.ini [Recovery] Actions is longer than 2047 characters (2111); "
                    "using its first 2047"}},
        TLinesCase{"SectionTwice",
                   "[Guard]\nHoldOff=10\n[Host1]\nTimeout=1\n[guard]\nHoldOff=20\n",
                   {"pingvard.ini [Guard] is in the file 2 times (lines 1 and 5); of a key in "
                    "more than one, the first is used"}},
        TLinesCase{"HookNamedTwice",
                   "[Hooks]\nNames=pager, log ,pager\n[Hook.pager]\nProgram=p\nTimeLimit=0\n"
                   "[Hook.log]\nProgram=l\n",
                   {"pingvard.ini [Hooks] Names=pager, log ,pager: pager named twice; the "
                    "second left out",
                    "pingvard.ini [Hook.pager] TimeLimit=0: not between 1 and 3600; using 10"}},
        TLinesCase{"PasswordWithoutUserOrAuth",
                   "[Recovery]\nActions=plug\n[Action.plug]\nKind=http\n"
                   "Url=http://192.0.2.5/reboot\nPassword=pw\n",
                   {"pingvard.ini [Action.plug] has a Password but no Auth; using Auth=basic",
                    "pingvard.ini [Action.plug] has a Password but no User; sending it with an "
                    "empty user name"}},
        TLinesCase{
            "ControlCharactersEscaped",
            "[Guard]\nHoldOff=\x1b]0;owned\x07\x9b"
            "2J\n[Desktop]\nLanguage=\xc2\x9b"
            "de\n",
            {"pingvard.ini [Guard] HoldOff=\\x1B]0;owned\\x07\\x9B2J: not a number; using 180",
             "pingvard.ini [Desktop] Language=\\xC2\\x9Bde: neither cs nor en; using the "
             "locale's language"}},
        TLinesCase{"LongValueShortened",
                   "[Metrics]\nAddress=" + std::string(100, 'x') + "\n",
                   {"pingvard.ini [Metrics] Address=" + std::string(60, 'x') +
                    "...: not a numeric IPv4 or IPv6 address; using 127.0.0.1"}},
        TLinesCase{"OneFlagRule",
                   "[Guard]\nBackOff=2\n[Metrics]\nEnabled=2\n[Notifications]\nHostUp=yes\n",
                   {"pingvard.ini [Guard] BackOff=2: not 0 or 1; using 1",
                    "pingvard.ini [Metrics] Enabled=2: not 0 or 1; using 0",
                    "pingvard.ini [Notifications] HostUp=yes: not 0 or 1; using 0"}},
        TLinesCase{"EmptyValueIsTheDefault",
                   "[Guard]\nHoldOff=\n[Metrics]\nPort=\nEnabled=\n[Desktop]\nLanguage=\n",
                   {}}),
    [](const testing::TestParamInfo<TLinesCase>& p) { return std::string(p.param.Name); });

TEST(SectionReader, ASectionWrittenTwiceIsReadAsTheStoreReadsIt) {
    const TRead read = ReadAll("[Recovery]\nActions=plug\n[Action.plug]\nKind=program\n"
                               "Program=/bin/true\n[recovery]\nActions=other\nQuorum=2\n");
    ASSERT_EQ(read.Recovery.Actions.size(), 1u);
    EXPECT_EQ(read.Recovery.Actions[0].Name, "plug"); // the first [Recovery]'s Actions
    EXPECT_EQ(read.Recovery.Quorum, 2);               // found only in the second
}

TEST(SectionReader, AHookNamedTwiceRunsOnce) {
    const TRead read = ReadAll("[Hooks]\nNames=a,a\n[Hook.a]\nProgram=p\n");
    ASSERT_EQ(read.Observe.Hooks.size(), 1u);
}

TEST(SectionReader, APasswordWithoutAuthIsSentWithBasic) {
    const TRead read = ReadAll("[Recovery]\nActions=plug\n[Action.plug]\nKind=http\n"
                               "Url=http://192.0.2.5/reboot\nUser=u\nPassword=pw\n");
    EXPECT_EQ(read.Recovery.Actions[0].Http.Auth, THttpAuth::Basic);
}

} // namespace
} // namespace pingvard
