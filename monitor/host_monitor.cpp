// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/host_monitor.h"

#include "config/dialog/hook_write.h"
#include "config/dialog/notify_write.h"
#include "config/dialog/recovery_write.h"
#include "config/ini_file.h"
#include "config/profile_store.h"
#include "config/program_dir.h"
#include "monitor/reset_outcomes.h"
#include "net/echo/ping_client.h"
#include "net/resolve.h"
#include "net/tick_clock.h"
#include "recovery/telnet_action.h"

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <sys/stat.h>

namespace pingvard {

namespace {

bool ValidSlot(int slot) {
    return slot >= 0 && slot < kSlotCount;
}

bool FileAbsent(const std::string& fileName) {
    struct stat st {};
    return ::stat(fileName.c_str(), &st) != 0 && errno == ENOENT;
}

void CheckSlot(int slot) {
    if (!ValidSlot(slot)) {
        throw std::out_of_range("watched-host slot out of range: " + std::to_string(slot));
    }
}

TSiteWatch::TWallClock WallClockOf(const TMonitorOptions& options) {
    if (options.WallClock) {
        return options.WallClock;
    }
    return [] { return WallClockMs(); };
}

} // namespace

THostMonitor::THostMonitor(TMonitorFrontEnd& fe, TGuiDispatcher& dispatcher,
                           TMonitorOptions options)
    : m_publishingFe(fe, m_events), m_fe(m_publishingFe), m_dispatcher(dispatcher),
      m_options(std::move(options)), m_site(WallClockOf(m_options)) {}

THostMonitor::~THostMonitor() {
    if (m_created) {
        Shutdown();
    }
    // Every blocking call of these threads has been aborted; they end promptly.
    m_lateWorkers.clear();
    m_lateSession.reset();
    m_lateProbe.reset();
    m_overdueSessions.clear();
}

void THostMonitor::Start() {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        TPingObj& obj = m_pingObjs[static_cast<std::size_t>(slot)];
        obj.Index = slot;
        obj.Rule = this;
        obj.FrontEnd = &m_fe;
        m_fe.ShowFigures(slot, obj.Figures());
    }
    m_stopEvent = std::make_unique<TEvent>(true, false);
    m_resetIdleEvent = std::make_unique<TEvent>(false, true);
    m_resetThread.reset();
    m_created = true;
    {
        const std::string fileName = GetProgramDir() + "pingvard.ini";
        RemoveStaleTempFiles(fileName); // what a killed write left
        m_startedWithoutConfig = FileAbsent(fileName);
        TIniFile ini(fileName, m_options.LoadCancelled);
        m_settings = TSettings::Load(ini, GetProgramDir(), m_options.LoadCancelled);
    }
    TakeIntoUse();
    m_policy = std::make_unique<TRecoveryPolicy>(m_settings.Recovery, Clock());
    RestoreState();
    ResolveWorkerHosts();
    ConfigureSite();
    ResumeSavedIncident();
    for (auto& worker : m_pingThreads) {
        if (worker) {
            worker->Start();
        }
    }
    m_probe = std::make_unique<TSiteProbe>(
        m_dispatcher, m_pingInterval, [this](const TSiteClues& clues) { ProbeReport(clues); },
        m_options.Pinger, m_options.SiteProbe);
    m_probe->Start();
    m_lastIcmpProbe = Clock().Now();
    const std::string icmpProblem = ProbeIcmp();
    if (!icmpProblem.empty()) {
        m_icmpUnavailable = true;
        m_fe.SetStatusText(kNoEchoStatusText);
        m_fe.ReportIcmpUnavailable(icmpProblem);
    }
}

void THostMonitor::TakeIntoUse() {
    SetMaxTimeouts(m_settings.MaxTimeouts);
    SetPingInterval(m_settings.PingInterval);
    SetResetHost(m_settings.ResetHost);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const THostSettings& host = m_settings.Hosts[static_cast<std::size_t>(slot)];
        m_fe.HostLabel(slot).SetText(host.DisplayName);
        TPingObj& obj = PingObj(slot);
        obj.DisplayName = host.DisplayName;
        obj.DoReset = host.DoReset;
        CreateWorker(slot, host);
    }
}

// All names at once within one short limit, so that a resolver that does not
// answer (the link down at boot) delays the start by at most that limit. A
// name not resolved in time stays a name: its worker looks it up before each
// echo, within the echo's Timeout.
void THostMonitor::ResolveWorkerHosts() {
    std::vector<std::string> names;
    for (const TPingObj& obj : m_pingObjs) {
        names.push_back(obj.IP);
    }
    const std::vector<std::string> resolved = ResolveToIP(names);
    for (std::size_t slot = 0; slot < m_pingThreads.size(); ++slot) {
        if (m_pingThreads[slot]) {
            m_pingObjs[slot].IP = resolved[slot];
            m_pingThreads[slot]->SetHost(resolved[slot]);
        }
    }
}

