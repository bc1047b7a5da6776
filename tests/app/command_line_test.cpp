// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>
#include <unistd.h>

namespace pingvard {
namespace {

struct TParseCase {
    std::vector<std::string_view> Args;
    bool Help = false, Version = false, Headless = false;
    std::vector<std::string> Directories;
};

class ValidCommandLine : public testing::TestWithParam<TParseCase> {};

TEST_P(ValidCommandLine, GivesTheOptions) {
    const auto& c = GetParam();
    const auto result = ParseCommandLine(c.Args);
    ASSERT_EQ(result.Error, "");
    EXPECT_EQ(result.Options.Help, c.Help);
    EXPECT_EQ(result.Options.Version, c.Version);
    EXPECT_EQ(result.Options.Headless, c.Headless);
    EXPECT_EQ(result.Options.Directories, c.Directories);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValidCommandLine,
    testing::Values(TParseCase{{}, false, false, false, {}},
                    TParseCase{{"--help"}, true, false, false, {}},
                    TParseCase{{"-h"}, true, false, false, {}},
                    TParseCase{{"--version"}, false, true, false, {}},
                    TParseCase{{"--headless"}, false, false, true, {}},
                    TParseCase{{"-C", "/tmp"}, false, false, false, {"/tmp"}},
                    TParseCase{{"-C/tmp"}, false, false, false, {"/tmp"}},
                    TParseCase{{"--directory", "site a"}, false, false, false, {"site a"}},
                    TParseCase{{"--directory=x=y"}, false, false, false, {"x=y"}},
                    TParseCase{
                        {"-C", "a", "--headless", "-C", "b"}, false, false, true, {"a", "b"}},
                    TParseCase{{"-C", "--headless"}, false, false, false, {"--headless"}},
                    TParseCase{{"--headless", "--"}, false, false, true, {}},
                    TParseCase{{"--version", "--help"}, true, true, false, {}}));

TEST(CommandLine, DebugAsksForTheDetails) {
    EXPECT_FALSE(ParseCommandLine({"--headless"}).Options.Debug);
    EXPECT_TRUE(ParseCommandLine({"--headless", "--debug"}).Options.Debug);
}

struct TErrorCase {
    std::vector<std::string_view> Args;
    std::string Error;
};

class InvalidCommandLine : public testing::TestWithParam<TErrorCase> {};

TEST_P(InvalidCommandLine, SaysWhatIsWrong) {
    const auto result = ParseCommandLine(GetParam().Args);
    EXPECT_EQ(result.Error, GetParam().Error);
    EXPECT_FALSE(result.Options.Help); // an invalid line never starts anything
    EXPECT_FALSE(result.Options.Headless);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InvalidCommandLine,
    testing::Values(
        TErrorCase{{"--verbose"}, "unknown option '--verbose'"},
        TErrorCase{{"--head"}, "unknown option '--head'"}, // no abbreviations
        TErrorCase{{"-x"}, "unknown option '-x'"}, TErrorCase{{"-hC", "x"}, "unknown option '-hC'"},
        TErrorCase{{"--help=yes"}, "option '--help' takes no value"},
        TErrorCase{{"--debug=1"}, "option '--debug' takes no value"},
        TErrorCase{{"-C"}, "option '-C' needs a directory"},
        TErrorCase{{"--directory"}, "option '--directory' needs a directory"},
        TErrorCase{{"--directory="}, "option '--directory' needs a non-empty directory"},
        TErrorCase{{"-C", ""}, "option '-C' needs a non-empty directory"},
        TErrorCase{{"pingvard.ini"}, "unexpected argument 'pingvard.ini'"},
        TErrorCase{{"-"}, "unexpected argument '-'"},
        TErrorCase{{"--", "--help"}, "unexpected argument '--help'"},
        TErrorCase{{"--help", "--bogus"}, "unknown option '--bogus'"},
        TErrorCase{{"--lang"}, "option '--lang' needs cs or en"},
        TErrorCase{{"--lang=de"}, "option '--lang' needs cs or en, not 'de'"},
        TErrorCase{{"--lang", "CS"}, "option '--lang' needs cs or en, not 'CS'"},
        TErrorCase{{"--history", "a", "b"}, "unexpected argument 'b'"},
        TErrorCase{{"--history", "--since"}, "option '--since' needs a time span"},
        TErrorCase{{"--history", "--since=0h"},
                   "option '--since' needs a time span such as 90s, 30m, 24h, 7d "
                   "or 2w, not '0h'"},
        TErrorCase{{"--csv"}, "options '--since' and '--csv' go with '--history'"},
        TErrorCase{{"--since", "1h"}, "options '--since' and '--csv' go with '--history'"},
        TErrorCase{{"--test-notify"}, "option '--test-notify' needs a channel name"},
        TErrorCase{{"--test-notify="}, "option '--test-notify' needs a non-empty channel name"}));

TEST(CommandLine, TestNotifyTakesTheChannelsName) {
    EXPECT_EQ(ParseCommandLine({"--test-notify", "phone"}).Options.TestNotify, "phone");
    EXPECT_EQ(ParseCommandLine({"--test-notify=mail", "-C", "d"}).Options.TestNotify, "mail");
}

TEST(CommandLine, LangTakesCsOrEnAndTheLastOneCounts) {
    const std::pair<std::vector<std::string_view>, std::string> cases[] = {
        {{}, ""},
        {{"--lang", "en"}, "en"},
        {{"--lang=cs", "--headless"}, "cs"},
        {{"--lang=cs", "--lang=en"}, "en"},
    };
    for (const auto& [args, language] : cases) {
        const auto result = ParseCommandLine(args);
        ASSERT_EQ(result.Error, "");
        EXPECT_EQ(result.Options.Language, language);
    }
}

struct THistoryCase {
    std::vector<std::string_view> Args;
    std::string Host, Since;
    bool Csv = false;
};

class HistoryCommandLine : public testing::TestWithParam<THistoryCase> {};

TEST_P(HistoryCommandLine, TakesTheHostTheSpanAndTheFormat) {
    const auto result = ParseCommandLine(GetParam().Args);
    ASSERT_EQ(result.Error, "");
    EXPECT_TRUE(result.Options.History);
    EXPECT_EQ(result.Options.HistoryHost, GetParam().Host);
    EXPECT_EQ(result.Options.Since, GetParam().Since);
    EXPECT_EQ(result.Options.Csv, GetParam().Csv);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HistoryCommandLine,
    testing::Values(
        THistoryCase{{"--history"}, "", "", false},
        THistoryCase{{"--history", "Router", "--since", "7d", "--csv"}, "Router", "7d", true},
        THistoryCase{{"--csv", "--since=90m", "--history", "10.0.0.1"}, "10.0.0.1", "90m", true},
        THistoryCase{{
                         "-C",
                         "dir",
                         "--history",
                         "--",
                     },
                     "",
                     "",
                     false}));

TEST(CommandLine, IncidentsAreOfferedAndTakeNoHostAndNotHistoryToo) {
    const std::pair<std::vector<std::string_view>, std::string> cases[] = {
        {{"--incidents", "--history"}, "options '--history' and '--incidents' go one at a time"},
        {{"--incidents", "host"}, "unexpected argument 'host'"},
        {{"--incidents=1"}, "option '--incidents' takes no value"},
    };
    for (const auto& [args, error] : cases) {
        EXPECT_EQ(ParseCommandLine(args).Error, error);
    }
    EXPECT_NE(UsageText(false).find("--incidents"), std::string::npos);
}

TEST(CommandLine, IncidentsTakeTheSpanAndTheFormat) {
    const std::tuple<std::vector<std::string_view>, std::string, bool> cases[] = {
        {{"--incidents"}, "", false},
        {{"--since=7d", "--incidents", "--csv"}, "7d", true},
    };
    for (const auto& [args, since, csv] : cases) {
        const auto result = ParseCommandLine(args);
        ASSERT_EQ(result.Error, "");
        EXPECT_TRUE(result.Options.Incidents);
        EXPECT_FALSE(result.Options.History);
        EXPECT_EQ(result.Options.Since, since);
        EXPECT_EQ(result.Options.Csv, csv);
    }
}

TEST(CommandLine, ReadsArgvAfterTheProgramName) {
    const char* argv[] = {"pingvard", "--headless", "-C", "dir", nullptr};
    const auto result = ParseCommandLine(4, argv);
    ASSERT_EQ(result.Error, "");
    EXPECT_TRUE(result.Options.Headless);
    EXPECT_EQ(result.Options.Directories, std::vector<std::string>{"dir"});
}

TEST(CommandLine, UsageNamesEveryOptionAndTheExitStatuses) {
    for (bool desktop : {false, true}) {
        const auto text = UsageText(desktop);
        for (const char* word :
             {"--directory", "-C", "--headless", "--lang", "--history", "--since", "--csv",
              "--test-notify", "--help", "--version", "Exit status"})
            EXPECT_NE(text.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(VersionText().rfind("pingvard ", 0), 0u);
}

TEST(CommandLine, DesktopUsageDescribesTheTrayProgramWithoutHeadless) {
    const auto text = DesktopUsageText();
    EXPECT_EQ(text.rfind("Usage: pingvard-desktop ", 0), 0u);
    for (const char* word : {"--directory", "-C", "--lang", "--help", "--version", "Exit status"})
        EXPECT_NE(text.find(word), std::string::npos) << word;
    EXPECT_EQ(text.find("--headless "), std::string::npos); // only named as pingvard's
    EXPECT_EQ(VersionText("pingvard-desktop").rfind("pingvard-desktop ", 0), 0u);
}

TEST(CommandLine, EntersDirectoriesInTurnAndReportsTheOneMissing) {
    const auto start = std::filesystem::current_path();
    const auto base =
        std::filesystem::temp_directory_path() / ("pingvard_cd_" + std::to_string(getpid()));
    std::filesystem::create_directories(base / "a" / "b");
    EXPECT_EQ(ChangeDirectories({base.string(), "a", "b"}), "");
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(base / "a" / "b"));
    const auto error = ChangeDirectories({"missing"});
    EXPECT_EQ(error, "cannot change directory to 'missing': No such file or directory");
    std::filesystem::current_path(start);
    std::filesystem::remove_all(base);
}

} // namespace
} // namespace pingvard
