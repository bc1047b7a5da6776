// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/dialog/notify_write.h"
#include "tests/config/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pingvard {
namespace {

TNotifySettings ReadBack(const test::TTempCurrentDir& dir) {
    TIniFile file((dir.Path() / "pingvard.ini").string());
    std::vector<std::string> problems;
    TNotifySettings s = ReadNotifySettings(file, dir.Path().string() + "/", problems);
    for (const std::string& problem : problems) {
        EXPECT_NE(problem.find("[Notify.broken]"), std::string::npos) << problem;
    }
    return s;
}

mode_t Mode(const test::TTempCurrentDir& dir, const std::string& name) {
    struct stat st {};
    return ::stat((dir.Path() / name).c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

constexpr const char* kFile = R"(; the operator's own note
[Notify]
Channels=mail,broken,phone
[Notify.mail]
Kind=email
Server=smtp://mail.example.org:587
User=site7
PasswordFile=mail.secret
From=pingvard@site7.example.org
To=admin@example.org
CaFile=ca.pem
[Notify.broken]
Kind=pigeon
[Notify.phone]
Kind=webhook
Preset=ntfy
Url=https://ntfy.example.org/site7
TimeLimit=30
)";

// Read, edited as the dialog edits, written and read again: what was
// edited comes back, what was not keeps its bytes, and the secrets go where
// the section says.
TEST(NotifyWrite, RoundTripWritesOnlyWhatChangedAndEachSecretWhereItLives) {
    const test::TTempCurrentDir dir;
    dir.Write("mail.secret", "old\n");
    ::chmod((dir.Path() / "mail.secret").c_str(), 0600);
    dir.Write("pingvard.ini", kFile);
    ::chmod((dir.Path() / "pingvard.ini").c_str(), 0644);
    const TNotifySettings before = ReadBack(dir);
    ASSERT_EQ(before.Channels.size(), 2u);

    std::vector<TNotifyChannel> after = before.Channels;
    after[0].Mail.Password = "new mail secret";
    after[1].Webhook.Token = "tk_1234";
    after[1].Events = {TMonitorEventKind::SiteDown};
    after[1].DailyReport = true;
    TNotifyChannel added;
    added.Name = "chat";
    added.Kind = TNotifyKind::Webhook;
    added.Webhook.Preset = TWebhookPreset::Slack;
    added.Webhook.Url = "http://127.0.0.1:19900/hook";
    added.TimeLimitMs = 5000;
    after.push_back(added);
    {
        TIniFile ini((dir.Path() / "pingvard.ini").string());
        SaveDialogNotifyChannels(ini, after, before.Channels, dir.Path().string() + "/");
    }
    const std::string text = dir.Read("pingvard.ini");
    EXPECT_NE(text.find("; the operator's own note"), std::string::npos);
    EXPECT_NE(text.find("Channels=mail,phone,chat,broken"), std::string::npos) << text;
    EXPECT_NE(text.find("CaFile=ca.pem"), std::string::npos) << "untouched keys keep their bytes";
    EXPECT_EQ(text.find("new mail secret"), std::string::npos) << "the password has its file";
    EXPECT_EQ(dir.Read("mail.secret"), "new mail secret\n");
    EXPECT_EQ(Mode(dir, "mail.secret"), 0600u);
    EXPECT_NE(text.find("Token=tk_1234"), std::string::npos);
    EXPECT_EQ(Mode(dir, "pingvard.ini"), 0600u) << "a token in the file makes it private";
    EXPECT_NE(text.find("Events=site-down,daily-report"), std::string::npos);

    TNotifySettings read = ReadBack(dir);
    ASSERT_EQ(read.Channels.size(), 3u);
    for (TNotifyChannel& c : read.Channels) {
        c.CaFile = c.Name == "mail" ? before.Channels[0].CaFile : "";
    }
    EXPECT_TRUE(SameDialogChannels(read.Channels, after));
}

// A removed channel's keys leave the file, a secret cleared on purpose
// leaves it too, and an unchanged list writes nothing at all.
TEST(NotifyWrite, RemovingAndClearingTakeTheKeysOut) {
    const test::TTempCurrentDir dir;
    dir.Write("mail.secret", "old\n");
    ::chmod((dir.Path() / "mail.secret").c_str(), 0600);
    dir.Write("pingvard.ini", std::string(kFile) + "Token=tk_old\n");
    const TNotifySettings before = ReadBack(dir);
    std::vector<TNotifyChannel> after = {before.Channels[1]};
    after[0].Webhook.Token.clear();
    EXPECT_FALSE(SameDialogChannels(after, before.Channels));
    EXPECT_TRUE(SameDialogChannels(before.Channels, before.Channels));
    {
        TIniFile ini((dir.Path() / "pingvard.ini").string());
        SaveDialogNotifyChannels(ini, after, before.Channels, dir.Path().string() + "/");
    }
    const std::string text = dir.Read("pingvard.ini");
    EXPECT_NE(text.find("Channels=phone,broken"), std::string::npos) << text;
    for (const char* gone : {"smtp://mail.example.org", "PasswordFile", "tk_old", "User=site7"}) {
        EXPECT_EQ(text.find(gone), std::string::npos) << gone << " in\n" << text;
    }
    EXPECT_NE(text.find("Url=https://ntfy.example.org/site7"), std::string::npos);
}

} // namespace
} // namespace pingvard