const TTickClock& THostMonitor::Clock() const {
    return m_options.Clock != nullptr ? *m_options.Clock : SystemTickClock();
}

std::string THostMonitor::ProbeIcmp() const {
    return m_options.IcmpProbe ? m_options.IcmpProbe() : TPingClient::ProbeIcmpAccess();
}

// While no echo can be sent, a report is a chance to look again (at most once
// per kIcmpProbeIntervalMs); an answered echo shows it works without a probe.
void THostMonitor::CheckIcmpAgain(int32_t ms) {
    const uint32_t now = Clock().Now();
    if (ms < 0) {
        if (TickDifference(m_lastIcmpProbe, now) < kIcmpProbeIntervalMs) {
            return;
        }
        m_lastIcmpProbe = now;
        if (!ProbeIcmp().empty()) {
            return;
        }
    }
    m_icmpUnavailable = false;
    // The failures so far were echoes never sent: the rule starts afresh.
    ZeroFailures();
    m_fe.SetStatusText(kEchoAgainStatusText);
}

void THostMonitor::Shutdown() {
    if (!m_created || m_destroyed) {
        return;
    }
    m_destroyed = true;
    // First, so that no thread stays blocked handing something to this thread.
    m_dispatcher.Cancel();
    StopWorkers();
    StopResetSession();
    StopProbe();
}

void THostMonitor::StopWorkers() {
    for (auto& worker : m_pingThreads) {
        if (worker) {
            worker->RequestTerminate();
        }
    }
    m_stopEvent->Set();
    for (auto& worker : m_pingThreads) {
        if (!worker) {
            continue;
        }
        if (!worker->WaitForEnd(worker->EchoTimeout())) {
            m_lateWorkers.push_back(std::move(worker));
        }
        worker.reset();
    }
}

void THostMonitor::StopResetSession() {
    if (!m_resetThread) {
        return;
    }
    if (!m_resetIdleEvent->WaitFor(0)) {
        m_resetThread->RequestTerminate();
        if (!m_resetThread->WaitForEnd(kSessionStopWaitMs)) {
            m_lateSession = std::move(m_resetThread);
        }
    }
    m_resetThread.reset();
}

void THostMonitor::ReportPing(int slot, int32_t ms, std::optional<int64_t> us) {
    if (ms >= 0 && us) {
        ReportEcho(slot, TRoundTrip{ms, *us});
    } else {
        ReportEcho(slot, RoundTripOfMs(ms));
    }
}

void THostMonitor::ReportEcho(int slot, std::optional<TRoundTrip> echo) {
    if (m_destroyed || !m_created || !ValidSlot(slot)) {
        return;
    }
    // The slots, the window and the rule keep the designed -1 of a lost echo.
    const int32_t ms = echo ? echo->Ms : -1;
    if (m_icmpUnavailable) {
        CheckIcmpAgain(ms);
    }
    if (echo) {
        SayStampSource(slot, *echo);
    }
    TPingObj& obj = m_pingObjs[static_cast<std::size_t>(slot)];
    // Before the statistics, so that a host's going down precedes the rule it fires.
    m_events.Echo(slot, obj.IP, obj.DisplayName, m_maxTimeouts,
                  echo ? std::optional<int64_t>(echo->Us) : std::nullopt);
    if (!m_icmpUnavailable) {               // echoes never sent say nothing of the site
        SiteReport(slot, echo.has_value()); // a site going down precedes the round it begins
    }
    obj.UpdateResult(ms);
    EndOverdueStep();
    if (m_policy) {
        Follow(m_policy->PingReport(slot, echo.has_value(), RoundView()));
    }
    ShowSite();
}

void THostMonitor::SayStampSource(int slot, const TRoundTrip& echo) {
    std::optional<bool>& said = m_kernelStamps[static_cast<std::size_t>(slot)];
    if (said == echo.KernelStamp) {
        return;
    }
    said = echo.KernelStamp;
    const TPingObj& obj = m_pingObjs[static_cast<std::size_t>(slot)];
    m_fe.ReportDetail("host " + std::to_string(slot + 1) + " (" + obj.IP + "): echo times " +
                      (echo.KernelStamp
                           ? "from the kernel's receive timestamps"
                           : "from the program's clock: the kernel gave no timestamp"));
}

