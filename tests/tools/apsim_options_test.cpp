// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_options.h"
#include "tools/apsim_record.h"
#include "tools/apsim_script.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pingvard::apsim {
namespace {

using TAction = TParseOutcome::TAction;

TEST(ApsimScript, DefaultScriptIsTheDevicesOwn) {
    const TScript script = DefaultScript();
    ASSERT_EQ(script.Steps.size(), 3U);
    EXPECT_EQ(script.Steps[0].Challenge, "password:");
    EXPECT_EQ(script.Steps[0].Answer, "kelvarno");
    EXPECT_EQ(script.Steps[1].Challenge, "Command>");
    EXPECT_EQ(script.Steps[1].Answer, "reset system");
    EXPECT_EQ(script.Steps[2].Challenge, "(y/n)?");
    EXPECT_EQ(script.Steps[2].Answer, "y");
}

TEST(ApsimScript, UnescapesAndRejectsMalformedEscapes) {
    EXPECT_EQ(UnescapeText("a\\r\\n\\t\\\\\\=\\|\\x41\\xfFz"), "a\r\n\t\\=|A\xff"
                                                               "z");
    for (const char* bad : {"\\", "\\q", "\\x4", "\\xg1", "ab\\x"}) {
        EXPECT_FALSE(UnescapeText(bad)) << bad;
    }
}

TEST(ApsimScript, StepSplitsAtTheFirstUnescapedEquals) {
    const auto step = ParseStepText("a\\=b=c=d");
    ASSERT_TRUE(step);
    EXPECT_EQ(step->Challenge, "a=b");
    EXPECT_EQ(step->Answer, "c=d");
    EXPECT_FALSE(ParseStepText("no separator"));
    const auto empty = ParseStepText("=");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Challenge, "");
}

class ApsimScriptFile : public ::testing::Test {
protected:
    std::string Write(const std::string& text) {
        std::ofstream(m_path, std::ios::binary) << text;
        return m_path;
    }
    void TearDown() override { std::remove(m_path.c_str()); }
    std::string m_path = ::testing::TempDir() + "apsim_script_" + std::to_string(getpid());
};

TEST_F(ApsimScriptFile, ReadsEveryDirective) {
    std::string error;
    const auto script = LoadScriptFile(Write("# a device\r\n"
                                             "banner Hello\\r\\n\n"
                                             "\n"
                                             "before Please \n"
                                             "step Login:=admin\n"
                                             "step Sure?=yes\n"
                                             "rejected Nope\n"
                                             "farewell Bye\n"),
                                       error);
    ASSERT_TRUE(script) << error;
    EXPECT_EQ(script->Banner, "Hello\r\n");
    ASSERT_EQ(script->Steps.size(), 2U);
    EXPECT_EQ(script->Steps[0].Before, "Please ");
    EXPECT_EQ(script->Steps[0].Challenge, "Login:");
    EXPECT_EQ(script->Steps[1].Before, "");
    EXPECT_EQ(script->Rejected, "Nope");
    EXPECT_EQ(script->Farewell, "Bye");
}

