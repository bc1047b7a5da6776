// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/notify/notify_settings.h"
#include "tests/config/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pingvard {
namespace {

struct TRead {
    TNotifySettings Settings;
    std::vector<std::string> Problems;
};

TRead Read(const test::TTempCurrentDir& dir, const std::string& ini) {
    dir.Write("pingvard.ini", ini);
    TIniFile file((dir.Path() / "pingvard.ini").string());
    TRead read;
    read.Settings = ReadNotifySettings(file, dir.Path().string() + "/", read.Problems);
    return read;
}

TEST(NotifySettings, ReadsAMailAndAWebhookChannelWithTheirSecrets) {
    const test::TTempCurrentDir dir;
    dir.Write("mail.secret", "s3cret\n");
    ::chmod((dir.Path() / "mail.secret").c_str(), 0600);
    const TRead r = Read(dir, R"([Notify]
Channels=mail, phone
MaxQueued=50
[Notify.mail]
Kind=email
Server=smtp://mail.example.org:587
StartTls=1
User=site7
PasswordFile=mail.secret
From=pingvard@site7.example.org
To=admin@example.org, noc@example.org
[Notify.phone]
Kind=webhook
Preset=NTFY
Url=https://ntfy.example.org/site7
Token=tk_123
Events=site-down,action-outcome
TimeLimit=5
)");
    EXPECT_TRUE(r.Problems.empty()) << r.Problems.front();
    ASSERT_EQ(r.Settings.Channels.size(), 2u);
    const TNotifyChannel& mail = r.Settings.Channels[0];
    EXPECT_EQ(mail.Kind, TNotifyKind::Email);
    EXPECT_TRUE(mail.Mail.RequireStartTls);
    EXPECT_EQ(mail.Mail.Password, "s3cret");
    EXPECT_EQ(mail.Mail.To, (std::vector<std::string>{"admin@example.org", "noc@example.org"}));
    EXPECT_TRUE(mail.Wants(TMonitorEventKind::SiteDown) &&
                mail.Wants(TMonitorEventKind::RestartsPaused));
    EXPECT_FALSE(mail.Wants(TMonitorEventKind::Echo));
    const TNotifyChannel& phone = r.Settings.Channels[1];
    EXPECT_EQ(phone.Webhook.Preset, TWebhookPreset::Ntfy);
    EXPECT_EQ(phone.Events, (std::vector<TMonitorEventKind>{TMonitorEventKind::SiteDown,
                                                            TMonitorEventKind::ActionOutcome}));
    EXPECT_EQ(phone.TimeLimitMs, 5000);
    EXPECT_EQ(r.Settings.MaxQueued, 50);
    EXPECT_EQ(OutboxFileName(r.Settings, "/etc/pingvard/"), "/etc/pingvard/outbox.db");
    EXPECT_EQ(NotifySecrets(r.Settings), (std::vector<std::string>{"s3cret", "tk_123"}));
}

// Each typo: one line naming the section, the key and what is used, and the
// faulty channel left out while the good one works.
TEST(NotifySettings, AFaultyChannelGivesOneLineAndTheOthersStay) {
    const std::string good = "[Notify.good]\nKind=webhook\nUrl=http://127.0.0.1:1/x\n";
    const struct {
        const char* Section;
        const char* Expected;
    } cases[] = {
        {"Kind=pager\n", "pingvard.ini [Notify.bad] Kind=pager: not email or webhook; using no "
                         "channel bad"},
        {"Kind=email\nServer=mail.example.org\nFrom=a@b\nTo=c@d\n",
         "pingvard.ini [Notify.bad] Server=mail.example.org: not an smtp:// or smtps:// address; "
         "using no channel bad"},
        {"Kind=email\nServer=smtp://m\nFrom=nobody\nTo=c@d\n",
         "pingvard.ini [Notify.bad] From=nobody: not a mail address; using no channel bad"},
        {"Kind=email\nServer=smtp://m\nFrom=a@b\n",
         "pingvard.ini [Notify.bad] To=: a mail channel needs an address; using no channel bad"},
        {"Kind=email\nServer=smtp://m\nFrom=a@b\nTo=c@d,admin\n",
         "pingvard.ini [Notify.bad] To=c@d,admin: \"admin\" is not a mail address; using no "
         "channel bad"},
        {"Kind=webhook\nUrl=ftp://x\n",
         "pingvard.ini [Notify.bad] Url=ftp://x: not an http:// or https:// address; using no "
         "channel bad"},
        {"Kind=webhook\nPreset=gotify\nUrl=http://g\n",
         "pingvard.ini [Notify.bad] Preset=gotify needs the application's Token; using no "
         "channel bad"},
        {"Kind=webhook\nUrl=http://x\nTokenFile=missing.token\n",
         "pingvard.ini [Notify.bad] TokenFile=missing.token: cannot read password file "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Section);
        const test::TTempCurrentDir dir;
        const TRead r = Read(dir, "[Notify]\nChannels=bad,good\n[Notify.bad]\n" +
                                      std::string(c.Section) + good);
        ASSERT_EQ(r.Problems.size(), 1u);
        EXPECT_EQ(r.Problems[0].rfind(c.Expected, 0), 0u) << r.Problems[0];
        ASSERT_EQ(r.Settings.Channels.size(), 1u);
        EXPECT_EQ(r.Settings.Channels[0].Name, "good");
    }
}

// Values that have a default: the line says which, the channel still works.
TEST(NotifySettings, ABadValueWithADefaultKeepsTheChannel) {
    const struct {
        const char* Keys;
        const char* Expected;
    } cases[] = {
        {"Preset=pushover\n", "pingvard.ini [Notify.c] Preset=pushover: "},
        {"Events=site-down,echo\n",
         "pingvard.ini [Notify.c] Events=site-down,echo: \"echo\" is not an event a channel "
         "sends; using site-down,site-back,restarts-paused"},
        {"TimeLimit=999\n", "pingvard.ini [Notify.c] TimeLimit=999: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Keys);
        const test::TTempCurrentDir dir;
        const TRead r =
            Read(dir, "[Notify]\nChannels=c\n[Notify.c]\nKind=webhook\nUrl=http://h/\n" +
                          std::string(c.Keys));
        ASSERT_EQ(r.Problems.size(), 1u);
        EXPECT_EQ(r.Problems[0].rfind(c.Expected, 0), 0u) << r.Problems[0];
        ASSERT_EQ(r.Settings.Channels.size(), 1u);
        EXPECT_EQ(r.Settings.Channels[0].Events.size(), 3u);
    }
}

TEST(NotifySettings, ASecretFileOpenToOthersIsRefusedAndNeverQuoted) {
    const test::TTempCurrentDir dir;
    dir.Write("mail.secret", "s3cret\n");
    ::chmod((dir.Path() / "mail.secret").c_str(), 0644);
    const TRead r = Read(dir, "[Notify]\nChannels=m\n[Notify.m]\nKind=email\nServer=smtp://h\n"
                              "From=a@b\nTo=c@d\nPasswordFile=mail.secret\n");
    ASSERT_EQ(r.Problems.size(), 1u);
    EXPECT_NE(r.Problems[0].find("is open to others (chmod 600 it); using no channel m"),
              std::string::npos)
        << r.Problems[0];
    EXPECT_EQ(r.Problems[0].find("s3cret"), std::string::npos);
    EXPECT_TRUE(r.Settings.Channels.empty());
}

TEST(NotifySettings, NoSectionMeansNoChannelAndNoLine) {
    const test::TTempCurrentDir dir;
    const TRead r = Read(dir, "[Constants]\nMaxTimeouts=5\n");
    EXPECT_TRUE(r.Problems.empty());
    EXPECT_TRUE(r.Settings.Channels.empty());
    EXPECT_EQ(dir.Read("pingvard.ini"), "[Constants]\nMaxTimeouts=5\n");
}

} // namespace
} // namespace pingvard