TSettings THostMonitor::Settings() const {
    TSettings settings = m_settings;
    settings.MaxTimeouts = MaxTimeouts();
    settings.PingInterval = PingInterval();
    settings.ResetHost = m_resetHost;
    for (std::size_t slot = 0; slot < m_pingObjs.size(); ++slot) {
        const TPingObj& obj = m_pingObjs[slot];
        const TPingTh* worker = m_pingThreads[slot].get();
        settings.Hosts[slot] = {obj.IP, obj.DisplayName, worker ? worker->Timeout() : 0,
                                obj.DoReset};
    }
    return settings;
}

void THostMonitor::ApplySettings(const TSettings& settings,
                                 const std::array<std::string, kSlotCount>& addresses) {
    TIniFile ini(ConfigFileName());
    ApplyDialogSettings(settings, addresses, &ini);
}

void THostMonitor::ApplyReloaded(const TSettings& settings,
                                 const std::array<std::string, kSlotCount>& addresses) {
    ApplyDialogSettings(settings, addresses, nullptr);
    m_settings.Observe.Notifications = settings.Observe.Notifications;
}

// Group by group, each written (when ini is given) right after it is applied.
void THostMonitor::ApplyDialogSettings(const TSettings& settings,
                                       const std::array<std::string, kSlotCount>& addresses,
                                       TCustomIniFile* ini) {
    SetMaxTimeouts(settings.MaxTimeouts);
    SetPingInterval(settings.PingInterval);
    if (ini) {
        settings.SaveConstants(*ini);
    }
    SetResetHost(settings.ResetHost);
    if (ini) {
        settings.SaveResetHost(*ini);
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto i = static_cast<std::size_t>(slot);
        ApplyHost(slot, settings.Hosts[i], addresses[i]);
        if (ini) {
            settings.SaveHost(*ini, slot);
        }
    }
    // Only an edit writes the recovery sections: a file without them keeps
    // today's behaviour and its bytes.
    if (!SameDialogRecoverySettings(settings.Recovery, m_settings.Recovery)) {
        const TRecoverySettings previous = m_settings.Recovery;
        ApplyRecovery(settings.Recovery);
        if (ini) {
            SaveDialogRecoverySettings(*ini, settings.Recovery, previous, GetProgramDir());
        }
    }
    ConfigureSite();
}

void THostMonitor::ApplyObserveSettings(const TObserveSettings& observe) {
    TIniFile ini(ConfigFileName());
    WriteHistorySettings(ini, observe.History);
    WriteMetricsSettings(ini, observe.Metrics);
    WriteNotificationSettings(ini, observe.Notifications);
    if (observe.Hooks != m_settings.Observe.Hooks) {
        WriteHookSettings(ini, observe.Hooks, m_settings.Observe.Hooks);
        m_settings.Observe.Hooks = observe.Hooks;
    }
    m_settings.Observe.History = observe.History;
    m_settings.Observe.Metrics = observe.Metrics;
    m_settings.Observe.Notifications = observe.Notifications;
}

void THostMonitor::ApplyNotifyChannels(const std::vector<TNotifyChannel>& channels) {
    if (SameDialogChannels(channels, m_settings.Notify.Channels)) {
        return; // a file without [Notify] keeps its bytes
    }
    TIniFile ini(ConfigFileName());
    SaveDialogNotifyChannels(ini, channels, m_settings.Notify.Channels, GetProgramDir());
    m_settings.Notify.Channels = channels;
}

void THostMonitor::ApplyHost(int slot, const THostSettings& host, const std::string& address) {
    TPingObj& obj = PingObj(slot);
    obj.DisplayName = host.DisplayName;
    m_fe.HostLabel(slot).SetText(host.DisplayName);
    if (obj.IP != address) { // a new host: its echo times are said anew
        m_kernelStamps[static_cast<std::size_t>(slot)].reset();
    }
    obj.IP = address;
    if (TPingTh* worker = PingThread(slot)) {
        worker->SetHost(address);
        worker->SetTimeout(host.Timeout);
    }
    obj.DoReset = host.DoReset;
}

void THostMonitor::HoldRestarts(bool hold) {
    if (m_restartsHeld && !hold) {
        ZeroFailures();
    }
    m_restartsHeld = hold;
}

void THostMonitor::ZeroFailures() {
    for (TPingObj& obj : m_pingObjs) {
        obj.Failures = 0;
    }
}

void THostMonitor::SetPingInterval(int32_t value) {
    m_pingInterval.store(value, std::memory_order_relaxed);
}

TPingObj& THostMonitor::PingObj(int slot) {
    CheckSlot(slot);
    return m_pingObjs[static_cast<std::size_t>(slot)];
}

