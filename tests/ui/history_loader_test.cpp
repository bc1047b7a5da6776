// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ui/history_test_support.h"
#include "ui/history/history_loader.h"

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

using namespace pingvard;
using namespace pingvard::test;

namespace {

const THistoryHost kUplink{"192.0.2.10", "uplink"};
const THistoryHost kServer{"192.0.2.20", "server"};

class HistoryLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pingvard-loader-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_file = m_dir + "/history.db";
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // One hour of echoes every 2 s: the uplink at 10 ms, the server at 20 ms
    // losing every tenth; a failed recovery half an hour ago.
    void WriteHour() {
        std::vector<TMonitorEvent> events;
        AddEchoes(events, 0, kUplink.Address, kUplink.Name, kNowMs - kHourMs, kNowMs, 2000,
                  [](int64_t) { return 10'000; });
        AddEchoes(events, 1, kServer.Address, kServer.Name, kNowMs - kHourMs, kNowMs, 2000,
                  [](int64_t t) -> std::optional<int64_t> {
                      return t / 2000 % 10 == 0 ? std::nullopt : std::optional<int64_t>(20'000);
                  });
        events.push_back(OutcomeEvent(kNowMs - 30 * kMinuteMs, false, "Unable to power cycle"));
        WriteHistory(m_file, events);
    }

    THistoryRequest LastHour(uint64_t generation, std::vector<THistoryHost> hosts) const {
        return {generation, kNowMs - kHourMs, kNowMs + 1, kNowMs, std::move(hosts)};
    }

    // Results as they arrive on the loader's thread.
    void Done(THistoryLoad load) {
        const std::lock_guard lock(m_mutex);
        m_loads.push_back(std::move(load));
        m_arrived.notify_all();
    }
    bool WaitForGeneration(uint64_t generation) {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, std::chrono::seconds(10), [&] {
            return !m_loads.empty() && m_loads.back().Generation == generation;
        });
    }

    std::string m_dir;
    std::string m_file;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<THistoryLoad> m_loads;
};

} // namespace

TEST_F(HistoryLoaderTest, ReadsTheHostsPointsAndTheRangesRecoveryEvents) {
    WriteHour();
    THistoryLoader loader(m_file, [this](THistoryLoad load) { Done(std::move(load)); });
    loader.Request(LastHour(1, {kUplink, kServer}));
    ASSERT_TRUE(WaitForGeneration(1));
    const THistoryLoad& load = m_loads.back();
    EXPECT_EQ(load.Error, "");
    EXPECT_EQ(load.Resolution, THistoryResolution::Raw);
    ASSERT_EQ(load.Points.size(), 2u);
    EXPECT_EQ(load.Points[0].size(), 1800u);
    ASSERT_EQ(load.Points[1].size(), 1800u);
    uint32_t lost = 0;
    for (const THistoryPoint& p : load.Points[1]) {
        lost += p.Lost;
    }
    EXPECT_EQ(lost, 180u);
    ASSERT_EQ(load.Events.size(), 1u);
    EXPECT_EQ(load.Events[0].Text, "Unable to power cycle");
}

TEST_F(HistoryLoaderTest, ReadsEveryRecordedHostWhenNoneIsNamed) {
    WriteHour();
    THistoryLoader loader(m_file, [this](THistoryLoad load) { Done(std::move(load)); });
    loader.Request(LastHour(1, {}));
    ASSERT_TRUE(WaitForGeneration(1));
    const THistoryLoad& load = m_loads.back();
    ASSERT_EQ(load.Hosts.size(), 2u);
    EXPECT_EQ(load.Hosts[0].Address, kUplink.Address);
    EXPECT_EQ(load.Hosts[1].Name, kServer.Name);
    EXPECT_EQ(load.Points.size(), 2u);
}

TEST_F(HistoryLoaderTest, SaysWhyWhenThereIsNoHistory) {
    THistoryLoader loader(m_file, [this](THistoryLoad load) { Done(std::move(load)); });
    loader.Request(LastHour(1, {kUplink}));
    ASSERT_TRUE(WaitForGeneration(1));
    EXPECT_NE(m_loads.back().Error.find("no history"), std::string::npos) << m_loads.back().Error;
    EXPECT_TRUE(m_loads.back().Points.empty());
}

// Requests come faster than they are read (a user clicking through the
// ranges): each result is newer than the one before, and the last is read.
TEST_F(HistoryLoaderTest, NeverDeliversAnOlderRequestAfterANewerOne) {
    WriteHour();
    THistoryLoader loader(m_file, [this](THistoryLoad load) { Done(std::move(load)); });
    for (uint64_t generation = 1; generation <= 50; ++generation) {
        loader.Request(LastHour(generation, {kUplink, kServer}));
    }
    ASSERT_TRUE(WaitForGeneration(50));
    for (std::size_t i = 1; i < m_loads.size(); ++i) {
        EXPECT_LT(m_loads[i - 1].Generation, m_loads[i].Generation);
    }
    EXPECT_EQ(m_loads.back().Points.size(), 2u);
}

TEST_F(HistoryLoaderTest, EndsWithARequestUnderWay) {
    WriteHour();
    {
        THistoryLoader loader(m_file, [this](THistoryLoad load) { Done(std::move(load)); });
        loader.Request(LastHour(1, {kUplink, kServer}));
    }
    const std::lock_guard lock(m_mutex);
    EXPECT_LE(m_loads.size(), 1u);
}
