// SPDX-License-Identifier: GPL-3.0-or-later
#include "apsim_process.h"
#include "config/ini_file.h"
#include "host_monitor_fixture.h"
#include "tests/net/fake_clock.h"
#include "tests/net/netns_fixture.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace pingvard {
namespace {

using Report = std::pair<int, int32_t>; // slot, ms

struct TRuleCase {
    const char* Name;
    const char* Marked;
    int32_t MaxTimeouts;
    std::vector<Report> Reports;
    int TriggerAt; // index of the report that starts a session; -1: none
};

class RestartRule : public test::THostMonitorFixture,
                    public ::testing::WithParamInterface<TRuleCase> {};

TEST_P(RestartRule, StartsASessionExactlyWhenEveryMarkedSlotHasFailedEnough) {
    const TRuleCase& c = GetParam();
    Start(test::LoopbackIni(c.MaxTimeouts, 600000, c.Marked), Options(RefusedPort.Number()));
    int triggeredAt = -1;
    for (std::size_t i = 0; i < c.Reports.size() && triggeredAt < 0; ++i) {
        Monitor->ReportPing(c.Reports[i].first, c.Reports[i].second);
        if (Monitor->ResetThread() != nullptr) {
            triggeredAt = static_cast<int>(i);
        }
    }
    EXPECT_EQ(triggeredAt, c.TriggerAt);
    if (triggeredAt >= 0) {
        for (int slot = 0; slot < 4; ++slot) {
            EXPECT_EQ(Monitor->PingObj(slot).Failures, 0) << "slot " << slot;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RestartRule,
    ::testing::Values(
        TRuleCase{"LastMarkedSlotReachingMaxTriggers",
                  "1110",
                  2,
                  {{0, -1}, {1, -1}, {2, -1}, {0, -1}, {1, -1}, {3, -1}, {3, -1}, {2, -1}},
                  7},
        TRuleCase{"UnmarkedSlotAloneNeverTriggers", "1110", 1, {{3, -1}, {3, -1}, {3, -1}}, -1},
        TRuleCase{"NoMarkedSlotNeverTriggers",
                  "0000",
                  1,
                  {{0, -1}, {1, -1}, {2, -1}, {3, -1}, {0, -1}},
                  -1},
        TRuleCase{"SuccessRestartsTheCount",
                  "1100",
                  2,
                  {{0, -1}, {0, -1}, {1, -1}, {0, 5}, {1, -1}, {0, -1}, {0, -1}},
                  6},
        TRuleCase{"MaxTimeoutsOneNeedsOneFailureEach", "1010", 1, {{0, -1}, {1, -1}, {2, -1}}, 2},
        // MaxTimeouts is at least 1: a value below is used as 1.
        TRuleCase{"MaxTimeoutsZeroIsOne", "1110", 0, {{3, -1}, {1, -1}, {0, -1}, {2, -1}}, 3},
        TRuleCase{"MaxTimeoutsNegativeIsOne", "0100", -4, {{0, -1}, {1, -1}}, 1},
        TRuleCase{"OutOfRangeSlotsIgnored", "1000", 1, {{4, -1}, {-1, -1}, {0, -1}}, 2}),
    [](const auto& param) { return std::string(param.param.Name); });

class HostMonitor : public test::THostMonitorFixture {};

TEST_F(HostMonitor, SaysWhereAHostsEchoTimesComeFromOncePerChange) {
    Start(test::LoopbackIni(5, 600000), Options(RefusedPort.Number()));
    const auto details = [this] {
        std::vector<std::string> said;
        std::copy_if(Fe.Calls.begin(), Fe.Calls.end(), std::back_inserter(said),
                     [](const std::string& call) { return call.starts_with("detail:"); });
        return said;
    };
    for (const bool kernel : {true, true, false, false, true}) {
        Monitor->ReportEcho(0, TRoundTrip{1, 1200, kernel});
        Monitor->ReportEcho(0, std::nullopt); // a lost echo says nothing of it
    }
    const std::string host = "detail:host 1 (" + Monitor->PingObj(0).IP + "): echo times from ";
    EXPECT_EQ(details(),
              (std::vector<std::string>{host + "the kernel's receive timestamps",
                                        host + "the program's clock: the kernel gave no timestamp",
                                        host + "the kernel's receive timestamps"}));
}

TEST_F(HostMonitor, TriggerDuringASessionStartsNothingButZeroesTheCounters) {
    Start(test::LoopbackIni(1, 600000), Options(RefusedPort.Number()));
    for (int slot : {0, 1, 2}) {
        Monitor->ReportPing(slot, -1);
    }
    TThReset* first = Monitor->ResetThread();
    ASSERT_NE(first, nullptr); // blocked in its first hand-off: nobody serves it yet
    for (int slot : {0, 1}) {
        Monitor->ReportPing(slot, -1);
    }
    Monitor->ReportPing(2, -1);
    EXPECT_EQ(Monitor->ResetThread(), first);
    EXPECT_EQ(Monitor->PingObj(0).Failures, 0);
    EXPECT_EQ(Monitor->PingObj(2).Failures, 0);
}

// HoldOff=0 and MaxRounds=0: the historic behaviour, a session whenever the
// rule holds.
TEST_F(HostMonitor, WithTheGuardOffTheNextTriggerStartsANewSession) {
    Start(test::LoopbackIni(1, 600000) + "[Guard]\r\nHoldOff=0\r\nMaxRounds=0\r\n",
          Options(RefusedPort.Number()));
    const auto trigger = [&] {
        for (int slot : {0, 1, 2}) {
            Monitor->ReportPing(slot, -1);
        }
    };
    trigger();
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    EXPECT_EQ(Fe.Status, "Unable to reset, cannot connect to 127.0.0.1");
    EXPECT_EQ(Fe.Tray, 2);
    trigger();
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    EXPECT_EQ(Fe.Count("status:Trying to reset..."), 2u);
    EXPECT_EQ(Fe.Count("tray:1"), 2u); // each attempt shows the restart under way
    const std::string log = Dir.Read("pingvard.log");
    EXPECT_NE(log.find("cannot connect to 127.0.0.1\r\n"),
              log.rfind("cannot connect to 127.0.0.1\r\n"));
}

// Without [Guard] the device gets its boot (180 s) before failures count again.
TEST_F(HostMonitor, ByDefaultTheGuardHoldsOffAfterASession) {
    Start(test::LoopbackIni(1, 600000), Options(RefusedPort.Number()));
    for (int round = 0; round < 2; ++round) {
        for (int slot : {0, 1, 2}) {
            Monitor->ReportPing(slot, -1);
        }
        ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    }
    EXPECT_EQ(Fe.Count("status:Trying to reset..."), 1u);
    EXPECT_EQ(Monitor->PingObj(0).Failures, 0); // forgotten during the hold-off
}

TEST_F(HostMonitor, ConnectFailureNamesTheResetHostOfThatMoment) {
    Start(test::LoopbackIni(1, 600000), Options(RefusedPort.Number()));
    for (int slot : {0, 1, 2}) {
        Monitor->ReportPing(slot, -1);
    }
    Monitor->SetResetHost("ap.changed");
    ASSERT_TRUE(ServeUntil([&] { return !Monitor->ResetSessionRunning(); }));
    EXPECT_EQ(Fe.Status, "Unable to reset, cannot connect to ap.changed");
}

TEST_F(HostMonitor, FullCycleAgainstTheSimulatorLogsResetOk) {
    test::TApsimProcess apsim({});
    Start(test::LoopbackIni(2, 600000), Options(apsim.Port()));
    for (int round = 0; round < 2; ++round) {
        for (int slot : {0, 1, 2}) {
            Monitor->ReportPing(slot, -1);
        }
    }
    ASSERT_TRUE(ServeUntil([&] { return Fe.Status.starts_with("Reset OK - "); }));
    EXPECT_EQ(Fe.Tray, kTraySiteDown); // the restart went well, the hosts have yet to answer
    for (int slot : {0, 1, 2}) {
        Monitor->ReportPing(slot, 9);
    }
    EXPECT_EQ(Fe.Tray, kTrayNormal);
    const std::string log = Dir.Read("pingvard.log");
    EXPECT_TRUE(log.ends_with(": Reset OK\r\n")) << log;
    EXPECT_EQ(log.find("\r\n"), log.size() - 2);
}

TEST_F(HostMonitor, ReportsAfterTheExitCommandChangeNothing) {
    Start(test::LoopbackIni(1, 600000), Options(RefusedPort.Number()));
    Monitor->Shutdown(); // the exit command
    for (int slot : {0, 1, 2}) {
        Monitor->ReportPing(slot, 12);
        Monitor->ReportPing(slot, -1);
    }
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(Fe.Row(slot), "-|-|-");
        EXPECT_EQ(Monitor->PingObj(slot).Lost, 0u);
    }
    EXPECT_EQ(Monitor->ResetThread(), nullptr);
}

TEST_F(HostMonitor, StartUpFillsSlotsFromTheFileAndStartsEveryWorker) {
    Start(test::LoopbackIni(7, 600000, "0101"), Options(RefusedPort.Number()));
    EXPECT_EQ(Monitor->MaxTimeouts(), 7);
    EXPECT_EQ(Monitor->PingInterval(), 600000);
    EXPECT_EQ(Monitor->ResetHost(), "127.0.0.1");
    EXPECT_EQ(Monitor->Challenges(), (std::vector<std::string>{"password:", "Command>", "(y/n)?"}));
    for (int slot = 0; slot < 4; ++slot) {
        const std::string n = std::to_string(slot + 1);
        EXPECT_EQ(Fe.HostLabel(slot).Text(), "Loop " + n);
        EXPECT_EQ(Monitor->PingObj(slot).DisplayName, "Loop " + n);
        EXPECT_EQ(Monitor->PingObj(slot).IP, "127.0.0." + n);
        EXPECT_EQ(Monitor->PingObj(slot).DoReset, slot % 2 == 1);
        EXPECT_EQ(Fe.Row(slot), "-|-|-");
        ASSERT_NE(Monitor->PingThread(slot), nullptr);
        EXPECT_TRUE(Monitor->PingThread(slot)->Started());
        EXPECT_EQ(Monitor->PingThread(slot)->Host(), "127.0.0." + n);
        EXPECT_EQ(Monitor->PingThread(slot)->Timeout(), 1000);
    }
    EXPECT_TRUE(Fe.Calls.empty()) << "no ICMP report when pinging works";
}

TEST_F(HostMonitor, WorkerReportsReachTheRows) {
    auto options = Options(RefusedPort.Number());
    options.Pinger = [](const std::string& host, int32_t) { return host == "127.0.0.2" ? -1 : 7; };
    Start(test::LoopbackIni(1000, 5), options);
    ASSERT_TRUE(ServeUntil([&] {
        return Fe.Row(0) == "7ms|7ms|0%" && Fe.Row(3) == "7ms|7ms|0%" && Fe.Row(1) == "-|-|100%";
    }));
    EXPECT_LT(ShutDown(), 4 * 1000);
}

TEST_F(HostMonitor, IcmpUnavailableIsReportedOnce) {
    auto options = Options(RefusedPort.Number());
    options.IcmpProbe = [] { return std::string("no ICMP: setcap"); };
    Start(test::LoopbackIni(5, 600000), options);
    EXPECT_EQ(Fe.Calls, (std::vector<std::string>{std::string("status:") + kNoEchoStatusText,
                                                  "icmp:no ICMP: setcap"}));
}

// The sysctl fixed while the program runs: within about a minute the monitor
// finds that pinging works, says so, and restarts are armed again.
TEST_F(HostMonitor, IcmpIsProbedAgainEveryMinuteAndRestartsResumeOnceItWorks) {
    test::TManualClock clock;
    std::atomic<int> probes = 0;
    std::atomic<bool> fixed = false;
    auto options = Options(RefusedPort.Number());
    options.Clock = &clock;
    options.IcmpProbe = [&] {
        ++probes;
        return fixed ? std::string() : std::string("no ICMP");
    };
    Start(test::LoopbackIni(1, 600000), options);
    const auto failEverySlot = [&] {
        for (int slot = 0; slot < 4; ++slot) {
            Monitor->ReportPing(slot, -1);
        }
    };
    fixed = true;
    clock.Tick += THostMonitor::kIcmpProbeIntervalMs - 1;
    failEverySlot();
    EXPECT_EQ(probes, 1) << "no second probe within the minute";
    EXPECT_EQ(Monitor->ResetThread(), nullptr);

    clock.Tick += 1;
    failEverySlot();
    EXPECT_EQ(probes, 2);
    EXPECT_EQ(Fe.Count(std::string("status:") + kEchoAgainStatusText), 1u);
    EXPECT_NE(Monitor->ResetThread(), nullptr) << "the rule holds again";
    ShutDown(); // while clock and probe still exist
}

TEST_F(HostMonitor, FailuresWithoutAnIcmpSocketNeverRestartTheDevice) {
    auto options = Options(RefusedPort.Number());
    options.IcmpProbe = [] { return std::string("no ICMP: setcap"); };
    Start(test::LoopbackIni(1, 600000), options);
    for (int round = 0; round < 3; ++round) {
        for (int slot = 0; slot < 4; ++slot) {
            Monitor->ReportPing(slot, -1);
        }
    }
    EXPECT_EQ(Monitor->ResetThread(), nullptr);
    EXPECT_EQ(Monitor->PingObj(0).Lost, 3u) << "the failures still show in the figures";
    // Echoes never sent say nothing of the site either.
    EXPECT_EQ(Monitor->SiteView().State, TSiteState::Up);
    EXPECT_EQ(Monitor->OpenIncident(), nullptr);
}

// While the settings of a first start are open the rule waits; closing them
// starts the count afresh.
TEST_F(HostMonitor, HeldRestartsWaitAndCountAfreshOnceReleased) {
    Start(test::LoopbackIni(1, 600000), Options(RefusedPort.Number()));
    Monitor->HoldRestarts(true);
    for (int round = 0; round < 3; ++round) {
        for (int slot : {0, 1, 2}) {
            Monitor->ReportPing(slot, -1);
        }
    }
    EXPECT_EQ(Monitor->ResetThread(), nullptr);
    EXPECT_EQ(Monitor->PingObj(0).Lost, 3u) << "the failures still show";
    Monitor->HoldRestarts(false);
    EXPECT_EQ(Monitor->PingObj(0).Failures, 0);
    Monitor->ReportPing(0, -1);
    Monitor->ReportPing(1, -1);
    EXPECT_EQ(Monitor->ResetThread(), nullptr);
    Monitor->ReportPing(2, -1);
    EXPECT_NE(Monitor->ResetThread(), nullptr);
}

// A first start writes the historic fresh file byte for byte and says so; the
// default hosts are names, looked up in a namespace where nothing answers.
TEST(HostMonitorFirstStart, WritesTheFreshFileAndTellsItWasAbsent) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: the default hosts are looked up in a network namespace";
    }
    test::RunWithSilentResolver([] {
        test::TTempCurrentDir dir;
        test::TFakeFrontEnd fe;
        TLoopDispatcher dispatcher;
        TMonitorOptions options;
        options.IcmpProbe = [] { return std::string(); };
        options.Pinger = [](const std::string&, int32_t) { return -1; };
        std::ifstream fixture(PINGVARD_TEST_DATA_DIR "/fresh_pingvard.ini", std::ios::binary);
        const std::string fresh{std::istreambuf_iterator<char>(fixture), {}};
        for (const bool first : {true, false}) {
            THostMonitor monitor(fe, dispatcher, options);
            monitor.Start();
            EXPECT_EQ(monitor.StartedWithoutConfigFile(), first);
            EXPECT_EQ(dir.Read("pingvard.ini"), fresh);
            EXPECT_EQ(monitor.ResetHost(), "192.168.168.1");
            monitor.Shutdown();
        }
    });
}