namespace pingvard {
namespace {

// The report's time of day: a value that is not HH:MM is one line and the
// default; a good one is taken as minutes after midnight.
TEST(NotifySettings, TheDailyReportTimeIsHoursAndMinutes) {
    const struct {
        const char* Value;
        int32_t Minute;
        const char* Problem; // empty: none
    } cases[] = {
        {"06:30", 6 * 60 + 30, ""},
        {" 0:05 ", 5, ""},
        {"23:59", 23 * 60 + 59, ""},
        {"24:00", 8 * 60,
         "pingvard.ini [Notify] DailyReport=24:00: not a time of day HH:MM; using 08:00"},
        {"8", 8 * 60, "pingvard.ini [Notify] DailyReport=8: not a time of day HH:MM; using 08:00"},
        {"07:60", 8 * 60, "pingvard.ini [Notify] DailyReport=07:60: not a time of day"},
        {"7:5", 8 * 60, "pingvard.ini [Notify] DailyReport=7:5: not a time of day"},
        {"-1:00", 8 * 60, "pingvard.ini [Notify] DailyReport=-1:00: not a time of day"},
        {"7pm", 8 * 60, "pingvard.ini [Notify] DailyReport=7pm: not a time of day"},
        {"", 8 * 60, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Value);
        const test::TTempCurrentDir dir;
        const TRead r = Read(dir, "[Notify]\nDailyReport=" + std::string(c.Value) + "\n");
        EXPECT_EQ(r.Settings.DailyReportMinute, c.Minute);
        if (std::string(c.Problem).empty()) {
            EXPECT_TRUE(r.Problems.empty()) << r.Problems[0];
        } else {
            ASSERT_EQ(r.Problems.size(), 1u);
            EXPECT_EQ(r.Problems[0].rfind(c.Problem, 0), 0u) << r.Problems[0];
        }
    }
}

// daily-report is asked for by name, beside the events or alone; the default
// set leaves it out.
TEST(NotifySettings, TheDailyReportIsChosenInEvents) {
    const struct {
        const char* Events; // nullptr: no Events key
        bool Daily;
        std::size_t EventCount;
    } cases[] = {
        {nullptr, false, 3},
        {"site-down,daily-report", true, 1},
        {"Daily-Report", true, 0},
        {"site-down,site-back", false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Events ? c.Events : "(none)");
        const test::TTempCurrentDir dir;
        const std::string events = c.Events ? "Events=" + std::string(c.Events) + "\n" : "";
        const TRead r =
            Read(dir, "[Notify]\nChannels=c\n[Notify.c]\nKind=webhook\nUrl=http://h/\n" + events);
        EXPECT_TRUE(r.Problems.empty());
        ASSERT_EQ(r.Settings.Channels.size(), 1u);
        EXPECT_EQ(r.Settings.Channels[0].DailyReport, c.Daily);
        EXPECT_EQ(r.Settings.Channels[0].Events.size(), c.EventCount);
    }
}

} // namespace
} // namespace pingvard
