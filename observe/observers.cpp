// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/observers.h"

#include "observe/metrics_route.h"
#include "observe/web/web_routes.h"

namespace pingvard {

#ifndef PINGVARD_VERSION
#define PINGVARD_VERSION "unknown"
#endif

TObservers::TObservers(TObserveOptions options) {
    const TObserveSettings& s = options.Settings;
    if (options.WatchdogStaleMs > 0) {
        m_liveness = std::make_unique<TEchoLiveness>(options.WatchdogStaleMs);
        m_hub.Add(*m_liveness);
    }
    TEchoLiveness* liveness = m_liveness.get();
    m_notifier = std::make_unique<TSystemdNotifier>(
        liveness != nullptr ? std::function<bool()>([liveness] { return liveness->Healthy(); })
                            : std::function<bool()>());
    m_hub.Add(*m_notifier);

    if (s.History.Enabled) {
        m_historyFile = HistoryFileName(s.History, options.ProgramDir);
        THistoryOptions history;
        history.FileName = m_historyFile;
        history.RawKeep = std::chrono::hours(s.History.RawHours);
        history.MinuteKeep = std::chrono::hours(24 * s.History.MinuteDays);
        history.HourKeep = std::chrono::hours(8766 * s.History.HourYears);
        history.Report = options.Report;
        history.OpenIncident = options.OpenIncident;
        m_history = std::make_unique<THistoryStore>(std::move(history));
        m_historyQueue = std::make_unique<TQueuedSink>(*m_history, HistoryQueueOptions());
        m_hub.Add(*m_historyQueue);
    }
    // The page's listener serves /metrics too, so one address gives both.
    if (s.Metrics.Enabled || s.Web.Enabled) {
        std::string error;
        m_metrics = TMetricsRegistry::Load(
            PINGVARD_VERSION, options.ModuleDirs.empty() ? ProgramModuleDirs() : options.ModuleDirs,
            error);
        if (m_metrics) {
            m_metricsQueue = std::make_unique<TQueuedSink>(*m_metrics, TQueueOptions{});
            m_hub.Add(*m_metricsQueue);
            const bool shared = s.Metrics.Enabled && s.Web.Enabled &&
                                s.Metrics.Address == s.Web.Address && s.Metrics.Port == s.Web.Port;
            if (s.Metrics.Enabled) {
                AddMetricsRoute(m_listeners.Routes(s.Metrics.Address,
                                                   static_cast<uint16_t>(s.Metrics.Port),
                                                   "Metrics"),
                                *m_metrics);
            }
            if (s.Web.Enabled && !shared) {
                AddMetricsRoute(
                    m_listeners.Routes(s.Web.Address, static_cast<uint16_t>(s.Web.Port), "Web"),
                    *m_metrics);
            }
        } else if (options.Report) {
            options.Report("Metrics not served: " + error);
        }
    }
    if (s.Web.Enabled) {
        AddWebRoutes(m_listeners.Routes(s.Web.Address, static_cast<uint16_t>(s.Web.Port), "Web"),
                     {options.Web, m_historyFile, s.Web.Token});
    }
    m_listeners.Start(options.Report);
    if (!s.Hooks.empty()) {
        m_hooks = std::make_unique<THookRunner>(s.Hooks, options.Report, options.Secrets);
        m_hub.Add(*m_hooks);
    }
    if (!options.Notify.Channels.empty() && options.NotifyTransport) {
        TNotifierOptions notify;
        notify.Channels = options.Notify.Channels;
        notify.OutboxFile = options.NotifyOutbox;
        notify.MaxQueued = options.Notify.MaxQueued;
        notify.Site = options.Site;
        notify.Report = options.Report;
        notify.Secrets = options.Secrets;
        notify.Transport = options.NotifyTransport();
        notify.DailyReportMinute = options.Notify.DailyReportMinute;
        notify.HistoryFile = m_historyFile; // empty when the history is off
        m_notify = std::make_unique<TNotifier>(std::move(notify));
        m_hub.Add(*m_notify);
    }
}

TObservers::~TObservers() {
    Stop();
}

void TObservers::Stop() noexcept {
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    for (TEventSink* sink : std::initializer_list<TEventSink*>{
             m_liveness.get(), m_notifier.get(), m_historyQueue.get(), m_metricsQueue.get(),
             m_hooks.get(), m_notify.get()}) {
        if (sink != nullptr) {
            m_hub.Remove(*sink);
        }
    }
    if (m_hooks) {
        m_hooks->Stop();
    }
    if (m_notify) {
        m_notify->Stop(); // a send under way is aborted; what waits stays in the outbox
    }
    m_listeners.Stop();
    if (m_metricsQueue) {
        m_metricsQueue->Stop();
    }
    if (m_historyQueue) {
        m_historyQueue->Stop(); // the last batch reaches the disk
    }
    m_notifier->Stopping();
    m_notifier->Stop();
}

} // namespace pingvard
