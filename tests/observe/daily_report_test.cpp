// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/daily_report.h"
#include "observe/notify/notifier.h"
#include "tests/config/temp_dir.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <mutex>

namespace pingvard {
namespace {

using namespace std::chrono_literals;

constexpr int64_t kMidnight = 1796774400000; // 2026-12-09 00:00 UTC
constexpr int64_t kHour = 3'600'000;
constexpr int32_t kEight = 8 * 60;

class DailyReport : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
};

TIncidentRecord Record(int64_t startMs, int64_t endMs, TSiteCause cause, std::string curedBy,
                       bool unfinished = false) {
    TIncidentRecord r;
    r.Incident.StartMs = startMs;
    r.Incident.EndMs = endMs;
    r.Incident.Cause = cause;
    r.Incident.CuredBy = std::move(curedBy);
    r.Unfinished = unfinished;
    return r;
}

TUptime Uptime(int64_t watchedMs, int64_t downMs) {
    TUptime u;
    u.WatchedMs = watchedMs;
    u.DownMs = downMs;
    return u;
}

// Each incident of the day is one line: start, duration, cause, how it ended.
TEST_F(DailyReport, TheTextHasTheUptimeAndOneLinePerIncident) {
    const int64_t now = kMidnight + 8 * kHour;
    TDailyHistory quiet;
    quiet.Uptime.Day = Uptime(24 * kHour, 0);
    quiet.Uptime.Week = Uptime(7 * 24 * kHour, 0);
    TDailyHistory busy;
    busy.Uptime.Day = Uptime(24 * kHour, kHour / 2);
    busy.Uptime.Week = Uptime(2 * 24 * kHour, kHour / 2);
    busy.Incidents = {
        Record(kMidnight + 3 * kHour + 12 * 60'000, kMidnight + 3 * kHour + 18 * 60'000,
               TSiteCause::Uplink, "telnet"),
        Record(kMidnight + 5 * kHour, kMidnight + 5 * kHour + 90'000, TSiteCause::NameService, ""),
        Record(kMidnight + 6 * kHour, kMidnight + 6 * kHour + 60'000, TSiteCause::Unknown, "",
               true),
        Record(now - 20 * 60'000, 0, TSiteCause::AccessPoint, ""),
    };
    TDailyHistory none;
    none.Uptime.Day = Uptime(0, 0);
    none.Uptime.Week = Uptime(0, 0);
    TDailyHistory off;
    off.Problem = "the history is off";

    const struct {
        const char* Name;
        const TDailyHistory* History;
        const char* Title;
        const char* Figures; // the body after the head lines
    } cases[] = {
        {"quiet", &quiet, "site7: Daily report 2026-12-09: 100%, 0 incidents",
         "Uptime last 24 h: 100%\nUptime last 7 days: 100%\nIncidents last 24 h: 0\n"},
        {"busy", &busy, "site7: Daily report 2026-12-09: 97.91%, 4 incidents",
         "Uptime last 24 h: 97.91%\nUptime last 7 days: 98.95%\nIncidents last 24 h: 4\n"
         "- 2026-12-09 03:12:00, 6 min, uplink, cured by telnet\n"
         "- 2026-12-09 05:00:00, 1 min, name service, not cured\n"
         "- 2026-12-09 06:00:00, 1 min, cause unknown, not seen to end (the program stopped)\n"
         "- 2026-12-09 07:40:00, 20 min so far, access point, still down\n"},
        {"nothing watched", &none, "site7: Daily report 2026-12-09: no data, 0 incidents",
         "Uptime last 24 h: no data\nUptime last 7 days: no data\nIncidents last 24 h: 0\n"},
        {"history off", &off, "site7: Daily report 2026-12-09: no figures",
         "No uptime or incidents: the history is off\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TNotification n = MakeDailyReport(kMidnight + 8 * kHour, now, "site7", *c.History);
        EXPECT_EQ(n.Id, "daily-report-2026-12-09");
        EXPECT_EQ(n.Event, "daily-report");
        EXPECT_EQ(n.Title, c.Title);
        EXPECT_EQ(n.Body, "Daily report 2026-12-09\n\nSite: site7\nWhen: 2026-12-09 08:00:00\n\n" +
                              std::string(c.Figures));
    }
}

// A history that cannot be read gives a report that says why.
TEST_F(DailyReport, AMissingHistoryIsSaidInTheReport) {
    const test::TTempCurrentDir dir;
    const TDailyHistory history = ReadDailyHistory("no-such/history.db", kMidnight);
    EXPECT_EQ(history.Problem.rfind("cannot read the history: ", 0), 0u) << history.Problem;
    EXPECT_TRUE(history.Incidents.empty());
}

// Which day's report is due: the latest report time passed, up to 12 h late;
// and when to look next.
TEST_F(DailyReport, TheDueReportIsTheLatestTimePassedWithinTwelveHours) {
    const struct {
        int64_t Now;
        int32_t Minute;
        std::optional<int64_t> Due;
        int64_t Next;
    } cases[] = {
        {kMidnight + 8 * kHour - 1, kEight, std::nullopt, kMidnight + 8 * kHour},
        {kMidnight + 8 * kHour, kEight, kMidnight + 8 * kHour, kMidnight + 32 * kHour},
        {kMidnight + 20 * kHour, kEight, kMidnight + 8 * kHour, kMidnight + 32 * kHour},
        {kMidnight + 20 * kHour + 1, kEight, std::nullopt, kMidnight + 32 * kHour},
        // 23:30: just after midnight, yesterday's is due.
        {kMidnight + 30 * 60'000, 23 * 60 + 30, kMidnight - 30 * 60'000,
         kMidnight + 23 * kHour + 30 * 60'000},
        {kMidnight, 0, kMidnight, kMidnight + 24 * kHour},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.Now - kMidnight) / 60'000 << " min, at " << c.Minute);
        EXPECT_EQ(DueDailyReport(c.Now, c.Minute), c.Due);
        EXPECT_EQ(NextDailyReport(c.Now, c.Minute), c.Next);
    }
}

class TTakingTransport final : public TNotifyTransport {
public:
    TDelivery Send(const TMailRequest& mail) override { return Take(mail.Payload); }
    TDelivery Send(const THttpPost& post) override { return Take(post.Body); }
    void Abort() noexcept override {}
    std::vector<std::string> Taken() {
        std::lock_guard lock(m_mutex);
        return m_taken;
    }

private:
    TDelivery Take(const std::string& text) {
        std::lock_guard lock(m_mutex);
        m_taken.push_back(text);
        return {true, "200 OK"};
    }
    std::mutex m_mutex;
    std::vector<std::string> m_taken;
};

// One report a day whatever the restarts: a start after the report time
// sends the day's report, the next start that day sends nothing, and the
// next day's comes at its time on the running worker.
TEST_F(DailyReport, OneReportADayAcrossARestart) {
    const test::TTempCurrentDir dir;
    std::atomic<int64_t> clock{kMidnight + 8 * kHour + 30'000};
    std::vector<std::string> sent;
    const auto run = [&](const std::function<void(TNotifier&)>& then) {
        auto transport = std::make_unique<TTakingTransport>();
        TTakingTransport* taken = transport.get();
        TNotifierOptions o;
        TNotifyChannel c;
        c.Name = "hook";
        c.Kind = TNotifyKind::Webhook;
        c.Webhook.Url = "http://127.0.0.1:1/";
        c.DailyReport = true;
        o.Channels = {c};
        o.OutboxFile = "outbox.db";
        o.Site = "site7";
        o.Transport = std::move(transport);
        o.WallClock = [&clock] { return clock.load(); };
        TNotifier notifier(std::move(o));
        notifier.Flush();
        if (then) {
            then(notifier);
        }
        notifier.Stop();
        for (const std::string& body : taken->Taken()) {
            sent.push_back(body.substr(0, body.find(",\"event\"")));
        }
    };
    run({});
    clock = kMidnight + 8 * kHour + 90'000;
    run([&](TNotifier& notifier) {
        clock = kMidnight + 32 * kHour;
        notifier.Flush();
    });
    EXPECT_EQ(sent, (std::vector<std::string>{"{\"id\":\"daily-report-2026-12-09\"",
                                              "{\"id\":\"daily-report-2026-12-10\""}));
}

} // namespace
} // namespace pingvard
