// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator as a process on loopback, driven by a scripted raw client.
#include "tests/tools/apsim_harness.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace pingvard::apsim::test {
namespace {

using TRecord = std::map<std::string, std::string>;

TRecord ParseRecord(const std::string& line) {
    TRecord record;
    std::istringstream in(line);
    for (std::string token; in >> token;) {
        const auto eq = token.find('=');
        record[token.substr(0, eq)] = eq == std::string::npos ? "" : token.substr(eq + 1);
    }
    return record;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) {
        out += char(v);
    }
    return out;
}

// A fresh directory for one test's files, removed with them whatever the
// outcome; declared before the simulator, so that it outlives its last write.
class TScratchDir {
public:
    TScratchDir() {
        std::string pattern = std::filesystem::temp_directory_path() / "pingvard-apsim-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    std::string Path(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Plays the default script to its end with the right answers.
void PlayDefaultScript(TTestClient& client) {
    ASSERT_TRUE(client.ReadUntil("password:"));
    client.SendAnswer("kelvarno");
    ASSERT_TRUE(client.ReadUntil("Command>"));
    client.SendAnswer("reset system");
    ASSERT_TRUE(client.ReadUntil("(y/n)?"));
    client.SendAnswer("y");
    const std::string farewell = client.ReadFor(5000); // until the console hangs up
    EXPECT_TRUE(client.Ended);
    EXPECT_NE(farewell.find("restarting"), std::string::npos);
    client.Close();
}

TEST(ApsimLive, OpensLikeATelnetDaemonAndAsksForTheTerminalType) {
    TApsimProcess apsim({});
    ASSERT_GT(apsim.Port(), 0) << apsim.StartLine();
    TTestClient client;
    client.AnswerNegotiation = false;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    EXPECT_EQ(client.ReadRaw(12), Bytes({255, 251, 1, 255, 251, 3, 255, 253, 24, 255, 253, 31}));
    // The refusals and acceptances of pingvard's own client.
    client.Send(Bytes({255, 254, 1, 255, 253, 3, 255, 251, 24, 255, 252, 31}));
    EXPECT_EQ(client.ReadRaw(18).substr(12), Bytes({255, 250, 24, 1, 255, 240}));
    client.Send(Bytes({255, 250, 24, 0}) + "VT-X" + Bytes({255, 240}));
    client.AnswerNegotiation = true;
    PlayDefaultScript(client);
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("ttype"), "VT-X");
    EXPECT_EQ(record.at("naws"), "-");
    EXPECT_EQ(record.at("outcome"), "reset");
}

TEST(ApsimLive, RecordsACorrectScriptAndRunsTheResetCommand) {
    const TScratchDir scratch;
    const std::string recordFile = scratch.Path("record.txt");
    const std::string marker = scratch.Path("reset-ran");
    TApsimProcess apsim({"--record", recordFile, "--on-reset", "touch '" + marker + "'"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    PlayDefaultScript(client);
    const std::string line = apsim.NextRecord();
    const TRecord record = ParseRecord(line);
    EXPECT_EQ(record.at("apsim"), "");
    EXPECT_EQ(record.at("v"), "1");
    EXPECT_EQ(record.at("session"), "1");
    EXPECT_EQ(record.at("peer").rfind("127.0.0.1:", 0), 0U);
    EXPECT_EQ(record.at("ttype"), "PINGVARD");
    EXPECT_EQ(record.at("answers"), "3");
    EXPECT_EQ(record.at("answer1").substr(0, 3), "ok:");
    EXPECT_TRUE(record.at("answer2").ends_with(":reset%20system"));
    EXPECT_EQ(record.at("outcome"), "reset");
    const long long accepted = std::stoll(record.at("accepted_mono_ms"));
    const long long last = std::stoll(record.at("last_answer_mono_ms"));
    EXPECT_LE(accepted, last);
    EXPECT_LE(last, std::stoll(record.at("end_mono_ms")));
    EXPECT_NE(record.at("answer3").find(":" + record.at("last_answer_mono_ms") + ":"),
              std::string::npos);
    EXPECT_GT(std::stoll(record.at("accepted_real_ms")), 1'500'000'000'000LL);

    TTestClient second; // the next session is served after the reset command
    ASSERT_TRUE(second.Connect("127.0.0.1", apsim.Port()));
    ASSERT_TRUE(second.ReadUntil("password:"));
    EXPECT_EQ(access(marker.c_str(), F_OK), 0) << "--on-reset did not run";
    std::ifstream in(recordFile);
    std::string fileLine;
    std::getline(in, fileLine);
    EXPECT_EQ(fileLine, line);
}

TEST(ApsimLive, RefusesAWrongAnswerAndPromptsAgain) {
    TApsimProcess apsim({"--exit-after", "1"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    ASSERT_TRUE(client.ReadUntil("password:"));
    client.SendAnswer("guess");
    const auto between = client.ReadUntil("password:");
    ASSERT_TRUE(between);
    EXPECT_NE(between->find("Invalid response"), std::string::npos);
    client.Send("kelvarno\n"); // right text, but not the CR LF a client must send
    ASSERT_TRUE(client.ReadUntil("password:"));
    client.SendAnswer("kelvarno");
    ASSERT_TRUE(client.ReadUntil("Command>"));
    client.SendAnswer("reset system");
    ASSERT_TRUE(client.ReadUntil("(y/n)?"));
    client.SendAnswer("y");
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("answers"), "5");
    EXPECT_TRUE(record.at("answer1").starts_with("wrong:"));
    EXPECT_TRUE(record.at("answer1").ends_with(":guess"));
    EXPECT_TRUE(record.at("answer2").starts_with("bad-eol:"));
    EXPECT_TRUE(record.at("answer3").starts_with("ok:"));
    EXPECT_EQ(record.at("outcome"), "reset");
    client.Close();
    EXPECT_EQ(apsim.WaitExit(10000), 0);
}

struct TWrongCase {
    const char* Name;
    std::vector<std::string> Args;
    std::string Answer;
    const char* Status;
};

class ApsimLiveWrong : public ::testing::TestWithParam<TWrongCase> {};

TEST_P(ApsimLiveWrong, HangsUpAfterMaxWrongAnswers) {
    auto args = GetParam().Args;
    args.insert(args.end(), {"--max-wrong", "2"});
    TApsimProcess apsim(args);
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_TRUE(client.ReadUntil("password:")) << attempt;
        client.SendAnswer(GetParam().Answer);
    }
    client.ReadFor(5000);
    EXPECT_TRUE(client.Ended);
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("outcome"), "wrong-answer");
    EXPECT_EQ(record.at("answers"), "2");
    EXPECT_TRUE(record.at("answer2").starts_with(GetParam().Status));
}

INSTANTIATE_TEST_SUITE_P(Modes, ApsimLiveWrong,
                         ::testing::Values(TWrongCase{"WrongAnswer", {}, "nope", "wrong:"},
                                           TWrongCase{"WrongPasswordMode",
                                                      {"--mode", "wrong-password"},
                                                      "kelvarno",
                                                      "rejected:"}),
                         [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(ApsimLive, RefuseModeDoesNotListenButKeepsRunning) {
    const int probe = socket(AF_INET, SOCK_STREAM, 0); // a port nobody uses
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    const int port = ntohs(address.sin_port);
    TApsimProcess apsim({"--mode", "refuse", "--port", std::to_string(port)});
    EXPECT_NE(apsim.StartLine().find("refusing"), std::string::npos);
    TTestClient client;
    EXPECT_FALSE(client.Connect("127.0.0.1", port));
    EXPECT_EQ(client.Error, ECONNREFUSED);
    EXPECT_EQ(apsim.WaitExit(0), -1);
    apsim.Signal(SIGTERM);
    EXPECT_EQ(apsim.WaitExit(5000), 0);
}

TEST(ApsimLive, NeverPromptNegotiatesThenStaysSilent) {
    TApsimProcess apsim({"--mode", "never-prompt"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    EXPECT_EQ(client.ReadFor(600), "");
    EXPECT_FALSE(client.Ended);
    EXPECT_GE(client.Commands.size(), 5U); // four offers and the terminal-type request
    apsim.Signal(SIGTERM);                 // ends the session in progress
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("outcome"), "shutdown");
    EXPECT_EQ(record.at("ttype"), "PINGVARD");
    EXPECT_EQ(apsim.WaitExit(5000), 0);
}

TEST(ApsimLive, StopAfterOneAnswersTheFirstStepOnly) {
    TApsimProcess apsim({"--mode", "stop-after", "1"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    ASSERT_TRUE(client.ReadUntil("password:"));
    client.SendAnswer("kelvarno");
    EXPECT_EQ(client.ReadFor(600).find("Command>"), std::string::npos);
    EXPECT_FALSE(client.Ended);
}

TEST(ApsimLive, CloseMidScriptHangsUpAfterTheAnswer) {
    TApsimProcess apsim({"--mode", "close-mid-script=2"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    ASSERT_TRUE(client.ReadUntil("password:"));
    client.SendAnswer("kelvarno");
    ASSERT_TRUE(client.ReadUntil("Command>"));
    client.SendAnswer("reset system");
    EXPECT_EQ(client.ReadFor(5000).find("(y/n)?"), std::string::npos);
    EXPECT_TRUE(client.Ended);
    EXPECT_EQ(client.Error, 0) << "a FIN, not a reset";
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("outcome"), "closed-mid-script");
    EXPECT_EQ(record.at("answers"), "2");
}

TEST(ApsimLive, SplitBytesSendsEveryByteOnItsOwn) {
    TApsimProcess apsim({"--mode", "split-bytes", "--split-pause", "20", "--banner", ""});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    ASSERT_TRUE(client.ReadUntil("password:"));
    // A loaded machine may let two bytes meet in the receive buffer now and
    // then; coalescing on the sending side would make nearly all chunks long.
    std::size_t single = 0;
    for (auto size : client.Chunks) {
        single += size == 1 ? 1 : 0;
    }
    EXPECT_GE(single * 10, client.Raw.size() * 7) << single << " of " << client.Raw.size();
    client.SendAnswer("kelvarno");
    ASSERT_TRUE(client.ReadUntil("Command>"));
}

TEST(ApsimLive, TrickleSendsFillerForeverWithoutThePrompt) {
    TApsimProcess apsim({"--mode", "stop-after=1,trickle", "--trickle-interval", "50"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    ASSERT_TRUE(client.ReadUntil("password:"));
    client.SendAnswer("kelvarno");
    const std::string data = client.ReadFor(1000);
    EXPECT_GE(data.size(), 5U);
    EXPECT_LE(data.size(), 60U);
    EXPECT_EQ(data.find("Command>"), std::string::npos);
}

TEST(ApsimLive, FloodStreamsTheGivenAmountWithoutThePrompt) {
    TApsimProcess apsim({"--mode", "flood", "--flood-bytes", "3000000", "--banner", ""});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    std::string data;
    for (int i = 0; i < 100 && data.size() < 3000000; ++i) {
        data += client.ReadFor(100);
    }
    data += client.ReadFor(300);
    EXPECT_EQ(data.size(), 3000000U);
    EXPECT_EQ(data.find("password:"), std::string::npos);
    EXPECT_FALSE(client.Ended);
}

TEST(ApsimLive, IacStormEndsAndTheScriptStillCompletes) {
    TApsimProcess apsim({"--mode", "iac-storm", "--storm-rounds", "3"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    PlayDefaultScript(client);
    std::map<std::string, int> seen;
    for (const auto& command : client.Commands) {
        ++seen[command];
    }
    for (int verb : {251, 252, 253, 254}) {
        EXPECT_GE(seen[Bytes({255, verb, 200})], 3 * 3) << verb; // 3 rounds before 3 prompts
    }
    EXPECT_EQ(ParseRecord(apsim.NextRecord()).at("outcome"), "reset");
}

TEST(ApsimLive, ResetDuringAnswerAbortsWithRst) {
    TApsimProcess apsim({"--mode", "reset-during-answer=2"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    ASSERT_TRUE(client.ReadUntil("password:"));
    client.SendAnswer("kelvarno");
    ASSERT_TRUE(client.ReadUntil("Command>"));
    client.SendAnswer("reset system");
    client.ReadFor(5000);
    EXPECT_TRUE(client.Ended);
    EXPECT_EQ(client.Error, ECONNRESET);
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("outcome"), "rst-sent");
    EXPECT_EQ(record.at("answers"), "1");
}

TEST(ApsimLive, BurstShowsEveryPromptBeforeTheFirstAnswer) {
    TApsimProcess apsim({"--mode", "burst"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    ASSERT_TRUE(client.ReadUntil("password:"));
    ASSERT_TRUE(client.ReadUntil("Command>"));
    ASSERT_TRUE(client.ReadUntil("(y/n)?"));
    for (const char* answer : {"kelvarno", "reset system", "y"}) {
        client.SendAnswer(answer);
    }
    EXPECT_EQ(ParseRecord(apsim.NextRecord()).at("outcome"), "reset");
}

TEST(ApsimLive, CustomStepWithoutOffersPutsThePromptFirstAndMatchesByte255) {
    TApsimProcess apsim(
        {"--no-offers", "--bare", "--step", "login:=a\\xffb", "--step", "go\\=now?=yes"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    EXPECT_EQ(client.ReadUntil("login:"), std::string());
    EXPECT_TRUE(client.Commands.empty());
    client.SendAnswer("a\xff"
                      "b");
    EXPECT_EQ(client.ReadUntil("go=now?"), std::string("a\xff"
                                                       "b\r\n")); // the echo
    client.SendAnswer("yes");
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("outcome"), "reset");
    EXPECT_EQ(record.at("ttype"), "-");
    EXPECT_TRUE(record.at("answer1").ends_with(":a%FFb"));
}

TEST(ApsimLive, ServesIpv6Loopback) {
    TApsimProcess apsim({"--listen", "::1", "--exit-after", "1"});
    if (apsim.Port() == 0) {
        GTEST_SKIP() << "no IPv6 loopback here: " << apsim.StartLine();
    }
    TTestClient client;
    ASSERT_TRUE(client.Connect("::1", apsim.Port()));
    PlayDefaultScript(client);
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("peer").rfind("[::1]:", 0), 0U);
    EXPECT_EQ(apsim.WaitExit(10000), 0);
}

TEST(ApsimLive, SessionLimitEndsASilentSession) {
    TApsimProcess apsim({"--mode", "never-prompt", "--session-limit", "300"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    client.ReadFor(10000);
    EXPECT_TRUE(client.Ended);
    EXPECT_EQ(ParseRecord(apsim.NextRecord()).at("outcome"), "timeout");
}

TEST(ApsimLive, ClientHangingUpIsRecorded) {
    TApsimProcess apsim({});
    {
        TTestClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
        ASSERT_TRUE(client.ReadUntil("password:"));
    }
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("outcome"), "closed-by-client");
    EXPECT_EQ(record.at("answers"), "0");
    EXPECT_EQ(record.at("last_answer_mono_ms"), "-");
}

// Answers the whole default script; the client then keeps the line.
void AnswerDefaultScript(TTestClient& client) {
    ASSERT_TRUE(client.ReadUntil("password:"));
    client.SendAnswer("kelvarno");
    ASSERT_TRUE(client.ReadUntil("Command>"));
    client.SendAnswer("reset system");
    ASSERT_TRUE(client.ReadUntil("(y/n)?"));
    client.SendAnswer("y");
}

TEST(ApsimLive, ClientHangingUpRightAfterTheLastAnswerResetsNothing) {
    TApsimProcess apsim({});
    for (int round = 0; round < 5; ++round) {
        TTestClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
        AnswerDefaultScript(client);
        client.Close(); // before the console has read the answer
        const TRecord record = ParseRecord(apsim.NextRecord());
        EXPECT_EQ(record.at("outcome"), "closed-by-client") << "round " << round;
        EXPECT_EQ(record.at("answers"), "3");
        EXPECT_TRUE(record.at("answer3").starts_with("lost:"));
        EXPECT_EQ(record.at("confirmed_mono_ms"), "-");
    }
}

TEST(ApsimLive, ConsoleReadsTheAnswerAfterItsDelayAndHangsUpThen) {
    TApsimProcess apsim({"--console-delay", "200"});
    TTestClient early;
    ASSERT_TRUE(early.Connect("127.0.0.1", apsim.Port()));
    AnswerDefaultScript(early);
    early.ReadFor(80);
    early.Close();
    EXPECT_EQ(ParseRecord(apsim.NextRecord()).at("outcome"), "closed-by-client");

    TTestClient patient;
    ASSERT_TRUE(patient.Connect("127.0.0.1", apsim.Port()));
    AnswerDefaultScript(patient);
    EXPECT_NE(patient.ReadFor(5000).find("restarting"), std::string::npos);
    EXPECT_TRUE(patient.Ended);
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("outcome"), "reset");
    EXPECT_GE(std::stoll(record.at("confirmed_mono_ms")),
              std::stoll(record.at("last_answer_mono_ms")) + 200);
}

TEST(ApsimLive, EchoesWhatTheClientTypesExceptAPassword) {
    TApsimProcess apsim({"--console-delay", "0"});
    TTestClient client; // refuses WILL ECHO, as pingvard does
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    ASSERT_TRUE(client.ReadUntil("password:"));
    client.SendAnswer("kelvarno");
    const auto afterPassword = client.ReadUntil("Command>");
    ASSERT_TRUE(afterPassword);
    EXPECT_EQ(afterPassword->find("kelvarno"), std::string::npos);
    client.SendAnswer("reset system");
    const auto afterCommand = client.ReadUntil("(y/n)?");
    ASSERT_TRUE(afterCommand);
    EXPECT_TRUE(afterCommand->starts_with("reset system\r\n")) << *afterCommand;
}

TEST(ApsimLive, ChatterKeepsTalkingUntilTheClientHangsUp) {
    TApsimProcess apsim({"--mode", "chatter", "--chatter-interval", "50"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    AnswerDefaultScript(client);
    EXPECT_NE(client.ReadFor(600).find("[5] restart in progress"), std::string::npos);
    EXPECT_FALSE(client.Ended);
    client.Close();
    EXPECT_EQ(ParseRecord(apsim.NextRecord()).at("outcome"), "reset");
}

TEST(ApsimLive, AbortOnResetSendsRstOnceTheConsoleHasTheAnswer) {
    TApsimProcess apsim({"--mode", "abort-on-reset"});
    TTestClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", apsim.Port()));
    AnswerDefaultScript(client);
    client.ReadFor(5000);
    EXPECT_TRUE(client.Ended);
    EXPECT_EQ(client.Error, ECONNRESET);
    const TRecord record = ParseRecord(apsim.NextRecord());
    EXPECT_EQ(record.at("outcome"), "reset");
    EXPECT_NE(record.at("confirmed_mono_ms"), "-");
}

TEST(ApsimLive, CommandLineErrorsExitWithStatusTwo) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus"},
                                                 {"--mode", "sideways"},
                                                 {"--port"},
                                                 {"--mode", "stop-after"},
                                                 {"--step", "no-separator"}}) {
        std::string errorText;
        EXPECT_EQ(RunApsimToExit(args, errorText), 2) << args[0];
        EXPECT_NE(errorText.find("--help"), std::string::npos) << errorText;
    }
    std::string errorText;
    EXPECT_EQ(RunApsimToExit({"--help"}, errorText), 0);
}

} // namespace
} // namespace pingvard::apsim::test
