// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/dialog/recovery_write.h"
#include "config/recovery_settings.h"
#include "tests/config/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pingvard {
namespace {

TRecoverySettings Read(const test::TTempCurrentDir& dir, const std::string& ini) {
    dir.Write("pingvard.ini", ini);
    TIniFile file((dir.Path() / "pingvard.ini").string());
    return ReadRecoverySettings(file, dir.Path().string() + "/");
}

TEST(RecoverySettings, AbsentSectionsGiveTheSafeDefaultsAndAreNeverWritten) {
    const test::TTempCurrentDir dir;
    const std::string historic = "[Constants]\r\nMaxTimeouts=5\r\n";
    const TRecoverySettings s = Read(dir, historic);
    ASSERT_EQ(s.Actions.size(), 1u);
    EXPECT_EQ(s.Actions[0].Kind, TActionKind::Telnet);
    EXPECT_EQ(s.Actions[0].TimeLimitMs, 60000);
    EXPECT_EQ(s.Actions[0].VerifyMs, 0);
    EXPECT_EQ(s.Quorum, 0);
    // The guard is on: a device's boot between actions, six rounds a day, back-off.
    EXPECT_EQ(s.Guard.HoldOffMs, 180000u);
    EXPECT_EQ(s.Guard.MaxRounds, 6);
    EXPECT_EQ(s.Guard.WindowMs, 86400000u);
    EXPECT_TRUE(s.Guard.BackOff);
    EXPECT_TRUE(s.Problems.empty());
    EXPECT_EQ(dir.Read("pingvard.ini"), historic);
}

TEST(RecoverySettings, ReadsAnEscalationOfEveryKind) {
    const test::TTempCurrentDir dir;
    const TRecoverySettings s = Read(dir, R"([Recovery]
Actions = telnet, router ,plug,script
Quorum=1
[Guard]
HoldOff=300
MaxRounds=6
Window=$15180
BackOff=1
[Action.router]
Kind=SSH
Host=192.168.168.1
User=admin
Password=pw
HostKey=SHA256:abc
TimeLimit=20
Verify=240
[Action.plug]
Kind=http
Preset=Tasmota
Host=192.168.168.5
Password=plugpw
OffTime=30
[Action.script]
Kind=program
Program=/usr/local/sbin/power-cycle
Arg1=--port
Arg2=a b;c
Arg4=never read
)");
    EXPECT_TRUE(s.Problems.empty()) << s.Problems.front();
    ASSERT_EQ(s.Actions.size(), 4u);
    EXPECT_EQ(s.Actions[0].VerifyMs, 180000); // no longer alone: it must wait for the hosts
    const TActionConfig& router = s.Actions[1];
    EXPECT_EQ(router.Kind, TActionKind::Ssh);
    EXPECT_EQ(router.Ssh.Host, "192.168.168.1");
    EXPECT_EQ(router.Ssh.Password, "pw");
    EXPECT_EQ(router.Ssh.Command, "reboot");
    EXPECT_EQ(router.Ssh.KnownHostsFile, dir.Path().string() + "/known_hosts");
    EXPECT_EQ(router.TimeLimitMs, 20000);
    EXPECT_EQ(router.VerifyMs, 240000);
    EXPECT_EQ(s.Actions[2].Http.Preset, TPlugPreset::Tasmota);
    EXPECT_EQ(s.Actions[2].Http.OffTimeS, 30);
    EXPECT_EQ(s.Actions[3].Program.Args, (std::vector<std::string>{"--port", "a b;c"}));
    EXPECT_EQ(s.Quorum, 1);
    EXPECT_EQ(s.Guard.HoldOffMs, 300000u);
    EXPECT_EQ(s.Guard.MaxRounds, 6);
    EXPECT_EQ(s.Guard.WindowMs, 86400000u);
    EXPECT_TRUE(s.Guard.BackOff);
}

struct TInvalidCase {
    const char* Name;
    std::string Ini;
    std::string Problem;
};

class RecoverySettingsInvalid : public testing::TestWithParam<TInvalidCase> {};

TEST_P(RecoverySettingsInvalid, GivesOneClearLine) {
    const test::TTempCurrentDir dir;
    const TRecoverySettings s = Read(dir, GetParam().Ini);
    ASSERT_EQ(s.Problems.size(), 1u);
    EXPECT_EQ(s.Problems[0], GetParam().Problem);
    EXPECT_FALSE(s.Actions.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecoverySettingsInvalid,
    testing::Values(
        TInvalidCase{"QuorumNotANumber", "[Recovery]\nQuorum=two\n",
                     "pingvard.ini [Recovery] Quorum=two: not a number; using 0"},
        TInvalidCase{"QuorumAboveTheSlots", "[Recovery]\nQuorum=5\n",
                     "pingvard.ini [Recovery] Quorum=5: not between 0 and 4; using 0"},
        TInvalidCase{"HoldOffWithUnit", "[Guard]\nHoldOff=5min\n",
                     "pingvard.ini [Guard] HoldOff=5min: not a number; using 180"},
        TInvalidCase{
            "UnknownKind", "[Recovery]\nActions=x,telnet\n[Action.x]\nKind=snmp\n",
            "pingvard.ini [Action.x] Kind=snmp: not telnet, ssh, http or program; left out"},
        TInvalidCase{"NoSection", "[Recovery]\nActions=plug,telnet\n",
                     "pingvard.ini [Recovery] Actions: plug has no [Action.plug] with a Kind; "
                     "left out"},
        TInvalidCase{"UnknownPreset",
                     "[Recovery]\nActions=p\n[Action.p]\nKind=http\nHost=h\nPreset=sonoff\n",
                     "pingvard.ini [Action.p] Preset=sonoff: not one of none, shelly1, shelly2, "
                     "tasmota; using none"},
        TInvalidCase{"TasmotaOffTimeTooLong",
                     "[Recovery]\nActions=p\n[Action.p]\nKind=http\nHost=h\nPreset=tasmota\n"
                     "OffTime=400\n",
                     "pingvard.ini [Action.p] OffTime=400: not between 1 and 360; using 10"},
        TInvalidCase{"SshWithoutHost", "[Recovery]\nActions=r\n[Action.r]\nKind=ssh\n",
                     "pingvard.ini [Action.r] has no Host; the action cannot run"}),
    [](const testing::TestParamInfo<TInvalidCase>& param) {
        return std::string(param.param.Name);
    });

TEST(RecoverySettings, RefusesASecretFileOthersCanRead) {
    const test::TTempCurrentDir dir;
    dir.Write("plug.secret", "s3cret\r\nignored\n");
    ::chmod((dir.Path() / "plug.secret").c_str(), 0640);
    const std::string ini =
        "[Recovery]\nActions=plug\n[Action.plug]\nKind=http\nPreset=shelly1\nHost=h\n"
        "PasswordFile=plug.secret\n";
    TRecoverySettings s = Read(dir, ini);
    const std::string path = dir.Path().string() + "/plug.secret";
    ASSERT_EQ(s.Problems.size(), 1u);
    EXPECT_EQ(s.Problems[0], "pingvard.ini [Action.plug] PasswordFile=plug.secret: password file " +
                                 path + " is open to others (chmod 600 it); the action cannot run");
    EXPECT_EQ(s.Actions[0].Problem, "password file " + path + " is open to others (chmod 600 it)");
    EXPECT_EQ(s.Actions[0].Http.Password, "");

    ::chmod((dir.Path() / "plug.secret").c_str(), 0600);
    s = Read(dir, ini);
    EXPECT_TRUE(s.Problems.empty());
    EXPECT_EQ(s.Actions[0].Http.Password, "s3cret");
    EXPECT_EQ(s.Actions[0].Problem, "");
}

// The dialog's write: what it changed reaches the file and reads back the
// same; what it did not touch keeps its bytes; a password is private.
TEST(RecoverySettings, DialogWriteKeepsUntouchedKeysAndMakesSecretsPrivate) {
    const test::TTempCurrentDir dir;
    for (const char* secret : {"plug.secret", "router.key"}) {
        dir.Write(secret, "old\n");
        ::chmod((dir.Path() / secret).c_str(), 0600);
    }
    const std::string file = "[Recovery]\nActions=router,script,plug\n"
                             "[Action.router]\nKind=ssh\nHost=$72\nKeyFile=router.key\n"
                             "[Action.script]\nKind=program\nProgram=/bin/x\nArg1=a\nArg2=b\n"
                             "[Action.plug]\nKind=http\nPreset=shelly1\nHost=p\n"
                             "PasswordFile=plug.secret\n";
    const std::string ini = (dir.Path() / "pingvard.ini").string();
    dir.Write("pingvard.ini", file);
    ::chmod(ini.c_str(), 0644);
    TIniFile store(ini);
    const std::string programDir = dir.Path().string() + "/";
    const TRecoverySettings before = ReadRecoverySettings(store, programDir);
    TRecoverySettings edited = before;
    edited.Actions[1].Program.Args = {"c"};  // one removed, one changed
    edited.Actions[2].Http.Password = "new"; // to its own file
    edited.Actions[2].Http.OffTimeS = 20;
    // a new one, password in the ini
    TActionConfig shelly = NewActionConfig(TActionKind::Http, programDir);
    shelly.Name = "shelly";
    shelly.Http.Preset = TPlugPreset::Shelly2;
    shelly.Http.Host = "192.0.2.7";
    shelly.Http.Password = "pw";
    edited.Actions.insert(edited.Actions.begin(), shelly);
    ASSERT_FALSE(SameDialogRecoverySettings(edited, before));
    SaveDialogRecoverySettings(store, edited, before, programDir);

    TIniFile again(ini);
    const TRecoverySettings read = ReadRecoverySettings(again, programDir);
    EXPECT_TRUE(read.Problems.empty()) << read.Problems.front();
    EXPECT_TRUE(SameDialogRecoverySettings(read, edited));
    const std::string text = dir.Read("pingvard.ini");
    for (const char* kept : {"Host=$72", "KeyFile=router.key", "PasswordFile=plug.secret"}) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    }
    EXPECT_NE(text.find("Password=pw"), std::string::npos);
    EXPECT_EQ(text.find("new"), std::string::npos); // it went to plug.secret
    EXPECT_EQ(dir.Read("plug.secret"), "new\n");
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir.Path() / "plug.secret").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(RecoverySettings, DialogWriteWithoutASecretLeavesTheFileMode) {
    const test::TTempCurrentDir dir;
    const std::string ini = (dir.Path() / "pingvard.ini").string();
    dir.Write("pingvard.ini", "[Recovery]\nActions=script\n[Action.script]\nKind=program\n"
                              "Program=/bin/x\n");
    ::chmod(ini.c_str(), 0644);
    TIniFile store(ini);
    const TRecoverySettings before = ReadRecoverySettings(store, dir.Path().string() + "/");
    TRecoverySettings edited = before;
    edited.Actions[0].VerifyMs = 60000;
    SaveDialogRecoverySettings(store, edited, before, dir.Path().string() + "/");
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

} // namespace
} // namespace pingvard