// The settings a first start wrote hold the restart rule at that start and
// every later one, until the file is edited or the operator confirms them.
TEST(HostMonitorFirstStart, HoldsRestartsAcrossStartsUntilConfirmed) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: the default hosts are looked up in a network namespace";
    }
    test::RunWithSilentResolver([] {
        test::TTempCurrentDir dir;
        test::TFakeFrontEnd fe;
        TLoopDispatcher dispatcher;
        TMonitorOptions options;
        options.IcmpProbe = [] { return std::string(); };
        options.Pinger = [](const std::string&, int32_t) { return -1; };
        options.ResetPort = "1";
        // This machine's own routes must not hold the rule for a link.
        options.LinkCheck = [](const std::string&) {
            return TLinkState{TLinkState::TKind::Up, "lo"};
        };
        const auto start = [&](auto&& check) {
            THostMonitor monitor(fe, dispatcher, options);
            monitor.Start();
            check(monitor);
            monitor.Shutdown();
        };
        const auto heldAfterAnOutage = [&](THostMonitor& monitor) {
            EXPECT_TRUE(monitor.AwaitingConfirmation());
            EXPECT_EQ(fe.Status, kAwaitingConfirmationText);
            for (int report = 0; report < 10; ++report) {
                for (int slot : {0, 1, 2}) {
                    monitor.ReportPing(slot, -1);
                }
            }
            monitor.RestartNow();
            EXPECT_EQ(monitor.ResetThread(), nullptr);
            EXPECT_EQ(monitor.PingObj(0).Failures, 10) << "the failures still count";
            EXPECT_EQ(fe.Status, kHeldRefusedText);
            EXPECT_TRUE(fe.Site.AwaitingConfirmation) << "the tray's tooltip says it too";
        };
        start(heldAfterAnOutage); // the first start
        start(heldAfterAnOutage); // killed and started again: still held
        const std::string log = dir.Read("pingvard.log");
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << "a refusal per start: " << log;
        EXPECT_NE(log.find(kHeldRefusedText), std::string::npos);

        start([&fe](THostMonitor& monitor) {
            monitor.ConfirmSettings();
            EXPECT_FALSE(fe.Site.AwaitingConfirmation);
        });
        start([](THostMonitor& monitor) { EXPECT_FALSE(monitor.AwaitingConfirmation()); });

        std::filesystem::remove(dir.Path() / "pingvard.ini");
        start([](THostMonitor& monitor) { EXPECT_TRUE(monitor.AwaitingConfirmation()); });
        std::string edited = dir.Read("pingvard.ini");
        edited.replace(edited.find("DisplayName=AP"), 14, "DisplayName=Gate");
        dir.Write("pingvard.ini", edited);
        start([](THostMonitor& monitor) { EXPECT_FALSE(monitor.AwaitingConfirmation()); });
        EXPECT_NE(dir.Read("pingvard.state").find("Confirmed=1"), std::string::npos);
    });
}

TEST_F(HostMonitor, RefusedConfigurationWriteStopsStartUpBeforeAnyWorker) {
    Dir.Write("pingvard.ini", test::LoopbackIni(5, 600000));
    ASSERT_EQ(::chmod((Dir.Path() / "pingvard.ini").c_str(), 0444), 0);
    Monitor = std::make_unique<THostMonitor>(Fe, Dispatcher, Options(RefusedPort.Number()));
    EXPECT_THROW(Monitor->Start(), EIniFileException);
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(Monitor->PingThread(slot), nullptr);
    }
    Monitor->Shutdown();
    Monitor->ReportPing(0, -1); // after shutdown: ignored
    EXPECT_EQ(Monitor->PingObj(0).Lost, 0u);
}

} // namespace
} // namespace pingvard
