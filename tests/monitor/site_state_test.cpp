// SPDX-License-Identifier: GPL-3.0-or-later
#include "host_monitor_fixture.h"
#include "logs/event_log.h"
#include "recording_sink.h"
#include "tests/net/fake_clock.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace pingvard {
namespace {

using TKind = TLinkState::TKind;

// Succeeds at once, and says so.
class TInstantAction final : public TRecoveryAction {
public:
    explicit TInstantAction(std::string name) : m_name(std::move(name)) {}
    const std::string& Name() const override { return m_name; }
    std::string_view Kind() const override { return "program"; }
    void SetEvent(const TRecoveryEvent&) override {}
    TRecoveryOutcome Run(TActionReport&) override {
        return Outcome(true, "Program OK (" + m_name + ")");
    }
    void Abort() noexcept override {}

private:
    std::string m_name;
};

// Slots 1-3 marked, MaxTimeouts 2, one action; the test makes every report.
// resetHost 127.0.0.1 is watched host 1, 127.0.0.9 none of them.
std::string SiteIni(const std::string& resetHost, const std::string& guard = "") {
    std::string ini = test::LoopbackIni(2, 600000);
    ini.replace(ini.find("Hostname=127.0.0.1\r\n[Host1]"), 18, "Hostname=" + resetHost);
    return ini + "[Recovery]\r\nActions=first\r\n[Action.first]\r\nKind=program\r\n" +
           "Program=/bin/true\r\nVerify=10\r\n" + guard;
}

class SiteState : public test::THostMonitorFixture {
protected:
    void StartWith(const std::string& ini) {
        TMonitorOptions options = Options("1");
        options.Clock = &Clock;
        options.WallClock = [this] { return WallMs; };
        options.LinkCheck = [this](const std::string& address) {
            std::lock_guard lock(Mutex);
            LinkAsked.push_back(address);
            return Link;
        };
        options.SiteProbe = [this](const TProbeRequest& request) {
            std::lock_guard lock(Mutex);
            Probes.push_back(request);
            return Probe;
        };
        options.ActionFactory = [](const TActionConfig& config) {
            return std::make_unique<TInstantAction>(config.Name);
        };
        Start(ini, std::move(options));
        Monitor->Events().Add(Sink);
    }
    void TearDown() override {
        if (Monitor) {
            Monitor->Shutdown();
            Monitor->Events().Remove(Sink);
        }
        THostMonitorFixture::TearDown();
    }
    void Report(int32_t ms) {
        for (int slot = 0; slot < 3; ++slot) {
            Monitor->ReportPing(slot, ms);
        }
    }
    std::size_t Count(TMonitorEventKind kind) const {
        return static_cast<std::size_t>(
            std::count_if(Sink.Events.begin(), Sink.Events.end(),
                          [kind](const TMonitorEvent& e) { return e.Kind == kind; }));
    }
    std::size_t ProbesSoFar() {
        std::lock_guard lock(Mutex);
        return Probes.size();
    }
    bool SessionEnded() { return !Monitor->ResetSessionRunning(); }

    test::TManualClock Clock;
    int64_t WallMs = 1733540000000;
    std::mutex Mutex;
    TLinkState Link{TKind::Up, "lo"};
    std::vector<std::string> LinkAsked;
    TSiteClues Probe;
    std::vector<TProbeRequest> Probes;
    test::TRecordingSink Sink;
};

TEST_F(SiteState, AnIncidentRunsFromDownToBackWithItsStepAndWhatCuredIt) {
    StartWith(SiteIni("127.0.0.1"));
    Report(-1);
    Report(-1);
    const TMonitorEvent* down = Sink.Last(TMonitorEventKind::SiteDown);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->Text, "Site down (access point)"); // watched host 1 is silent too
    EXPECT_EQ(Sink.Last(TMonitorEventKind::RuleFired)->Text,
              "127.0.0.1, 127.0.0.2, 127.0.0.3 failed 2 times in a row");
    ASSERT_TRUE(ServeUntil([&] { return SessionEnded() && Fe.Status.starts_with("Program OK"); }));
    const TMonitorEvent* outcome = Sink.Last(TMonitorEventKind::ActionOutcome);
    ASSERT_NE(outcome->Incident, nullptr);
    ASSERT_EQ(outcome->Incident->Steps.size(), 1U);
    EXPECT_EQ(outcome->Incident->Steps[0].Outcome, "Program OK (first)");
    EXPECT_EQ(Fe.Tray, kTraySiteDown); // it went well, and the site is still down

