// SPDX-License-Identifier: GPL-3.0-or-later
// A day's outage, compressed, with the only notification channel down the
// whole time: every 30 s of the day a step's outcome (2880 events), then the
// line back. Prints what the outbox held at most, what it dropped, what the
// first message after the line back says, the lines the operator saw, the
// publish cost on the monitor's thread beside a hub with no consumer (the
// reference), the file's size and how long the backlog took.
//
//   notify_outage_bench [EVENTS] [MAXQUEUED]

#include "observe/notify/notifier.h"
#include "observe/notify/outbox.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

using namespace pingvard;
using namespace std::chrono;

namespace {

class TDownTransport final : public TNotifyTransport {
public:
    TDelivery Send(const TMailRequest& mail) override { return Take(mail.Payload); }
    TDelivery Send(const THttpPost& post) override { return Take(post.Body); }
    void Abort() noexcept override {}
    std::atomic<bool> Up{false};
    std::atomic<int> Taken{0};
    std::atomic<int> Refused{0};
    std::mutex Mutex;
    std::string First;

private:
    TDelivery Take(const std::string& body) {
        if (!Up) {
            ++Refused;
            return {false, "cannot connect to ntfy.example.org"};
        }
        if (Taken++ == 0) {
            std::lock_guard lock(Mutex);
            First = body;
        }
        return {true, "HTTP 200"};
    }
};

TMonitorEvent Outcome(int64_t startMs, int i) {
    TMonitorEvent e;
    e.Kind = TMonitorEventKind::ActionOutcome;
    e.Time = system_clock::time_point(milliseconds(startMs + int64_t{i} * 30000));
    e.Action = "plug";
    e.ActionKind = "http";
    e.Text = "Unable to power cycle, cannot connect to 192.168.168.5";
    auto incident = std::make_shared<TIncident>();
    incident->StartMs = startMs;
    incident->Cause = TSiteCause::Uplink;
    e.Incident = incident;
    return e;
}

double Micros(steady_clock::duration d) {
    return duration_cast<nanoseconds>(d).count() / 1000.0;
}

} // namespace

int main(int argc, char** argv) {
    const int events = argc > 1 ? std::atoi(argv[1]) : 2880;
    const int maxQueued = argc > 2 ? std::atoi(argv[2]) : 1000;
    char pattern[] = "/tmp/pingvard-notify-bench.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const std::string dir = pattern;
    const int64_t startMs = 1765263909000;

    // The reference: the same events through a hub nobody listens to.
    TEventHub empty;
    steady_clock::duration referenceMax{};
    for (int i = 0; i < events; ++i) {
        const TMonitorEvent e = Outcome(startMs, i);
        const auto t0 = steady_clock::now();
        empty.Publish(e);
        referenceMax = std::max(referenceMax, steady_clock::now() - t0);
    }

    auto transport = std::make_unique<TDownTransport>();
    TDownTransport& net = *transport;
    TNotifierOptions o;
    TNotifyChannel phone;
    phone.Name = "phone";
    phone.Kind = TNotifyKind::Webhook;
    phone.Webhook.Preset = TWebhookPreset::Ntfy;
    phone.Webhook.Url = "https://ntfy.example.org/site7";
    phone.Events = {TMonitorEventKind::ActionOutcome, TMonitorEventKind::SiteBack};
    o.Channels = {phone};
    o.OutboxFile = dir + "/outbox.db";
    o.MaxQueued = maxQueued;
    o.Site = "site7";
    o.Transport = std::move(transport);
    o.FirstRetry = milliseconds(1);
    o.LongestRetry = milliseconds(20);
    std::mutex linesMutex;
    std::vector<std::string> lines;
    o.Report = [&](const std::string& line) {
        std::lock_guard lock(linesMutex);
        lines.push_back(line);
    };
    TNotifier notifier(std::move(o));
    TOutbox watch(maxQueued);
    watch.Open(dir + "/outbox.db");
    steady_clock::duration publishMax{};
    int64_t mostWaiting = 0;
    for (int i = 0; i < events; ++i) {
        const TMonitorEvent e = Outcome(startMs, i);
        const auto t0 = steady_clock::now();
        notifier.Publish(e);
        publishMax = std::max(publishMax, steady_clock::now() - t0);
        if (i % 64 == 0) {
            notifier.Flush();
            mostWaiting = std::max(mostWaiting, watch.Waiting("phone"));
        }
    }
    notifier.Flush();
    mostWaiting = std::max(mostWaiting, watch.Waiting("phone"));
    const uint64_t dropped = watch.DroppedTotal("phone");
    const auto fileBytes = std::filesystem::file_size(dir + "/outbox.db") +
                           std::filesystem::file_size(dir + "/outbox.db-wal");

    net.Up = true;
    const auto back = steady_clock::now();
    TMonitorEvent siteBack = Outcome(startMs, events);
    siteBack.Kind = TMonitorEventKind::SiteBack;
    siteBack.Text = "Site back after 24 h (not cured)";
    notifier.Publish(siteBack);
    while (watch.Waiting("phone") > 0 || net.Taken == 0) {
        std::this_thread::sleep_for(milliseconds(5));
    }
    const auto backlog = steady_clock::now() - back;
    notifier.Stop();

    std::printf("events during the outage        %d (one per 30 s of 24 h)\n", events);
    std::printf("MaxQueued                       %d\n", maxQueued);
    std::printf("most waiting in the outbox      %lld\n", static_cast<long long>(mostWaiting));
    std::printf("dropped (counted)               %llu (expected %d)\n",
                static_cast<unsigned long long>(dropped), std::max(events - maxQueued, 0));
    std::printf("refused sends while down        %d\n", net.Refused.load());
    std::printf("delivered after the line back   %d in %.0f ms\n", net.Taken.load(),
                duration_cast<microseconds>(backlog).count() / 1000.0);
    std::printf("outbox file at its fullest      %.0f KiB\n", fileBytes / 1024.0);
    std::printf(
        "Publish, longest                %.1f us (reference, a hub without sinks: %.1f us)\n",
        Micros(publishMax), Micros(referenceMax));
    {
        std::lock_guard lock(net.Mutex);
        const auto note = net.First.find("Note: ");
        std::printf("first message after the line    %s", note == std::string::npos
                                                              ? "(no note of the drops)\n"
                                                              : net.First.substr(note).c_str());
    }
    std::lock_guard lock(linesMutex);
    std::printf("lines the operator saw          %zu\n", lines.size());
    for (const std::string& line : lines) {
        std::printf("  %s\n", line.c_str());
    }
    std::filesystem::remove_all(dir);
    return 0;
}