TPingTh* THostMonitor::PingThread(int slot) {
    CheckSlot(slot);
    return m_pingThreads[static_cast<std::size_t>(slot)].get();
}

bool THostMonitor::ResetSessionRunning() {
    if (!m_resetIdleEvent || !m_resetIdleEvent->WaitFor(0)) {
        return m_resetIdleEvent != nullptr;
    }
    m_resetIdleEvent->Set();
    return false;
}

void THostMonitor::EvaluateRestartRule() {
    // Without an ICMP socket no echo was ever sent, so the failures say nothing
    // about the hosts; restarting the device on them would loop for ever.
    if (m_icmpUnavailable) {
        return;
    }
    // Held while the operator looks at the settings of a first start.
    if (m_restartsHeld || m_awaitingConfirmation || !m_policy) {
        return;
    }
    // Nothing this machine starts can reach the access point: the rule
    // counts afresh once the link is back.
    if (m_site.HoldsRestarts()) {
        ZeroFailures();
        return;
    }
    Follow(m_policy->RestartRuleArmed(RoundView()));
}

// Takes the token given: the caller has taken ResetIdleEvent.
void THostMonitor::StartResetSession(std::unique_ptr<TRecoveryAction> action, int32_t limitMs) {
    try {
        m_resetThread.reset(); // the previous session has given the token back: a short join
        TResetHandOff& handOff = *this;
        m_session.Action = action->Name();
        m_session.Kind = std::string(action->Kind());
        m_resetThread = std::make_unique<TThReset>(std::move(action), m_dispatcher, handOff,
                                                   *m_resetIdleEvent, limitMs, &Clock());
    } catch (...) {
        // No session runs: keep the token available for the next trigger.
        m_resetIdleEvent->Set();
        throw;
    }
}

void THostMonitor::CreateWorker(int slot, const THostSettings& host) {
    // Resolved with the other slots once all exist (ResolveWorkerHosts).
    PingObj(slot).IP = host.Hostname;
    auto worker = std::make_unique<TPingTh>(
        slot, *m_stopEvent, m_pingInterval, m_dispatcher,
        TPingTh::TEchoReport(
            [this](int32_t index, std::optional<TRoundTrip> echo) { ReportEcho(index, echo); }));
    worker->SetHost(host.Hostname);
    worker->SetTimeout(host.Timeout);
    if (m_options.Pinger) {
        worker->SetPinger(m_options.Pinger);
    }
    m_pingThreads[static_cast<std::size_t>(slot)] = std::move(worker);
}

// The tray shows the site's state with the step: the site watch hears of
// the step first.
void THostMonitor::ShowResetStarting() {
    m_site.StepStarted(m_session.Action, m_session.Kind, m_session.VerifyMs);
    SaveIncident();
    m_events.ActionStarted(m_session.Action, m_session.Kind, m_site.IncidentSnapshot());
    const TSiteView site = SiteView();
    pingvard::ShowResetStarting(m_fe, m_session.StartingText, TrayImageFor(site));
    m_fe.ShowSite(site);
}

void THostMonitor::ShowResetOutcome(const TRecoveryOutcome& outcome) {
    const TRecoveryOutcome shown =
        outcome.ConnectFailed ? TelnetConnectFailed(m_resetHost) : outcome;
    m_site.StepEnded(shown.Ok, shown.Status);
    SaveIncident();
    m_events.ActionOutcome(m_session.Action, m_session.Kind, shown.Ok, shown.Status,
                           m_site.IncidentSnapshot());
    const TSiteView site = SiteView();
    pingvard::ShowResetOutcome(m_fe, m_eventLog, shown, TrayImageFor(site));
    m_fe.ShowSite(site);
}

void THostMonitor::SessionStarting() {
    ShowResetStarting();
}

void THostMonitor::EndOverdueStep() {
    if (!m_resetThread || !m_resetThread->Overdue() || !m_resetThread->Abandon()) {
        return;
    }
    m_resetThread->RequestTerminate();
    const TRecoveryOutcome outcome = InternalError(
        m_resetThread->ActionName(),
        "no result " + std::to_string(TThReset::kOverdueGraceMs / 1000) +
            " s after its time limit of " + std::to_string(m_resetThread->LimitMs() / 1000) + " s");
    m_overdueSessions.push_back(std::move(m_resetThread));
    m_resetIdleEvent->Set(); // the token comes back: the round goes on
    SessionEnded(outcome);
}

void THostMonitor::SessionEnded(const TRecoveryOutcome& outcome) {
    ShowResetOutcome(outcome);
    if (m_policy) {
        Follow(m_policy->StepEnded(outcome, RoundView()));
    }
}

} // namespace pingvard
