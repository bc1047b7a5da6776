// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/program_state.h"
#include "config/settings.h"
#include "config/slots.h"
#include "logs/event_log.h"
#include "monitor/event.h"
#include "monitor/event_publisher.h"
#include "monitor/front_end.h"
#include "monitor/gui_dispatcher.h"
#include "monitor/ping_obj.h"
#include "monitor/ping_thread.h"
#include "monitor/reset_thread.h"
#include "monitor/site_probe.h"
#include "net/link_state.h"
#include "net/tick_clock.h"
#include "rounds/recovery_policy.h"
#include "rounds/site_watch.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pingvard {

struct TMonitorOptions {
    std::string ResetPort = "23";      // tests use a high loopback port
    int32_t SessionLimitMs = 0;        // the telnet session's limit; 0 = its TimeLimit (60 s)
    const TTickClock* Clock = nullptr; // null = SystemTickClock()
    // Test seams. IcmpProbe null = TPingClient::ProbeIcmpAccess; Pinger null =
    // each worker's own echo client.
    std::function<std::string()> IcmpProbe;
    TPingTh::TPinger Pinger;
    // Test seam: makes the recovery action for a configured step; null (or a
    // null result) = the kind's own action.
    std::function<std::unique_ptr<TRecoveryAction>(const TActionConfig&)> ActionFactory;
    // Polled during the settings load: true (an exit request) ends Start
    // with ELoadCancelled, however large the file.
    TCancelCheck LoadCancelled;
    // Test seams of the site's state: the wall clock (ms since 1970), the
    // link towards an address (null = LinkTowards), and the site probe's
    // pass (null = the real one, with Pinger's echoes when that is set).
    std::function<int64_t()> WallClock;
    std::function<TLinkState(const std::string& address)> LinkCheck;
    TSiteProbe::TPass SiteProbe;
    // Test seam: the wall and boot clocks pingvard.state is written with;
    // null = ReadClocks.
    std::function<TClockReading()> Clocks;
};

// The status line while the settings of a first start wait for the operator,
// and a refused "Restart now" meanwhile.
inline constexpr const char* kAwaitingConfirmationText =
    "Restarts held until the settings are confirmed";
inline constexpr const char* kHeldRefusedText =
    "Restart refused: restarts are held until the settings are confirmed";
inline constexpr const char* kConfirmedText = "Settings confirmed: restarts armed";

// Status texts while no ICMP socket can be opened (the restart rule then rests,
// since failures of echoes never sent say nothing about the hosts), and once
// one can again.
inline constexpr const char* kNoEchoStatusText = "No echo can be sent: pinging is not permitted";
inline constexpr const char* kEchoAgainStatusText = "Pinging works again";

// The host monitor: four watched hosts, their workers, the restart rule and the
// reset session. Every member is for the GUI thread (the dispatcher's thread).
// The front end and the dispatcher must outlive this object; the dispatcher is
// cancelled for good by Shutdown.
//
// When start-up finds that no echo can be sent, the status says so, the front
// end gets the reason with its fix, and the restart rule rests; the monitor
// then probes again at a ping report at most every kIcmpProbeIntervalMs (or
// sees an answered echo), and when pinging works it says so and the rule
// resumes with every Failures count at 0.
class THostMonitor : private TResetHandOff, private TRestartRule {
public:
    static constexpr int32_t kSessionStopWaitMs = 1000;
    static constexpr uint32_t kIcmpProbeIntervalMs = 60000;

    THostMonitor(TMonitorFrontEnd& fe, TGuiDispatcher& dispatcher, TMonitorOptions options = {});
    ~THostMonitor() override; // runs Shutdown() if still needed, then joins every thread
    THostMonitor(const THostMonitor&) = delete;
    THostMonitor& operator=(const THostMonitor&) = delete;

