// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/program_observers.h"

#include "config/program_dir.h"
#include "observe/notify/transport_module.h"
#include "recovery/secret_mask.h"

#include <algorithm>
#include <unistd.h>
#include <utility>

namespace pingvard {

namespace {

constexpr uint32_t kWatchdogSlackMs = 5000;

} // namespace

uint32_t TProgramObservers::WatchdogStaleMs(const TSettings& settings) {
    int64_t slowest = 0;
    for (const THostSettings& host : settings.Hosts) {
        slowest = std::max<int64_t>(slowest, host.Timeout);
    }
    const int64_t interval = std::max<int64_t>(settings.PingInterval, 0);
    const int64_t stale = 2 * (interval + slowest) + kWatchdogSlackMs;
    return static_cast<uint32_t>(std::min<int64_t>(stale, INT32_MAX));
}

std::vector<std::string> TProgramObservers::Secrets(const TSettings& settings) {
    std::vector<std::string> secrets;
    // Only the answers that are passwords: masking "y" or "1" everywhere would
    // turn every hook value that holds the letter into asterisks.
    for (std::size_t i = 0; i < settings.Answers.size() && i < settings.Challenges.size(); ++i) {
        if (!settings.Answers[i].empty() && AsksForPassword(settings.Challenges[i])) {
            secrets.push_back(settings.Answers[i]);
        }
    }
    for (const TActionConfig& action : settings.Recovery.Actions) {
        for (std::string& secret : KindInfo(action.Kind).Secrets(action)) {
            if (!secret.empty()) {
                secrets.push_back(std::move(secret));
            }
        }
    }
    for (std::string& secret : NotifySecrets(settings.Notify)) {
        secrets.push_back(std::move(secret));
    }
    if (!settings.Observe.Web.Token.empty()) {
        secrets.push_back(settings.Observe.Web.Token);
    }
    return secrets;
}

std::string TProgramObservers::SiteName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "pingvard";
    }
    return name;
}

TProgramObservers::TProgramObservers(THostMonitor& monitor, TGuiDispatcher& dispatcher,
                                     std::function<void(const std::string&)> consoleLine)
    : m_monitor(monitor) {
    const TSettings settings = monitor.Settings();
    for (const std::string& problem : settings.ObserveProblems) {
        consoleLine(problem);
    }
    TObserveOptions options;
    options.Settings = settings.Observe;
    options.ProgramDir = GetProgramDir();
    options.Secrets = Secrets(settings);
    options.WatchdogStaleMs = WatchdogStaleMs(settings);
    options.Notify = settings.Notify;
    options.NotifyOutbox = OutboxFileName(settings.Notify, GetProgramDir());
    options.Site = SiteName();
    options.NotifyTransport = [] { return MakeModuleTransport(); };
    options.OpenIncident = monitor.OpenIncident();
    // On a consumer's thread: the line is shown on the GUI thread. Once the
    // monitor has shut down the dispatcher refuses it; the line is then lost
    // with the status line it was meant for.
    options.Report = [&monitor, &dispatcher, consoleLine](const std::string& line) {
        dispatcher.Send([&monitor, &consoleLine, &line] {
            consoleLine(line);
            monitor.SetStatusText(line);
        });
    };
    if (settings.Observe.Web.Enabled) {
        m_webSource = std::make_unique<TMonitorWebSource>(monitor, dispatcher);
        monitor.Events().Add(*m_webSource);
        options.Web = m_webSource.get();
    }
    m_observers = std::make_unique<TObservers>(std::move(options));
    monitor.Events().Add(m_observers->Sink());
    m_observers->Notifier().Ready();
    // The status line so far (an ICMP notice at start-up) was set before the
    // subscription.
    if (const std::string status = monitor.StatusText(); !status.empty()) {
        m_observers->Notifier().Status(status);
    }
}

TProgramObservers::~TProgramObservers() {
    Stop();
}

void TProgramObservers::Stop() noexcept {
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    m_monitor.Events().Remove(m_observers->Sink());
    if (m_webSource) {
        m_monitor.Events().Remove(*m_webSource);
    }
    m_observers->Stop(); // the listener first: nobody asks the source any more
    if (m_webSource) {
        m_webSource->Stop();
    }
}

} // namespace pingvard
