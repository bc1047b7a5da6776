// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Everything observe/ offers, built from the settings and fed from one sink:
// the history writer, the metrics registry and listener, the hooks, and the
// service notification with its echo liveness check. The program makes one,
// publishes the monitor's events into Sink(), and stops it after the monitor.
//
//     TObservers observers({settings, GetProgramDir(), report, secrets, staleMs});
//     monitor.Events().Add(observers.Sink());
//     ...
//     observers.Notifier().Ready();
//     ...                                  // monitor stopped: nothing publishes now
//     observers.Stop();

#include "config/observe_settings.h"
#include "observe/echo_liveness.h"
#include "observe/history/history_store.h"
#include "observe/hook_runner.h"
#include "observe/http_listeners.h"
#include "observe/metrics_registry.h"
#include "observe/notify/notifier.h"
#include "observe/queued_sink.h"
#include "observe/systemd_notify.h"
#include "observe/web/web_source.h"

#include <memory>
#include <string>
#include <vector>

namespace pingvard {

struct TObserveOptions {
    TObserveSettings Settings;
    std::string ProgramDir; // ends in a separator, as GetProgramDir() gives it
    // One line for the console and the status line, called on the consumers'
    // own threads, possibly at the same time: it must be thread-safe, and
    // marshal to the GUI thread before it touches the window.
    TReportFn Report;
    std::vector<std::string> Secrets; // masked wherever a hook could see them
    // The longest a slot may go without an echo report before the service
    // watchdog starves; 0 = no liveness check.
    uint32_t WatchdogStaleMs = 0;
    // Where the program's modules are; empty: ProgramModuleDirs().
    std::vector<std::string> ModuleDirs;
    // What the status page shows of the monitor ([Web]); null: none runs.
    // It must outlive these observers.
    TWebSource* Web = nullptr;
    // The notification channels, their outbox's file and the machine's name;
    // no channel is run without a transport.
    TNotifySettings Notify;
    std::string NotifyOutbox;
    std::string Site;
    std::function<std::unique_ptr<TNotifyTransport>()> NotifyTransport;
    // The incident the monitor took up again at its start, if any.
    std::shared_ptr<const TIncident> OpenIncident;
};

class TObservers {
public:
    explicit TObservers(TObserveOptions options);
    ~TObservers(); // Stop()
    TObservers(const TObservers&) = delete;
    TObservers& operator=(const TObservers&) = delete;

    TEventSink& Sink() noexcept { return m_hub; }
    TSystemdNotifier& Notifier() noexcept { return *m_notifier; }
    // Null without a liveness check; SetStaleMs when the interval or time-outs change.
    TEchoLiveness* Liveness() noexcept { return m_liveness.get(); }
    // Null when metrics are off (or their module could not be loaded).
    const TMetricsRegistry* Metrics() const noexcept { return m_metrics.get(); }
    // The HTTP listeners (their ports, for tests that listen on port 0).
    const THttpListeners& Listeners() const noexcept { return m_listeners; }
    // The history file, or "" when history is off (for the graphs and --history).
    const std::string& HistoryFile() const noexcept { return m_historyFile; }

    // Detaches every consumer from the sink, writes what is queued, ends the
    // hooks and the listener, sends STOPPING=1, and joins every thread.
    void Stop() noexcept;

private:
    TEventHub m_hub;
    std::string m_historyFile;
    std::unique_ptr<TEchoLiveness> m_liveness;
    std::unique_ptr<TSystemdNotifier> m_notifier;
    std::unique_ptr<THistoryStore> m_history;
    std::unique_ptr<TQueuedSink> m_historyQueue;
    std::unique_ptr<TMetricsRegistry> m_metrics;
    std::unique_ptr<TQueuedSink> m_metricsQueue;
    THttpListeners m_listeners;
    std::unique_ptr<THookRunner> m_hooks;
    std::unique_ptr<TNotifier> m_notify;
    bool m_stopped = false;
};

} // namespace pingvard