TEST_F(ApsimScriptFile, ReportsTheLineOfAnError) {
    for (const auto& [text, where] :
         {std::pair{"step a=b\nstep nothing\n", ":2: "}, std::pair{"banner \\q\n", ":1: "},
          std::pair{"\n\nprompt x\n", ":3: "}}) {
        std::string error;
        EXPECT_FALSE(LoadScriptFile(Write(text), error)) << text;
        EXPECT_NE(error.find(where), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(LoadScriptFile(m_path + ".missing", error));
}

TEST(ApsimOptions, DefaultsListenOnTheTelnetPortWithTheDefaultScript) {
    const auto parsed = ParseApsimCommandLine({});
    ASSERT_EQ(parsed.Action, TAction::Run);
    EXPECT_EQ(parsed.Options.ListenAddress, "0.0.0.0");
    EXPECT_EQ(parsed.Options.Port, "23");
    EXPECT_EQ(parsed.Options.Script.Steps.size(), 3U);
    EXPECT_FALSE(parsed.Options.StallAfter());
}

TEST(ApsimOptions, ModesCombineInEverySpelling) {
    const auto parsed = ParseApsimCommandLine(
        {"--mode", "stop-after", "2", "--mode", "trickle,split-bytes", "--mode",
         "reset-during-answer", "--port", "2323", "--mode", "chatter,abort-on-reset"});
    ASSERT_EQ(parsed.Action, TAction::Run) << parsed.Error;
    const auto& o = parsed.Options;
    EXPECT_EQ(o.StopAfter, 2);
    EXPECT_EQ(o.StallAfter(), 2);
    EXPECT_TRUE(o.Trickle);
    EXPECT_TRUE(o.SplitBytes);
    EXPECT_EQ(o.ResetDuringAnswer, 1);
    EXPECT_EQ(o.Port, "2323");
    EXPECT_TRUE(o.Chatter);
    EXPECT_TRUE(o.AbortOnReset);
    EXPECT_EQ(o.ModeNames,
              (std::vector<std::string>{"stop-after=2", "trickle", "split-bytes",
                                        "reset-during-answer", "chatter", "abort-on-reset"}));
}

TEST(ApsimOptions, StallPointFollowsTheModes) {
    const auto stall = [](std::vector<std::string> args) {
        return ParseApsimCommandLine(args).Options.StallAfter();
    };
    EXPECT_EQ(stall({"--mode", "never-prompt"}), 0);
    EXPECT_EQ(stall({"--mode", "flood"}), 0);
    EXPECT_EQ(stall({"--mode", "flood,stop-after=1"}), 1);
    EXPECT_FALSE(stall({"--mode", "close-mid-script=1"}));
}

TEST(ApsimOptions, StepsReplaceTheDefaultScriptAndTakeTheirTexts) {
    const auto parsed = ParseApsimCommandLine(
        {"--step", "a:=1", "--before", "Say\\r\\n", "--step", "b:=2", "--banner", ""});
    ASSERT_EQ(parsed.Action, TAction::Run) << parsed.Error;
    const auto& steps = parsed.Options.Script.Steps;
    ASSERT_EQ(steps.size(), 2U);
    EXPECT_EQ(steps[0].Before, "");
    EXPECT_EQ(steps[1].Before, "Say\r\n");
    EXPECT_EQ(steps[1].Challenge, "b:");
    EXPECT_EQ(parsed.Options.Script.Banner, "");
}

TEST(ApsimOptions, BareLeavesOnlyThePrompts) {
    const auto parsed = ParseApsimCommandLine({"--bare"});
    const auto& script = parsed.Options.Script;
    EXPECT_EQ(script.Banner + script.Rejected + script.Farewell, "");
    ASSERT_EQ(script.Steps.size(), 3U);
    for (const auto& step : script.Steps) {
        EXPECT_EQ(step.Before, "") << step.Challenge;
    }
}

TEST(ApsimOptions, RejectsBadCommandLines) {
    const std::vector<std::vector<std::string>> bad = {
        {"--frobnicate"},
        {"--port"},
        {"--exit-after", "-1"},
        {"--exit-after", "3x"},
        {"--mode", "stop-after"},
        {"--mode", "trickle=2"},
        {"--mode", "sideways"},
        {"--mode", "reset-during-answer=0"},
        {"--mode", "close-mid-script=3"},
        {"--mode", "stop-after=1", "--step", "only=one"},
        {"--step", "x"},
        {"--banner", "\\"},
        {"--flood-bytes", "lots"},
    };
    for (const auto& args : bad) {
        const auto parsed = ParseApsimCommandLine(args);
        EXPECT_EQ(parsed.Action, TAction::Error) << args[0] << " " << args.size();
        EXPECT_FALSE(parsed.Error.empty());
    }
    EXPECT_EQ(ParseApsimCommandLine({"--port", "1", "--help", "--bogus"}).Action, TAction::Help);
    EXPECT_EQ(ParseApsimCommandLine({"--version", "--bogus"}).Action, TAction::Version);
}

TEST(ApsimRecord, FormatsOneParsableLine) {
    TSessionRecord record;
    record.Number = 7;
    record.Peer = "[::1]:4000";
    record.Accepted = {100, 1700000000000};
    record.TerminalType = "VT 100";
    record.Answers = {{"ok", {120, 1700000000020}, "reset system"},
                      {"wrong", {130, 1700000000030}, "%\xff"}};
    record.Outcome = "closed-by-client";
    record.Ended = {140, 1700000000040};
    EXPECT_EQ(FormatRecord(record),
              "apsim v=1 session=7 peer=[::1]:4000 modes=- accepted_mono_ms=100 "
              "accepted_real_ms=1700000000000 ttype=VT%20100 naws=- answers=2 "
              "answer1=ok:120:1700000000020:reset%20system "
              "answer2=wrong:130:1700000000030:%25%FF last_answer_mono_ms=130 "
              "last_answer_real_ms=1700000000030 confirmed_mono_ms=- confirmed_real_ms=- "
              "outcome=closed-by-client end_mono_ms=140 end_real_ms=1700000000040");
    record.Answers.clear();
    EXPECT_NE(FormatRecord(record).find(" answers=0 last_answer_mono_ms=- last_answer_real_ms=- "),
              std::string::npos);
}

} // namespace
} // namespace pingvard::apsim
