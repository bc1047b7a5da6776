#include "monitor/host_monitor.h"

#include "monitor/ini_file.h"
#include "monitor/profile_store.h"
#include "monitor/program_dir.h"
#include "monitor/reset_outcomes.h"
#include "net/ping_client.h"
#include "net/resolve.h"
#include "recovery/telnet_action.h"

#include <stdexcept>

namespace pingvard {

namespace {

bool ValidSlot(int slot) {
    return slot >= 0 && slot < THostMonitor::kSlotCount;
}

void CheckSlot(int slot) {
    if (!ValidSlot(slot)) {
        throw std::out_of_range("watched-host slot out of range: " + std::to_string(slot));
    }
}

} // namespace

THostMonitor::THostMonitor(TMonitorFrontEnd& fe, TGuiDispatcher& dispatcher,
                           TMonitorOptions options)
    : m_fe(fe), m_dispatcher(dispatcher), m_options(std::move(options)) {}

THostMonitor::~THostMonitor() {
    if (m_created) {
        Shutdown();
    }
    // Every blocking call of these threads has been aborted; they end promptly.
    m_lateWorkers.clear();
    m_lateSession.reset();
}

void THostMonitor::Start() {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        TPingObj& obj = m_pingObjs[static_cast<std::size_t>(slot)];
        obj.Index = slot;
        obj.Rule = this;
        obj.PingLabel = &m_fe.PingLabel(slot);
        obj.AverageLabel = &m_fe.AverageLabel(slot);
        obj.LossLabel = &m_fe.LossLabel(slot);
        for (TTextLabel* label : {obj.PingLabel, obj.AverageLabel, obj.LossLabel}) {
            label->SetText("-");
        }
    }
    m_stopEvent = std::make_unique<TEvent>(true, false);
    m_resetIdleEvent = std::make_unique<TEvent>(false, true);
    m_resetThread.reset();
    m_created = true;
    {
        const std::string fileName = GetProgramDir() + "pingvard.ini";
        RemoveStaleTempFiles(fileName); // what a killed write left
        TIniFile ini(fileName);
        RunStartupLoad(ini, *this);
    }
    ResolveWorkerHosts();
    for (auto& worker : m_pingThreads) {
        if (worker) {
            worker->Start();
        }
    }
    m_lastIcmpProbe = Clock().Now();
    const std::string icmpProblem = ProbeIcmp();
    if (!icmpProblem.empty()) {
        m_icmpUnavailable = true;
        m_fe.SetStatusText(kNoEchoStatusText);
        m_fe.ReportIcmpUnavailable(icmpProblem);
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
    for (TPingObj& obj : m_pingObjs) {
        obj.Failures = 0;
    }
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

void THostMonitor::ReportPing(int slot, int32_t ms) {
    if (m_destroyed || !m_created || !ValidSlot(slot)) {
        return;
    }
    if (m_icmpUnavailable) {
        CheckIcmpAgain(ms);
    }
    m_pingObjs[static_cast<std::size_t>(slot)].UpdateResult(ms);
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
    for (const TPingObj& obj : m_pingObjs) {
        if (obj.DoReset && obj.Failures < m_maxTimeouts) {
            return;
        }
    }
    if (!m_destroyed && m_resetIdleEvent->WaitFor(0)) {
        StartResetSession();
    }
    // Whether or not a session started, another one needs MaxTimeouts fresh failures.
    for (TPingObj& obj : m_pingObjs) {
        obj.Failures = 0;
    }
}

void THostMonitor::StartResetSession() {
    try {
        m_resetThread.reset(); // the previous session has given the token back: a short join
        TTelnetActionSettings settings;
        settings.Host = m_resetHost;
        settings.Port = m_options.ResetPort;
        settings.LimitMs = m_options.SessionLimitMs;
        settings.Clock = m_options.Clock;
        settings.Challenges = m_challenges;
        settings.Answers = m_answers;
        TResetOutcomes& outcomes = *this;
        m_resetThread =
            std::make_unique<TThReset>(std::make_unique<TTelnetAction>(std::move(settings)),
                                       m_dispatcher, outcomes, *m_resetIdleEvent);
    } catch (...) {
        // No session runs: keep the token available for the next trigger.
        m_resetIdleEvent->Set();
        throw;
    }
}

void THostMonitor::AddScriptStep(const std::string& challenge, const std::string& answer) {
    m_challenges.push_back(challenge);
    m_answers.push_back(answer);
}

void THostMonitor::SetHostLabel(int slot, const std::string& text) {
    CheckSlot(slot);
    m_fe.HostLabel(slot).SetText(text);
}

std::string THostMonitor::HostLabel(int slot) const {
    CheckSlot(slot);
    return m_fe.HostLabel(slot).Text();
}

void THostMonitor::SetDoReset(int slot, bool doReset) {
    PingObj(slot).DoReset = doReset;
}

bool THostMonitor::DoReset(int slot) const {
    CheckSlot(slot);
    return m_pingObjs[static_cast<std::size_t>(slot)].DoReset;
}

void THostMonitor::SetDisplayName(int slot, const std::string& name) {
    PingObj(slot).DisplayName = name;
}

void THostMonitor::CreateWorker(int slot, const std::string& address, int32_t timeoutMs) {
    CheckSlot(slot);
    // Resolved with the other slots once the load is done (ResolveWorkerHosts).
    PingObj(slot).IP = address;
    auto worker =
        std::make_unique<TPingTh>(slot, *m_stopEvent, m_pingInterval, m_dispatcher,
                                  [this](int32_t index, int32_t ms) { ReportPing(index, ms); });
    worker->SetHost(address);
    worker->SetTimeout(timeoutMs);
    if (m_options.Pinger) {
        worker->SetPinger(m_options.Pinger);
    }
    m_pingThreads[static_cast<std::size_t>(slot)] = std::move(worker);
}

void THostMonitor::ShowResetStarting() {
    pingvard::ShowResetStarting(m_fe);
}

void THostMonitor::ShowResetOutcome(const TRecoveryOutcome& outcome) {
    pingvard::ShowResetOutcome(m_fe,
                               outcome.ConnectFailed ? TelnetConnectFailed(m_resetHost) : outcome);
}

} // namespace pingvard
