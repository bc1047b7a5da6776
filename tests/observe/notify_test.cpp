// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/curl_transport.h"
#include "observe/notify/notifier.h"
#include "observe/notify/outbox.h"
#include "observe/notify/requests.h"
#include "tests/config/temp_dir.h"
#include "web/http_server.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pingvard {
namespace {

using namespace std::chrono_literals;

TNotification Message(const std::string& id) {
    TNotification m;
    m.Id = id;
    m.Event = "site-down";
    m.TimeMs = 1765263909000;
    m.Title = "site7: Site down (uplink)";
    m.Body = "Site down (uplink)\n";
    m.Facts = "\"site\":\"site7\"";
    return m;
}

std::string FrontId(TOutbox& box, const std::string& channel) {
    const auto front = box.Front(channel);
    return front ? front->Message.Id : "";
}

TEST(Outbox, KeepsEachChannelsOrderAcrossAReopen) {
    const test::TTempCurrentDir dir;
    {
        TOutbox box(10);
        ASSERT_TRUE(box.Open("outbox.db")) << box.Error();
        for (const char* id : {"a", "b", "c"}) {
            EXPECT_EQ(box.Put("mail", Message(id)), TPutResult::Queued);
        }
        EXPECT_EQ(box.Put("phone", Message("b")), TPutResult::Queued);
        EXPECT_TRUE(box.Delivered("mail", "a", 0));
    }
    struct stat st {};
    ASSERT_EQ(::stat("outbox.db", &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u); // the messages name the site's hosts
    TOutbox again(10);
    ASSERT_TRUE(again.Open("outbox.db"));
    EXPECT_EQ(FrontId(again, "mail"), "b");
    EXPECT_EQ(again.Front("mail")->Message, Message("b"));
    EXPECT_EQ(again.Waiting("mail"), 2);
    EXPECT_EQ(FrontId(again, "phone"), "b");
    EXPECT_FALSE(again.Front("nobody"));
}

// The same event queued again (the monitor published it again after a
// restart, or a retry after a lost acknowledgement) is no second message.
TEST(Outbox, RecognisesAMessageQueuedOrDeliveredBefore) {
    const test::TTempCurrentDir dir;
    TOutbox box(10);
    ASSERT_TRUE(box.Open("outbox.db"));
    EXPECT_EQ(box.Put("mail", Message("site-down.1")), TPutResult::Queued);
    EXPECT_EQ(box.Put("mail", Message("site-down.1")), TPutResult::Duplicate);
    EXPECT_TRUE(box.Delivered("mail", "site-down.1", 0));
    EXPECT_EQ(box.Put("mail", Message("site-down.1")), TPutResult::Duplicate);
    EXPECT_EQ(box.Waiting("mail"), 0);
    EXPECT_EQ(box.Put("phone", Message("site-down.1")), TPutResult::Queued);
}

TEST(Outbox, AFullChannelDropsItsOldestAndTellsTheCountOnce) {
    const test::TTempCurrentDir dir;
    TOutbox box(3);
    ASSERT_TRUE(box.Open("outbox.db"));
    for (int i = 1; i <= 5; ++i) {
        box.Put("mail", Message("m" + std::to_string(i)));
    }
    box.Put("phone", Message("p1"));
    EXPECT_EQ(box.Waiting("mail"), 3);
    EXPECT_EQ(box.DroppedTotal("mail"), 2u);
    EXPECT_EQ(box.DroppedTotal("phone"), 0u);
    auto front = box.Front("mail");
    ASSERT_TRUE(front);
    EXPECT_EQ(front->Message.Id, "m3");
    EXPECT_EQ(front->DroppedBefore, 2u);
    ASSERT_TRUE(box.Delivered("mail", "m3", front->DroppedBefore));
    EXPECT_EQ(box.Front("mail")->DroppedBefore, 0u);
    EXPECT_EQ(box.DroppedTotal("mail"), 2u);
}

// A transport that refuses a number of sends, then takes everything; what it
// took, in order.
class TFakeTransport final : public TNotifyTransport {
public:
    explicit TFakeTransport(int refusals, bool hang = false) : m_refusals(refusals), m_hang(hang) {}
    TDelivery Send(const TMailRequest& mail) override { return Take(mail.Payload); }
    TDelivery Send(const THttpPost& post) override { return Take(post.Body); }
    void Abort() noexcept override {
        std::lock_guard lock(m_mutex);
        m_aborted = true;
        m_wake.notify_all();
    }
    std::vector<std::string> Taken() {
        std::lock_guard lock(m_mutex);
        return m_taken;
    }
    int Tries() {
        std::lock_guard lock(m_mutex);
        return m_tries;
    }

private:
    TDelivery Take(const std::string& text) {
        std::unique_lock lock(m_mutex);
        ++m_tries;
        if (m_hang) {
            m_wake.wait(lock, [this] { return m_aborted; });
            return {false, "stopped"};
        }
        if (m_refusals > 0) {
            --m_refusals;
            return {false, "cannot connect to h"};
        }
        m_taken.push_back(text);
        return {true, "250 OK"};
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_refusals;
    bool m_hang;
    bool m_aborted = false;
    int m_tries = 0;
    std::vector<std::string> m_taken;
};

TNotifyChannel JsonChannel() {
    TNotifyChannel c;
    c.Name = "hook";
    c.Kind = TNotifyKind::Webhook;
    c.Webhook.Url = "http://127.0.0.1:1/";
    return c;
}

TMonitorEvent SiteEvent(TMonitorEventKind kind, int64_t startMs) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(startMs + 1000));
    auto incident = std::make_shared<TIncident>();
    incident->StartMs = startMs;
    incident->Cause = TSiteCause::Uplink;
    if (kind == TMonitorEventKind::SiteBack) {
        incident->EndMs = startMs + 60000;
        incident->CuredBy = "telnet";
    }
    e.Incident = incident;
    e.Text = kind == TMonitorEventKind::SiteDown ? "Site down (uplink)" : "Site back";
    return e;
}

struct TRun {
    TFakeTransport* Transport = nullptr;
    std::unique_ptr<TNotifier> Notifier;
    std::vector<std::string> Lines;
    std::mutex Mutex;
};

std::unique_ptr<TRun> Start(int refusals, bool hang = false, int32_t maxQueued = 1000) {
    auto run = std::make_unique<TRun>();
    auto transport = std::make_unique<TFakeTransport>(refusals, hang);
    run->Transport = transport.get();
    TNotifierOptions o;
    o.Channels = {JsonChannel()};
    o.OutboxFile = "outbox.db";
    o.Site = "site7";
    o.MaxQueued = maxQueued;
    o.Transport = std::move(transport);
    o.FirstRetry = 20ms;
    o.LongestRetry = 40ms;
    o.Secrets = {"tk_secret"};
    TRun* raw = run.get();
    o.Report = [raw](const std::string& line) {
        std::lock_guard lock(raw->Mutex);
        raw->Lines.push_back(line);
    };
    run->Notifier = std::make_unique<TNotifier>(std::move(o));
    return run;
}

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// While the network is down each message waits and is tried again; the line
// back delivers both, in order, and the failure is said once.
TEST(Notifier, RetriesUntilTheServerTakesEachMessageInOrder) {
    const test::TTempCurrentDir dir;
    auto run = Start(3);
    run->Notifier->Publish(SiteEvent(TMonitorEventKind::SiteDown, 1000));
    run->Notifier->Publish(SiteEvent(TMonitorEventKind::SiteBack, 1000));
    ASSERT_TRUE(WaitFor([&] { return run->Transport->Taken().size() == 2; }));
    const auto taken = run->Transport->Taken();
    EXPECT_TRUE(Has(taken[0], "\"id\":\"site-down.1000\"")) << taken[0];
    EXPECT_TRUE(Has(taken[1], "\"id\":\"site-back.1000\"")) << taken[1];
    run->Notifier->Stop();
    std::lock_guard lock(run->Mutex);
    ASSERT_EQ(run->Lines.size(), 2u);
    EXPECT_EQ(run->Lines[0], "[Notify.hook]: not delivered: cannot connect to h; 2 waiting, trying "
                             "again");
    EXPECT_EQ(run->Lines[1], "[Notify.hook]: delivering again (250 OK)");
}

// What waits when the program stops is sent by the next start, once.
TEST(Notifier, AStopKeepsWhatWaitsForTheNextStart) {
    const test::TTempCurrentDir dir;
    {
        auto run = Start(1000);
        run->Notifier->Publish(SiteEvent(TMonitorEventKind::SiteDown, 1000));
        run->Notifier->Flush();
        ASSERT_TRUE(WaitFor([&] { return run->Transport->Tries() > 0; }));
        run->Notifier->Stop();
    }
    auto again = Start(0);
    // The monitor says the same again after the restart: not a second message.
    again->Notifier->Publish(SiteEvent(TMonitorEventKind::SiteDown, 1000));
    again->Notifier->Publish(SiteEvent(TMonitorEventKind::SiteBack, 1000));
    ASSERT_TRUE(WaitFor([&] { return again->Transport->Taken().size() == 2; }));
    std::this_thread::sleep_for(100ms);
    const auto taken = again->Transport->Taken();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_TRUE(Has(taken[0], "site-down.1000"));
    EXPECT_TRUE(Has(taken[1], "site-back.1000"));
}

// A long outage overflows the channel: said once, and the count told by the
// first message delivered, after a restart too.
TEST(Notifier, AnOverflowIsSaidOnceAndCountedInTheNextMessage) {
    const test::TTempCurrentDir dir;
    auto run = Start(1000000, false, 10);
    for (int i = 0; i < 25; ++i) {
        TMonitorEvent e = SiteEvent(TMonitorEventKind::SiteDown, 1000 + i);
        run->Notifier->Publish(e);
    }
    run->Notifier->Flush();
    run->Notifier->Stop();
    auto again = Start(0, false, 10);
    ASSERT_TRUE(WaitFor([&] { return again->Transport->Taken().size() == 10; }));
    const auto taken = again->Transport->Taken();
    EXPECT_TRUE(Has(taken[0], "\"id\":\"site-down.1015\"")) << taken[0];
    EXPECT_TRUE(Has(taken[0], "\"dropped_before\":15"));
    EXPECT_TRUE(Has(taken[0], "Note: 15 earlier notifications were dropped"));
    EXPECT_TRUE(Has(taken[1], "\"dropped_before\":0"));
    {
        std::lock_guard lock(run->Mutex);
        EXPECT_EQ(std::count_if(run->Lines.begin(), run->Lines.end(),
                                [](const std::string& l) { return Has(l, "dropping the oldest"); }),
                  1);
    }
}

TEST(Notifier, StopEndsASendThatHangs) {
    const test::TTempCurrentDir dir;
    auto run = Start(0, true);
    run->Notifier->Publish(SiteEvent(TMonitorEventKind::SiteDown, 1000));
    ASSERT_TRUE(WaitFor([&] { return run->Transport->Tries() == 1; }));
    run->Notifier->Stop(); // returns: the send was aborted
    TOutbox box(10);
    ASSERT_TRUE(box.Open("outbox.db"));
    EXPECT_EQ(FrontId(box, "hook"), "site-down.1000");
}

TEST(Notifier, EventsNoChannelWantsAreNotQueued) {
    const test::TTempCurrentDir dir;
    auto run = Start(0);
    TMonitorEvent echo;
    echo.Kind = TMonitorEventKind::Echo;
    run->Notifier->Publish(echo);
    TMonitorEvent status;
    status.Kind = TMonitorEventKind::StatusText;
    run->Notifier->Publish(status);
    run->Notifier->Flush();
    run->Notifier->Stop();
    EXPECT_TRUE(run->Transport->Taken().empty());
}

TEST(NotifyMail, ReadsWellAndCarriesItsIdAndDate) {
    TNotifyChannel c;
    c.Name = "mail";
    c.Mail.From = "pingvard@site7.example.org";
    c.Mail.To = {"admin@example.org", "noc@example.org"};
    TMonitorEvent e = SiteEvent(TMonitorEventKind::SiteBack, 1765263909000);
    auto incident = std::make_shared<TIncident>(*e.Incident);
    incident->HostsDown = {"10.0.0.11"};
    incident->Steps.push_back({"telnet", "telnet", 1765263912000, 1765263920000, true, "Reset OK"});
    e.Incident = incident;
    e.Text = "Site back after 1 min (cured by telnet)";
    TNotification n = MakeNotification(e, "site7");
    n.Title += " \xc3\xa9\r\nBcc: x@y"; // a name with an accent, and an attempt at a header
    const TMailRequest mail = BuildMail(c, n, 2);
    const std::string& p = mail.Payload;
    EXPECT_TRUE(Has(p, "\r\nMessage-ID: <site-back.1765263909000.mail@site7.example.org>\r\n"));
    EXPECT_TRUE(Has(p, "Date: " + MailDate(e.Incident->StartMs + 1000) + "\r\n"));
    EXPECT_TRUE(Has(p, "\r\nTo: admin@example.org, noc@example.org\r\n"));
    EXPECT_TRUE(Has(p, "\r\nSubject: =?UTF-8?B?"));
    EXPECT_FALSE(Has(p, "\r\nBcc:"));
    EXPECT_TRUE(Has(p, "\r\n\r\nSite back after 1 min (cured by telnet)\r\n"));
    EXPECT_TRUE(Has(p, "Cause: uplink\r\n"));
    EXPECT_TRUE(Has(p, "Hosts down: 10.0.0.11\r\n"));
    EXPECT_TRUE(Has(p, " telnet: Reset OK (8 s)\r\n"));
    EXPECT_TRUE(Has(p, "Cured by: telnet\r\n"));
    EXPECT_TRUE(Has(p, "Downtime: 1 min\r\n"));
    EXPECT_TRUE(Has(p, "Note: 2 earlier notifications were dropped: the queue was full.\r\n"));
}

// Each preset's request as a loopback receiver sees it.
TEST(NotifyPresets, EachPresetSendsItsDocumentedShape) {
    std::mutex mutex;
    THttpRequest seen;
    THttpRoutes routes;
    for (const char* path : {"/topic", "/message", "/hook"}) {
        routes.Post(path, [&](const THttpRequest& r) {
            std::lock_guard lock(mutex);
            seen = r;
            return THttpResponse::Text(200, "{\"ok\":true}");
        });
    }
    THttpServer server(std::move(routes));
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.1", 0, error)) << error;
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
    const struct {
        TWebhookPreset Preset;
        const char* Path;
        std::vector<std::pair<std::string, std::string>> Headers;
        std::vector<std::string> Body; // parts the body holds
    } cases[] = {
        {TWebhookPreset::Ntfy,
         "/topic",
         {{"title", "site7: Site down (uplink)"},
          {"priority", "5"},
          {"tags", "rotating_light,pingvard"},
          {"authorization", "Bearer tk"},
          {"x-pingvard-id", "site-down.1000"}},
         {"Site down (uplink)\n\nSite: site7\n"}},
        {TWebhookPreset::Gotify,
         "/message",
         {{"x-gotify-key", "tk"}, {"content-type", "application/json"}},
         {"{\"title\":\"site7: Site down (uplink)\",\"message\":\"Site down (uplink)\\n",
          "\"priority\":10", "\"extras\":{\"pingvard::message\":{\"id\":\"site-down.1000\"}}"}},
        {TWebhookPreset::Slack,
         "/hook",
         {{"content-type", "application/json"}},
         {"{\"text\":\"*site7: Site down (uplink)*\\nSite down (uplink)\\n"}},
        {TWebhookPreset::Json,
         "/hook",
         {{"authorization", "Bearer tk"}, {"content-type", "application/json"}},
         {"{\"id\":\"site-down.1000\",\"event\":\"site-down\",\"time\":\"", "\"priority\":5",
          "\"dropped_before\":0", "\"cause\":\"uplink\"", "\"incident_end\":null"}},
    };
    const auto transport = MakeCurlTransport();
    for (const auto& c : cases) {
        SCOPED_TRACE(PresetName(c.Preset));
        TNotifyChannel channel = JsonChannel();
        channel.Webhook.Preset = c.Preset;
        channel.Webhook.Token = "tk";
        channel.Webhook.Url = base + (c.Preset == TWebhookPreset::Gotify ? "" : c.Path);
        const TNotification n =
            MakeNotification(SiteEvent(TMonitorEventKind::SiteDown, 1000), "site7");
        const TDelivery d = transport->Send(BuildPost(channel, n, 0));
        EXPECT_TRUE(d.Accepted) << d.Answer;
        EXPECT_EQ(d.Answer, "HTTP 200: {\"ok\":true}");
        std::lock_guard lock(mutex);
        EXPECT_EQ(seen.Method, "POST");
        EXPECT_EQ(seen.Path, c.Path);
        for (const auto& [name, value] : c.Headers) {
            EXPECT_EQ(seen.Header(name).value_or("(none)"), value) << name;
        }
        for (const std::string& part : c.Body) {
            EXPECT_TRUE(Has(seen.Body, part)) << part << " in " << seen.Body;
        }
    }
}

TEST(NotifyPresets, ARefusalOrNoServerIsNoDelivery) {
    THttpRoutes routes;
    routes.Post("/hook", [](const THttpRequest&) { return THttpResponse::Text(401, "bad token"); });
    THttpServer server(std::move(routes));
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.1", 0, error)) << error;
    TNotifyChannel channel = JsonChannel();
    const auto transport = MakeCurlTransport();
    channel.Webhook.Url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/hook";
    const TNotification n = TestNotification(1000, "site7");
    TDelivery d = transport->Send(BuildPost(channel, n, 0));
    EXPECT_FALSE(d.Accepted);
    EXPECT_EQ(d.Answer, "HTTP 401: bad token");
    server.Stop();
    d = transport->Send(BuildPost(channel, n, 0));
    EXPECT_FALSE(d.Accepted);
    EXPECT_TRUE(Has(d.Answer, "cannot connect to 127.0.0.1:")) << d.Answer;
}

// A server that takes the connection and never answers: the abort ends the
// send, not its time limit of a minute.
TEST(NotifyPresets, AnAbortEndsASendToAServerThatHangs) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    TNotifyChannel channel = JsonChannel();
    channel.TimeLimitMs = 60000;
    channel.Webhook.Url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";
    const auto transport = MakeCurlTransport();
    std::thread aborter([&] {
        std::this_thread::sleep_for(200ms);
        transport->Abort();
    });
    const TDelivery d = transport->Send(BuildPost(channel, TestNotification(1000, "site7"), 0));
    aborter.join();
    EXPECT_FALSE(d.Accepted);
    EXPECT_EQ(d.Answer, "stopped"); // not the time limit's "no answer ... in time"
    ::close(listener);
}

} // namespace
} // namespace pingvard