    WallMs += 6 * 60000;
    Report(5);
    const TMonitorEvent* back = Sink.Last(TMonitorEventKind::SiteBack);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Text, "Site back after 6 min (cured by first)");
    EXPECT_EQ(back->Incident->EndMs, WallMs);
    EXPECT_EQ(Fe.Tray, kTrayNormal);
    EXPECT_EQ(Fe.Site.State, TSiteState::Up);
    EXPECT_EQ(Fe.Site.Answering, 4);
    EXPECT_EQ(Fe.Site.LastOutcome, "Program OK (first)");
    // The images on the way: down, the restart under way, down again, normal.
    std::vector<std::string> trays;
    std::copy_if(Fe.Calls.begin(), Fe.Calls.end(), std::back_inserter(trays),
                 [](const std::string& call) { return call.starts_with("tray:"); });
    EXPECT_EQ(trays, (std::vector<std::string>{"tray:3", "tray:1", "tray:3", "tray:0"}));
}

// An incident open when the program last ended, read back from its text:
// it goes on without being told anew, and ends once.
TEST_F(SiteState, AnIncidentTakenUpAgainEndsOnce) {
    StartWith(SiteIni("127.0.0.1"));
    TIncident open;
    open.StartMs = WallMs - 120000;
    open.Cause = TSiteCause::Uplink;
    open.HostsDown = {"127.0.0.2"};
    Monitor->ResumeIncident(*ParseIncident(IncidentText(open)));
    EXPECT_EQ(Count(TMonitorEventKind::SiteDown), 0U);
    EXPECT_EQ(Sink.Last(TMonitorEventKind::SiteState)->Site, TSiteState::Down);
    EXPECT_EQ(Fe.Tray, kTraySiteDown);
    Monitor->ReportPing(1, 4);
    EXPECT_EQ(Sink.Last(TMonitorEventKind::SiteBack)->Text, "Site back after 2 min (not cured)");
    EXPECT_EQ(Monitor->OpenIncident(), nullptr);
}

// Killed during an outage (nothing ends the incident) and started again:
// the next start takes the incident up from pingvard.state, so the site
// comes back once, with the time it went down.
TEST_F(SiteState, AnIncidentOpenWhenTheProgramWasKilledGoesOnAtTheNextStart) {
    StartWith(SiteIni("127.0.0.9"));
    const int64_t downAt = WallMs;
    Report(-1);
    Report(-1);
    ASSERT_EQ(Count(TMonitorEventKind::SiteDown), 1U);
    ASSERT_TRUE(ServeUntil([this] { return !Monitor->ResetSessionRunning(); }));
    Monitor->Events().Remove(Sink);
    Monitor.reset(); // as a kill leaves it: no orderly end of the incident
    Sink.Events.clear();
    WallMs += 180000;
    StartWith(SiteIni("127.0.0.9"));
    ASSERT_NE(Monitor->OpenIncident(), nullptr);
    EXPECT_EQ(Monitor->OpenIncident()->StartMs, downAt);
    EXPECT_EQ(Fe.Tray, kTraySiteDown);
    Report(4);
    EXPECT_EQ(Count(TMonitorEventKind::SiteDown), 0U);
    ASSERT_EQ(Count(TMonitorEventKind::SiteBack), 1U);
    EXPECT_EQ(Sink.Last(TMonitorEventKind::SiteBack)->Incident->StartMs, downAt);
    Monitor->Events().Remove(Sink);
    Monitor.reset();
    Sink.Events.clear();
    StartWith(SiteIni("127.0.0.9")); // ended: nothing to take up
    EXPECT_EQ(Monitor->OpenIncident(), nullptr);
}