    // Start-up: labels to "-", events, the load of the settings from
    // GetProgramDir() + "pingvard.ini" (TSettings::Load), then the settings
    // taken into use: the host labels and each slot's worker; the hosts'
    // lookups (all at once, at most kResolveToIPLimitMs); then the workers run
    // in slot order. An EIniFileException or ELoadCancelled from the load
    // propagates; no worker exists then.
    void Start();
    // The exit command's shutdown, in one call: from here on reports are
    // ignored; then the workers and a running session are stopped. Idempotent;
    // never blocks on a thread past its bound: each worker at most its echo
    // Timeout, a running session at most kSessionStopWaitMs. A thread still
    // running then is joined by the destructor.
    void Shutdown();
    // A ping report (slot, round trip in ms or -1); ignored before Start, after
    // Shutdown, or when the slot is outside 0..3. us: the round trip from the
    // monotonic clock for the observers; without it, ms * 1000.
    void ReportPing(int slot, int32_t ms, std::optional<int64_t> us = std::nullopt);
    // A report as a worker hands it over: the round trip, none for a lost echo.
    void ReportEcho(int slot, std::optional<TRoundTrip> echo);

    // Where the monitor's events go (TMonitorEvent): subscribe the observers
    // here. Events are published on the GUI thread and never wait.
    TEventHub& Events() { return m_events.Hub(); }
    // The status line as the monitor last set it, and a line of the program's
    // own (an observer's problem): shown and published like the monitor's.
    const std::string& StatusText() const { return m_publishingFe.StatusText(); }
    void SetStatusText(const std::string& text) { m_fe.SetStatusText(text); }

    // Start found no pingvard.ini and created it with the defaults.
    bool StartedWithoutConfigFile() const { return m_startedWithoutConfig; }
    // The settings that a first start wrote wait for the operator, at this
    // start and every later one until confirmed (pingvard.state): the restart
    // rule holds, failures still count and show, "Restart now" is refused.
    // A start that finds pingvard.ini changed since takes that as the
    // confirmation.
    bool AwaitingConfirmation() const { return m_awaitingConfirmation; }
    // The operator confirmed them: the first-run dialog was closed, or a
    // reload found the file edited or confirmed by pingvard --arm. Recorded
    // in pingvard.state; the rule counts afresh from here.
    void ConfirmSettings();
    // At a reload: confirmed since the start? Then as ConfirmSettings; true
    // when that happened now.
    bool ConfirmedSinceStart();
    // While held, the restart rule never fires (failures still count and show).
    // Releasing the hold starts the count afresh: a restart then needs
    // MaxTimeouts failures in a row on every marked host from that moment on.
    void HoldRestarts(bool hold);
    // "Restart now" and SIGUSR1: one round of the escalation, as when the
    // restart rule fires, within the guard's limits (a paused guard refuses).
    void RestartNow();

    // The state of the site, as the front end was last shown it; the open
    // incident (null: none), and one taken up again after a restart of the
    // program (rounds/site_watch.h, Resume).
    TSiteView SiteView() const;
    std::shared_ptr<const TIncident> OpenIncident() const { return m_site.IncidentSnapshot(); }
    void ResumeIncident(const TIncident& incident);

    // The settings in use, as the settings dialog shows them: each host's
    // Hostname is its address as looked up at start or at the last apply.
    TSettings Settings() const;
    // OK of the settings dialog: applies the settings group by group and
    // writes each group to pingvard.ini right after applying it, so a refused
    // write (EIniFileException) leaves the groups before it in force. addresses
    // are the hosts' Hostnames looked up (ResolveToIP), which the workers
    // ping; the file keeps each Hostname as written. Edited recovery values
    // (quorum, guard, time limits and verify times) are written and taken
    // into use when no round runs, else when it ends; the guard starts afresh. A worker takes its
    // new host and Timeout from its next echo on, PingInterval from its next pause; MaxTimeouts and
    // DoReset count from the next report; ResetHost is used by the next session. The statistics
    // stay. The script, the actions' own settings and the observer settings are not changed here.
    void ApplySettings(const TSettings& settings,
                       const std::array<std::string, kSlotCount>& addresses);
    // A reload of pingvard.ini (SIGHUP): the same, and the notifications,
    // without writing anything.
    void ApplyReloaded(const TSettings& settings,
                       const std::array<std::string, kSlotCount>& addresses);
    // The observers' page at OK: writes [History], [Metrics] and
    // [Notifications] (EIniFileException) and keeps them for Settings(). The
    // hooks are not written. The program takes history and metrics into use
    // at its next start; the notifications at once (through Settings()).
    void ApplyObserveSettings(const TObserveSettings& observe);
    // Writes the channels the dialog changed; they are used from the next start.
    void ApplyNotifyChannels(const std::vector<TNotifyChannel>& channels);

