// SPDX-License-Identifier: GPL-3.0-or-later
// Serves known figures for the Prometheus scrape test: feeds a fixed set of
// events through the metrics queue, listens on ADDRESS PORT, prints one
// "PROMQL<TAB>VALUE" line per figure a scrape must show, then "ready", and
// serves until it is ended by a signal.

#include "observe/http_listeners.h"
#include "observe/metrics_route.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace pingvard;

namespace {

TMonitorEvent Event(TMonitorEventKind kind, int slot = -1) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Slot = slot;
    if (slot >= 0) {
        e.Host = "192.0.2." + std::to_string(10 + slot);
        e.DisplayName = "Host " + std::to_string(slot + 1);
    }
    return e;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ADDRESS PORT\n", argv[0]);
        return 2;
    }
    std::string error;
    const auto registry = TMetricsRegistry::Load("test", {PINGVARD_TEST_MODULE_DIR}, error);
    if (!registry) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    TMetricsRegistry& metrics = *registry;
    {
        TQueuedSink queue(metrics, {});
        const int sent[4] = {40, 25, 7, 1};
        const int lostEvery[4] = {5, 0, 1, 0}; // 0 = never
        for (int slot = 0; slot < 4; ++slot) {
            for (int i = 0; i < sent[slot]; ++i) {
                TMonitorEvent echo = Event(TMonitorEventKind::Echo, slot);
                if (lostEvery[slot] == 0 || i % lostEvery[slot] != 0) {
                    echo.RoundTripUs = 1000 + 250 * i;
                }
                queue.Publish(echo);
            }
        }
        queue.Publish(Event(TMonitorEventKind::HostDown, 2));
        for (int i = 0; i < 3; ++i) {
            queue.Publish(Event(TMonitorEventKind::RuleFired));
            TMonitorEvent outcome = Event(TMonitorEventKind::ActionOutcome);
            outcome.Action = "telnet";
            outcome.ActionKind = "telnet";
            outcome.Ok = i == 2;
            queue.Publish(outcome);
        }
    } // the queue hands everything over before it ends
    std::printf("pingvard_echoes_sent_total{slot=\"1\"}\t40\n"
                "pingvard_echoes_lost_total{slot=\"1\"}\t8\n"
                "pingvard_round_trip_seconds_count{slot=\"1\"}\t32\n"
                "pingvard_echoes_sent_total{slot=\"2\"}\t25\n"
                "pingvard_echoes_lost_total{slot=\"2\"}\t0\n"
                "pingvard_echoes_lost_total{slot=\"3\"}\t7\n"
                "pingvard_host_up{slot=\"3\"}\t0\n"
                "pingvard_host_up{slot=\"4\"}\t1\n"
                "pingvard_restart_rule_fired_total\t3\n"
                "pingvard_recovery_outcomes_total{result=\"failed\"}\t2\n"
                "pingvard_recovery_outcomes_total{result=\"ok\"}\t1\n"
                "pingvard_build_info{version=\"test\"}\t1\n");
    THttpListeners listeners;
    const auto port = static_cast<uint16_t>(std::atoi(argv[2]));
    AddMetricsRoute(listeners.Routes(argv[1], port, "Metrics"), metrics);
    bool listening = true;
    listeners.Start([&](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        listening = false;
    });
    if (!listening) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    int signal = 0;
    sigwait(&set, &signal);
    return 0;
}