TEST_F(SiteState, NoActionWhileThisMachinesLinkIsDownAndTheRuleResumesWhenItIsBack) {
    Link = {TKind::NoCarrier, "pvA"};
    StartWith(SiteIni("127.0.0.1"));
    for (int i = 0; i < 4; ++i) {
        Clock.Tick += 1000;
        Report(-1);
    }
    EXPECT_FALSE(Monitor->ResetSessionRunning());
    EXPECT_EQ(Count(TMonitorEventKind::RuleFired), 0U);
    EXPECT_EQ(Fe.Status, "This machine's link pvA is down: no restart");
    EXPECT_EQ(Sink.Last(TMonitorEventKind::SiteDown)->Text, "Site down (local link pvA)");
    EXPECT_EQ(Fe.Site.HeldBy.Interface, "pvA");
    EXPECT_EQ(Fe.Tray, kTraySiteDown);
    EXPECT_EQ(LinkAsked.front(), "127.0.0.1");

    Link = {TKind::Up, "pvA"};
    Clock.Tick += 1000;
    Report(-1);
    EXPECT_EQ(Fe.Status, "This machine's link pvA is up again");
    EXPECT_FALSE(Monitor->ResetSessionRunning()); // MaxTimeouts fresh failures first
    Clock.Tick += 1000;
    Report(-1);
    EXPECT_EQ(Count(TMonitorEventKind::RuleFired), 1U);
    ASSERT_TRUE(ServeUntil([&] { return SessionEnded(); }));
    std::ifstream log(EventLogFileName());
    const std::string text{std::istreambuf_iterator<char>(log), {}};
    EXPECT_NE(text.find(": This machine's link pvA is down: no restart\r\n"), std::string::npos);
    EXPECT_NE(text.find(": This machine's link pvA is up again\r\n"), std::string::npos);
}

TEST_F(SiteState, AnAccessPointNobodyWatchesIsProbedAlongsideTheFailingEchoes) {
    Probe.Link = TLinkState{TKind::Up, "lo"};
    Probe.LinkAddress = "127.0.0.9";
    Probe.AccessPointAnswered = true;
    StartWith(SiteIni("127.0.0.9"));
    EXPECT_EQ(ProbesSoFar(), 0U); // every host answers: nothing to look for
    Report(-1);
    ASSERT_TRUE(ServeUntil([&] { return ProbesSoFar() > 0; }));
    Dispatcher.RunOnce(50); // the pass's report
    Report(-1);
    EXPECT_EQ(Sink.Last(TMonitorEventKind::SiteDown)->Text, "Site down (uplink)");
    std::lock_guard lock(Mutex);
    EXPECT_EQ(Probes.front().AccessPoint, "127.0.0.9");
    EXPECT_TRUE(Probes.front().Echo);
    EXPECT_TRUE(Probes.front().Names.empty());
}

// An outage no restart cures: one round, then the guard pauses; the rule
// holds on every later report, and nothing says so again.
TEST_F(SiteState, APauseIsSaidOnceAndNoRuleFiresWhileItHolds) {
    StartWith(SiteIni("127.0.0.1", "[Guard]\r\nMaxRounds=1\r\nWindow=3600\r\n"));
    Report(-1);
    Report(-1);
    ASSERT_TRUE(ServeUntil([&] { return SessionEnded() && Fe.Status.starts_with("Program OK"); }));
    Clock.Tick += 10000; // the verify time runs out: uncured
    for (int i = 0; i < 10; ++i) {
        Clock.Tick += 15000;
        Report(-1);
    }
    EXPECT_EQ(Count(TMonitorEventKind::SiteDown), 1U);
    EXPECT_EQ(Count(TMonitorEventKind::RuleFired), 1U);
    EXPECT_EQ(Count(TMonitorEventKind::ActionStarted), 1U);
    EXPECT_EQ(Count(TMonitorEventKind::GuardChanged), 1U);
    ASSERT_EQ(Count(TMonitorEventKind::RestartsPaused), 1U);
    const TMonitorEvent* paused = Sink.Last(TMonitorEventKind::RestartsPaused);
    EXPECT_TRUE(paused->Text.starts_with("Restarts paused until "));
    EXPECT_GT(paused->UntilMs, WallMs + 3000000); // the window of an hour, from the round on
    EXPECT_GT(Fe.Site.PausedUntilMs, WallMs);
}

} // namespace
} // namespace pingvard