    // Live values. A negative PingInterval is kept as set, and the workers then
    // pause TPingTh::kNegativeIntervalWaitMs per pass.
    int32_t PingInterval() const { return m_pingInterval.load(std::memory_order_relaxed); }
    void SetPingInterval(int32_t value);
    int32_t MaxTimeouts() const override { return m_maxTimeouts; }
    void SetMaxTimeouts(int32_t value) { m_maxTimeouts = value; }
    const std::string& ResetHost() const { return m_resetHost; }
    void SetResetHost(const std::string& host) { m_resetHost = host; }
    const std::vector<std::string>& Challenges() const { return m_settings.Challenges; }
    const std::vector<std::string>& Answers() const { return m_settings.Answers; }

    TPingObj& PingObj(int slot);
    TPingTh* PingThread(int slot); // null when start-up stopped before creating it
    TThReset* ResetThread() { return m_resetThread.get(); }
    bool ResetSessionRunning(); // the token is taken

    // What a session's start and its outcome show, through
    // monitor/reset_outcomes.h, and publish; nothing more.
    void ShowResetStarting();
    void ShowResetOutcome(const TRecoveryOutcome& outcome);

private:
    // TResetHandOff: the session's hand-offs to this (the GUI) thread. The
    // outcome is shown, then handed to the recovery policy.
    void SessionStarting() override;
    void SessionEnded(const TRecoveryOutcome& outcome) override;

    // Tells the front end's debug output where a host's echo times come from,
    // when that is first known and whenever it changes.
    void SayStampSource(int slot, const TRoundTrip& echo);
    void TakeIntoUse();
    void CreateWorker(int slot, const THostSettings& host);
    void ApplyHost(int slot, const THostSettings& host, const std::string& address);
    void ResolveWorkerHosts();
    const TTickClock& Clock() const;
    std::string ProbeIcmp() const;
    void CheckIcmpAgain(int32_t ms);
    void EvaluateRestartRule() override;
    void ZeroFailures();
    void StartResetSession(std::unique_ptr<TRecoveryAction> action, int32_t limitMs = 0);
    // A step whose action has not returned a little after its time limit
    // ends as a failure; its thread is left to end on its own.
    void EndOverdueStep();

    // Recovery rounds (monitor/host_monitor_recovery.cpp): the policy
    // decides; these show it what the monitor sees and carry its decisions
    // out, each kind in a function of its own.
    TRoundView RoundView();
    void Follow(const TRoundDecisions& decisions);
    void Carry(const TRuleFired& fired);
    void Carry(const TForgetFailures& forget);
    void Carry(const TStartStep& step);
    void Carry(const TShowGuardChange& change);
    void Carry(const TRefuseRequest& refusal);
    void Carry(const TKeepGuardMemory& keep);
    // pingvard.state (monitor/host_monitor_state.cpp): the guard's memory and
    // the confirmation of a first start, read at Start.
    void RestoreState();
    // Takes up the incident open when the program last ended, once the hosts
    // are configured; then keeps pingvard.state's copy of it up to date.
    void ResumeSavedIncident();
    void SaveIncident();
    TClockReading Clocks() const;
    std::unique_ptr<TRecoveryAction> MakeStepAction(const TActionConfig& config) const;

    // The state of the site (monitor/host_monitor_site.cpp): the site watch
    // sees each report and the round's steps, the probe and the link check
    // give it clues; its decisions are carried out like the policy's.
    void ConfigureSite();
    void SiteReport(int slot, bool answered);
    void ProbeReport(const TSiteClues& clues);
    void CheckLink();
    void WantProbe();
    void StopProbe();
    void ShowSite();
    std::vector<std::string> ActionNames() const;
    void Follow(const TSiteDecisions& decisions);
    void Carry(const TSiteChanged& changed);
    void Carry(const TIncidentBegan& began);
    void Carry(const TIncidentEnded& ended);
    void Carry(const TRestartsPaused& paused);
    void Carry(const TLinkHoldChanged& hold);
    void ApplyRecovery(const TRecoverySettings& edited);
    void ApplyDialogSettings(const TSettings& settings,
                             const std::array<std::string, kSlotCount>& addresses,
                             TCustomIniFile* ini);
    void StopWorkers();
    void StopResetSession();

    // Before m_fe, which refers to them: every status change is also an event.
    TMonitorEventPublisher m_events;
    TPublishingFrontEnd m_publishingFe;
    TMonitorFrontEnd& m_fe;
    TGuiDispatcher& m_dispatcher;
    const TMonitorOptions m_options;

    // As loaded at start: the script and the sections beyond the historic
    // file. The live values below take precedence for everything else.
    TSettings m_settings;
    std::atomic<int32_t> m_pingInterval{2000};
    int32_t m_maxTimeouts = 5;
    std::string m_resetHost;
    // What the running session's start and outcome show: its action's name
    // and kind, and the status line while it runs ("" = the telnet text).
    struct TSessionShown {
        std::string Action = "telnet";
        std::string Kind = "telnet";
        std::string StartingText;
        uint32_t VerifyMs = 0;
    } m_session;
    TEventLog m_eventLog; // pingvard.log, and whether its lines arrive

    std::array<TPingObj, kSlotCount> m_pingObjs;
    bool m_created = false;
    bool m_destroyed = false;
    bool m_startedWithoutConfig = false;
    bool m_restartsHeld = false;
    bool m_awaitingConfirmation = false;
    bool m_stateWriteReported = false; // a refused write of pingvard.state, said once
    std::string m_savedIncident;       // [Incident] Open as last written
    bool m_incidentWriteReported = false;
    bool m_heldRefusalLogged = false;
    bool m_icmpUnavailable = false; // no way to send echoes (found at start-up)
    std::array<std::optional<bool>, kSlotCount> m_kernelStamps; // as last said per slot
    uint32_t m_lastIcmpProbe = 0;                               // tick of the last probe
    // Declared before the threads that use them, so they outlive every join.
    std::unique_ptr<TEvent> m_stopEvent;
    std::unique_ptr<TEvent> m_resetIdleEvent;
    std::array<std::unique_ptr<TPingTh>, kSlotCount> m_pingThreads;
    std::unique_ptr<TThReset> m_resetThread;
    std::unique_ptr<TRecoveryPolicy> m_policy; // from Start on
    TSiteWatch m_site;
    std::optional<int> m_accessPointSlot; // the watched host that is the reset host
    std::string m_accessPointAddress;     // numeric, as last found
    uint32_t m_lastLinkCheck = 0;
    bool m_linkChecked = false;
    std::unique_ptr<TSiteProbe> m_probe; // from Start on
    // Threads that outlived their bound at shutdown; the destructor joins them.
    std::vector<std::unique_ptr<TPingTh>> m_lateWorkers;
    std::unique_ptr<TThReset> m_lateSession;
    std::unique_ptr<TSiteProbe> m_lateProbe;
    std::vector<std::unique_ptr<TThReset>> m_overdueSessions; // aborted; joined at destruction
};

} // namespace pingvard
