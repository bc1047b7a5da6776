// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/history_reader.h"
#include "observe/history/history_store.h"
#include "observe/history/sqlite_db.h"
#include "tests/config/config_test_support.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <vector>

namespace pingvard {
namespace {

using namespace std::chrono_literals;
constexpr int64_t kMinute = 60'000;
constexpr int64_t kHour = 3'600'000;
constexpr int64_t kDay = 24 * kHour;
constexpr int64_t kStart = 1'796'000'400'000; // 2026-11-30 01:00:00 UTC, a whole hour

TMonitorEvent EchoAt(int64_t ms, std::optional<int64_t> rttUs, const std::string& host = "h1") {
    TMonitorEvent e;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
    e.Slot = 0;
    e.Host = host;
    e.DisplayName = "Host " + host;
    e.RoundTripUs = rttUs;
    return e;
}

TMonitorEvent OutcomeAt(int64_t ms, bool ok, std::string text) {
    TMonitorEvent e;
    e.Kind = TMonitorEventKind::ActionOutcome;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
    e.Action = "plug";
    e.ActionKind = "http";
    e.Ok = ok;
    e.Text = std::move(text);
    return e;
}

// Round trips with some spread and every seventh echo lost.
std::optional<int64_t> Pattern(int i) {
    if (i % 7 == 3) {
        return std::nullopt;
    }
    return 10'000 + (i * 7919) % 5000;
}

// Three hours of echoes at 2 s from kStart; fed gets what they are made of.
std::vector<TMonitorEvent> ThreeHoursAt2s(std::vector<THistorySample>& fed) {
    std::vector<TMonitorEvent> echoes;
    for (int i = 0; i < 3 * 1800; ++i) {
        const int64_t t = kStart + i * 2000;
        echoes.push_back(EchoAt(t, Pattern(i)));
        fed.push_back({t * 1000, Pattern(i)});
    }
    return echoes;
}

struct TStoreFixture {
    explicit TStoreFixture(std::string dir) : File(dir + "/history.db") {}
    THistoryOptions Options() {
        THistoryOptions o;
        o.FileName = File;
        o.NowMs = [this] { return Now; };
        o.Report = [this](const std::string& line) { Reports.push_back(line); };
        return o;
    }
    std::string File;
    int64_t Now = kStart;
    std::vector<std::string> Reports;
};

class HistoryStore : public test::TempDirTest {
protected:
    TStoreFixture m_f{m_dir.Path()};
};

TEST_F(HistoryStore, RecordsEchoesAndRecoveryEventsButNotTheStatusLineOrTheSiteState) {
    THistoryStore store(m_f.Options());
    TMonitorEvent status = OutcomeAt(kStart + 3, true, "Reset OK - 1.1.2027");
    status.Kind = TMonitorEventKind::StatusText;
    TMonitorEvent state = status;
    state.Kind = TMonitorEventKind::SiteState;
    TMonitorEvent down = OutcomeAt(kStart + 2700, false, "Site down (access point)");
    down.Kind = TMonitorEventKind::SiteDown;
    const std::vector<TMonitorEvent> batch = {
        EchoAt(kStart, 1234),
        EchoAt(kStart + 2000, std::nullopt),
        EchoAt(kStart + 2001, 99, "h2"),
        OutcomeAt(kStart + 2500, true, "Power cycle OK (plug)"),
        status,
        state,
        down};
    store.Consume(batch, 0);
    THistoryReader reader(m_f.File);
    const auto points = reader.Points("h1", kStart, kStart + kMinute, THistoryResolution::Raw);
    EXPECT_EQ(points, (std::vector<THistoryPoint>{{kStart, 1, 0, 1234, 1234, 1234, {}},
                                                  {kStart + 2000, 1, 1, {}, {}, {}, {}}}));
    ASSERT_EQ(reader.Hosts().size(), 2u);
    EXPECT_EQ(reader.Hosts()[1].Name, "Host h2");
    const auto events = reader.Events(kStart, kStart + kMinute);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].Kind, TMonitorEventKind::ActionOutcome);
    EXPECT_EQ(events[0].TimeMs, kStart + 2500);
    EXPECT_EQ(events[0].Text, "Power cycle OK (plug)");
    EXPECT_TRUE(events[0].Ok);
    EXPECT_EQ(events[1].Kind, TMonitorEventKind::SiteDown); // the cause goes into the history
    EXPECT_EQ(events[1].Text, "Site down (access point)");
    EXPECT_TRUE(m_f.Reports.empty());
}

// --history and the graphs read what the writer wrote, through its -wal while
// it runs; once it has closed, a reader leaves nothing beside the file.
TEST_F(HistoryStore, AReaderSeesTheWritersRowsAndLeavesNoFileBehind) {
    {
        THistoryStore store(m_f.Options());
        const std::vector<TMonitorEvent> first = {EchoAt(kStart, 1234)};
        store.Consume(first, 0);
        THistoryReader reader(m_f.File);
        EXPECT_EQ(reader.Points("h1", kStart, kStart + kMinute, THistoryResolution::Raw).size(),
                  1u);
        const std::vector<TMonitorEvent> second = {EchoAt(kStart + 1000, 99)};
        store.Consume(second, 0);
        EXPECT_EQ(reader.Points("h1", kStart, kStart + kMinute, THistoryResolution::Raw).size(),
                  2u);
    }
    ASSERT_FALSE(test::FileExists(m_f.File + "-wal"));
    {
        THistoryReader reader(m_f.File);
        EXPECT_EQ(reader.Points("h1", kStart, kStart + kMinute, THistoryResolution::Raw).size(),
                  2u);
    }
    EXPECT_FALSE(test::FileExists(m_f.File + "-wal"));
    EXPECT_FALSE(test::FileExists(m_f.File + "-shm"));
}

// The WAL, which the close copies into the file while the program stops,
// stays small however long the program writes: a checkpoint every few
// hundred KiB, and its file cut back after it.
TEST_F(HistoryStore, TheWalThatTheStopCopiesStaysSmall) {
    std::vector<THistorySample> fed;
    const std::vector<TMonitorEvent> echoes = ThreeHoursAt2s(fed);
    THistoryStore store(m_f.Options());
    std::streamoff largest = 0;
    for (std::size_t i = 0; i < echoes.size(); i += 4) { // one batch per 8 s, as the queue does
        store.Consume(std::span(echoes).subspan(i, std::min<std::size_t>(4, echoes.size() - i)), 0);
        std::ifstream wal(m_f.File + "-wal", std::ios::binary | std::ios::ate);
        largest = std::max<std::streamoff>(largest, wal ? std::streamoff(wal.tellg()) : 0);
    }
    EXPECT_GT(largest, 0);
    EXPECT_LE(largest, 640 * 1024);
}

TEST_F(HistoryStore, AggregatesSurviveThePruningOfTheirEchoes) {
    THistoryStore store(m_f.Options());
    std::vector<THistorySample> fed;
    const std::vector<TMonitorEvent> echoes = ThreeHoursAt2s(fed);
    for (std::size_t i = 0; i < echoes.size(); i += 500) {
        store.Consume(std::span(echoes).subspan(i, std::min<std::size_t>(500, echoes.size() - i)),
                      0);
    }
    const int64_t end = kStart + 3 * kHour;
    THistoryReader reader(m_f.File);
    // Before any roll-up the reader folds the echoes itself; after it, the
    // stored aggregates give the same points, also once the echoes are gone.
    const auto minutes = Aggregate(fed, kMinute);
    const auto hours = Aggregate(fed, kHour);
    ASSERT_EQ(minutes.size(), 180u);
    EXPECT_EQ(reader.Points("h1", kStart, end, THistoryResolution::Minute), minutes);
    for (int64_t now : {end + kMinute, end + 49 * kHour}) {
        m_f.Now = now;
        ASSERT_TRUE(store.Maintain());
        EXPECT_EQ(reader.Points("h1", kStart, end, THistoryResolution::Minute), minutes);
        EXPECT_EQ(reader.Points("h1", kStart, end, THistoryResolution::Hour), hours);
    }
    EXPECT_TRUE(reader.Points("h1", kStart, end, THistoryResolution::Raw).empty());
    m_f.Now = end + 91 * kDay;
    ASSERT_TRUE(store.Maintain());
    EXPECT_TRUE(reader.Points("h1", kStart, end, THistoryResolution::Minute).empty());
    EXPECT_EQ(reader.Points("h1", kStart, end, THistoryResolution::Hour), hours);
    m_f.Now = end + 5 * 366 * kDay;
    ASSERT_TRUE(store.Maintain());
    EXPECT_TRUE(reader.Points("h1", kStart, end, THistoryResolution::Hour).empty());
}

TEST_F(HistoryStore, RecoveryEventsStayFiveYears) {
    THistoryStore store(m_f.Options());
    store.Consume(std::vector{OutcomeAt(kStart, false, "Unable to reset, cannot connect to ap")},
                  0);
    THistoryReader reader(m_f.File);
    m_f.Now = kStart + 4 * 365 * kDay;
    ASSERT_TRUE(store.Maintain());
    EXPECT_EQ(reader.Events(0, m_f.Now).size(), 1u);
    m_f.Now = kStart + 5 * 366 * kDay;
    ASSERT_TRUE(store.Maintain());
    EXPECT_TRUE(reader.Events(0, m_f.Now).empty());
}

// Fills the file system, then frees it again; returns "" or what went wrong.
std::string FullDiskScenario(TStoreFixture& f) {
    THistoryStore store(f.Options());
    std::size_t fed = 1;
    store.Consume(std::vector{EchoAt(f.Now, 1)}, 0);
    if (store.Failing()) {
        return "first write failed: " + (f.Reports.empty() ? "" : f.Reports[0]);
    }
    {
        std::ofstream filler("filler", std::ios::binary);
        const std::string block(64 * 1024, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }
    for (int i = 1; i <= 200 && !store.Failing(); ++i) {
        std::vector<TMonitorEvent> batch;
        for (int j = 0; j < 100; ++j) {
            batch.push_back(EchoAt(f.Now + i * 1000 + j, 5));
        }
        store.Consume(batch, 0);
        fed += batch.size();
    }
    for (int i = 0; i < 5; ++i) { // still full: silent
        f.Now += 20'000;
        store.Consume(std::vector{EchoAt(f.Now, 1)}, 0);
        ++fed;
    }
    std::remove("filler");
    f.Now += 20'000;
    store.Consume(std::vector{EchoAt(f.Now, 1)}, 0);
    ++fed;
    if (f.Reports.size() != 2 || f.Reports[0].find("History not written to") != 0 ||
        f.Reports[0].find(": the disk is full;") == std::string::npos ||
        f.Reports[1].find("History written again") != 0) {
        std::string all;
        for (const auto& r : f.Reports) {
            all += r + "\n";
        }
        return "reports:\n" + all;
    }
    // Shorter than what the writer keeps: every echo of the time reaches the file.
    THistoryReader reader(f.File);
    const auto points = reader.Points("h1", 0, f.Now + 1, THistoryResolution::Raw);
    std::size_t echoes = 0;
    for (const THistoryPoint& p : points) {
        echoes += static_cast<std::size_t>(p.Count);
    }
    return store.LostEvents() == 0 && echoes == fed
               ? ""
               : "lost " + std::to_string(store.LostEvents()) + ", " + std::to_string(echoes) +
                     " of " + std::to_string(fed) + " in the file";
}

TEST_F(HistoryStore, AFullDiskKeepsTheEchoesAndSaysSoOnceUntilItWorksAgain) {
    if (const std::string why = test::MountNamespaceUnavailableReason(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    EXPECT_EQ(test::RunWithSmallFileSystem(m_dir.Path(), 2 * 1024 * 1024,
                                           [this] { return FullDiskScenario(m_f); }),
              "");
}

TEST_F(HistoryStore, ReadOnlyDirectoryIsReportedOnce) {
    if (const std::string why = test::MountNamespaceUnavailableReason(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    EXPECT_EQ(test::RunWithReadOnlyMount(
                  m_dir.Path(),
                  [this]() -> std::string {
                      THistoryStore store(m_f.Options());
                      for (int i = 0; i < 3; ++i) {
                          m_f.Now += 20'000;
                          store.Consume(std::vector{EchoAt(m_f.Now, 1)}, 0);
                          store.Tick();
                      }
                      if (m_f.Reports.size() != 1) {
                          return std::to_string(m_f.Reports.size()) + " reports";
                      }
                      // Kept for the next try, not lost yet.
                      return store.LostEvents() == 0 && store.PendingEvents() == 3 ? ""
                                                                                   : "not kept";
                  }),
              "");
}

std::size_t EchoesInFile(const std::string& file, const std::string& host) {
    return THistoryReader(file).Points(host, 0, kStart + kDay, THistoryResolution::Raw).size();
}

// Another program's connection, holding BEGIN EXCLUSIVE on the file until Release.
class TExclusiveLock {
public:
    explicit TExclusiveLock(const std::string& file) {
        m_held = m_db.Open(file, false) && m_db.Exec("BEGIN EXCLUSIVE");
    }
    bool Held() const { return m_held; }
    bool Release() { return m_db.Exec("COMMIT"); }

private:
    TSqliteDb m_db;
    bool m_held = false;
};

TEST_F(HistoryStore, ALockByAnotherProgramLosesNothing) {
    THistoryOptions options = m_f.Options();
    options.BusyWaitMs = 50;
    THistoryStore store(options);
    store.Consume(std::vector{EchoAt(kStart, 1)}, 0);
    TExclusiveLock other(m_f.File);
    ASSERT_TRUE(other.Held());
    for (int i = 1; i <= 3; ++i) {
        store.Consume(std::vector{EchoAt(kStart + i * 1000, 1),
                                  OutcomeAt(kStart + i * 1000 + 1, true, "Reset OK")},
                      0);
    }
    ASSERT_TRUE(other.Release());
    store.Consume(std::vector{EchoAt(kStart + 9000, 1)}, 0);
    EXPECT_EQ(EchoesInFile(m_f.File, "h1"), 5u);
    EXPECT_EQ(THistoryReader(m_f.File).Events(0, kStart + kDay).size(), 3u);
    EXPECT_EQ(store.LostEvents(), 0u);
    ASSERT_EQ(m_f.Reports.size(), 2u);
    EXPECT_EQ(m_f.Reports[0], "History not written to " + m_f.File +
                                  ": another program holds a lock on it; monitoring goes on");
    EXPECT_EQ(m_f.Reports[1], "History written again to " + m_f.File);
}

TEST_F(HistoryStore, WhatMustGoIsEchoesBeforeEventsAndTheCountIsSaid) {
    THistoryOptions options = m_f.Options();
    options.BusyWaitMs = 10;
    options.MaxPending = 6;
    THistoryStore store(options);
    store.Consume(std::vector{EchoAt(kStart, 1)}, 0);
    TExclusiveLock other(m_f.File);
    ASSERT_TRUE(other.Held());
    store.Consume(std::vector{EchoAt(kStart + 1000, 1), OutcomeAt(kStart + 1001, false, "a"),
                              EchoAt(kStart + 2000, 1), OutcomeAt(kStart + 2001, false, "b")},
                  0);
    store.Consume(std::vector{EchoAt(kStart + 3000, 1), EchoAt(kStart + 4000, 1),
                              OutcomeAt(kStart + 4001, true, "c"), EchoAt(kStart + 5000, 1)},
                  0);
    ASSERT_TRUE(other.Release());
    store.Consume(std::vector{EchoAt(kStart + 6000, 1)}, 0);
    // 8 kept of 9 echoes and events: the two oldest echoes went, no event.
    EXPECT_EQ(THistoryReader(m_f.File).Events(0, kStart + kDay).size(), 3u);
    EXPECT_EQ(EchoesInFile(m_f.File, "h1"), 1u + 3u + 1u);
    EXPECT_EQ(store.LostEvents(), 2u);
    ASSERT_EQ(m_f.Reports.size(), 3u);
    EXPECT_EQ(m_f.Reports[1], "History dropped 2 echoes while " + m_f.File +
                                  " could not be written; its recovery events are kept");
    EXPECT_EQ(m_f.Reports[2], "History written again to " + m_f.File + " (2 echoes lost)");
}

TEST_F(HistoryStore, AStoppedRollUpResumesAtTheNextStartWithoutLossOrDoubles) {
    std::vector<THistorySample> fed;
    const std::vector<TMonitorEvent> batch = ThreeHoursAt2s(fed);
    const int64_t end = kStart + 3 * kHour;
    int slices = 0;
    {
        THistoryOptions options = m_f.Options();
        THistoryStore* store = nullptr;
        options.AfterSlice = [&] {
            if (++slices == 1) {
                store->Interrupt(); // as a stop during the first slice's commit
            }
        };
        THistoryStore first(options);
        store = &first;
        first.Consume(batch, 0);
        m_f.Now = end + kMinute;
        EXPECT_FALSE(first.Maintain());
    }
    EXPECT_EQ(slices, 1);
    m_f.Now = end + 49 * kHour; // the next start, late enough to prune the echoes
    THistoryStore next(m_f.Options());
    ASSERT_TRUE(next.Maintain());
    THistoryReader reader(m_f.File);
    ASSERT_TRUE(reader.Points("h1", kStart, end, THistoryResolution::Raw).empty());
    EXPECT_EQ(reader.Points("h1", kStart, end, THistoryResolution::Minute),
              Aggregate(fed, kMinute));
    EXPECT_EQ(reader.Points("h1", kStart, end, THistoryResolution::Hour), Aggregate(fed, kHour));
}

struct TFoldCase {
    const char* Name;
    std::vector<std::optional<int64_t>> RoundTrips;
    THistoryPoint Expected;
};

class HistoryAggregate : public testing::TestWithParam<TFoldCase> {};

TEST_P(HistoryAggregate, FoldsOneMinute) {
    std::vector<THistorySample> samples;
    for (std::size_t i = 0; i < GetParam().RoundTrips.size(); ++i) {
        samples.push_back(
            {(kStart + static_cast<int64_t>(i) * 1000) * 1000, GetParam().RoundTrips[i]});
    }
    EXPECT_EQ(Aggregate(samples, kMinute), std::vector{GetParam().Expected});
}

INSTANTIATE_TEST_SUITE_P(
    Table, HistoryAggregate,
    testing::Values(
        TFoldCase{"Odd", {50, 10, 30}, {kStart, 3, 0, 10, 30, 50, THistorySpread{10, 10, 50, 50}}},
        TFoldCase{"EvenTakesMeanOfMiddle",
                  {5, 1, {}, 3, 4},
                  {kStart, 5, 1, 1, 3, 5, THistorySpread{1, 1, 4, 5}}},
        TFoldCase{"EvenRoundsDown", {2, 5}, {kStart, 2, 0, 2, 3, 5, THistorySpread{2, 2, 5, 5}}},
        TFoldCase{"AllLost", {{}, {}}, {kStart, 2, 2, {}, {}, {}, {}}}),
    [](const testing::TestParamInfo<TFoldCase>& p) { return std::string(p.param.Name); });

// The percentile by its definition: the smallest of the values with at least
// percent % of them at or below it.
int64_t ReferencePercentile(const std::vector<int64_t>& values, int percent) {
    std::optional<int64_t> best;
    for (const int64_t v : values) {
        const auto atOrBelow =
            std::count_if(values.begin(), values.end(), [v](int64_t x) { return x <= v; });
        if (atOrBelow * 100 >= percent * static_cast<int64_t>(values.size()) &&
            (!best || v < *best)) {
            best = v;
        }
    }
    return *best;
}

std::optional<THistorySpread> ReferenceSpread(const std::vector<std::optional<int64_t>>& rtts) {
    std::vector<int64_t> answered;
    for (const auto& r : rtts) {
        if (r) {
            answered.push_back(*r);
        }
    }
    if (answered.empty()) {
        return std::nullopt;
    }
    return THistorySpread{ReferencePercentile(answered, 10), ReferencePercentile(answered, 25),
                          ReferencePercentile(answered, 75), ReferencePercentile(answered, 90)};
}

struct TSpreadCase {
    const char* Name;
    std::vector<std::optional<int64_t>> RoundTrips; // one echo every 2 s from kStart
};

std::vector<std::optional<int64_t>> Spiky() {
    std::vector<std::optional<int64_t>> r(30, 20'000);
    r[17] = 247'000;
    r[3] = std::nullopt;
    return r;
}

// Three hours whose minutes differ: the hour's percentiles are those of all
// its echoes, which no folding of minute percentiles gives.
std::vector<std::optional<int64_t>> ThreeHours() {
    std::vector<std::optional<int64_t>> r;
    for (int i = 0; i < 3 * 1800; ++i) {
        r.push_back(i % 97 == 5 ? std::nullopt
                                : std::optional<int64_t>(5'000 + (i / 30) % 7 * 3'000 +
                                                         (i * 7919) % 1'000));
    }
    return r;
}

const TSpreadCase kSpreadCases[] = {
    {"OneEcho", {15'000}},
    {"TwoEchoes", {9'000, 30'000}},
    {"Ties", {7'000, 7'000, 7'000, 7'000, 9'000, 9'000, 9'000, 7'000, 12'000, 7'000}},
    {"ASpike", Spiky()},
    {"TenDistinct", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    {"AllLost", {std::nullopt, std::nullopt, std::nullopt}},
    {"HoursOfMinutes", ThreeHours()},
};

// The stored minutes and hours, after the roll-up and after their echoes are
// gone, carry the percentiles of the echoes they were made of.
TEST_F(HistoryStore, AggregatesKeepThePercentilesOfTheirEchoes) {
    THistoryStore store(m_f.Options());
    std::vector<TMonitorEvent> echoes;
    for (const TSpreadCase& c : kSpreadCases) {
        for (std::size_t i = 0; i < c.RoundTrips.size(); ++i) {
            echoes.push_back(
                EchoAt(kStart + static_cast<int64_t>(i) * 2000, c.RoundTrips[i], c.Name));
        }
    }
    store.Consume(echoes, 0);
    const int64_t end = kStart + 3 * kHour;
    m_f.Now = end + 49 * kHour;
    ASSERT_TRUE(store.Maintain());
    THistoryReader reader(m_f.File);
    for (const TSpreadCase& c : kSpreadCases) {
        SCOPED_TRACE(c.Name);
        for (const auto resolution : {THistoryResolution::Minute, THistoryResolution::Hour}) {
            const int64_t bucket = BucketMs(resolution);
            const auto points = reader.Points(c.Name, kStart, end, resolution);
            ASSERT_FALSE(points.empty());
            for (const THistoryPoint& p : points) {
                const auto first = static_cast<std::size_t>((p.TimeMs - kStart) / 2000);
                const auto last = std::min(c.RoundTrips.size(), first + bucket / 2000);
                EXPECT_EQ(p.Spread, ReferenceSpread({c.RoundTrips.begin() + first,
                                                     c.RoundTrips.begin() + last}))
                    << (resolution == THistoryResolution::Hour ? "hour " : "minute ") << p.TimeMs;
            }
        }
    }
    EXPECT_TRUE(reader.Points("ASpike", kStart, end, THistoryResolution::Raw).empty());
}

// A file as the first version wrote it: the aggregates without percentiles.
void MakeVersionOneFile(const std::string& file) {
    TSqliteDb db;
    ASSERT_TRUE(db.Open(file, false));
    ASSERT_TRUE(db.Exec(R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE host(id INTEGER PRIMARY KEY, address TEXT NOT NULL UNIQUE, name TEXT NOT NULL DEFAULT '');
CREATE TABLE sample(host INTEGER NOT NULL, t INTEGER NOT NULL, rtt INTEGER,
                    PRIMARY KEY(host, t)) WITHOUT ROWID;
CREATE TABLE minute(host INTEGER NOT NULL, t INTEGER NOT NULL, n INTEGER NOT NULL,
                    lost INTEGER NOT NULL, lo INTEGER, med INTEGER, hi INTEGER,
                    PRIMARY KEY(host, t)) WITHOUT ROWID;
CREATE TABLE hour(host INTEGER NOT NULL, t INTEGER NOT NULL, n INTEGER NOT NULL,
                  lost INTEGER NOT NULL, lo INTEGER, med INTEGER, hi INTEGER,
                  PRIMARY KEY(host, t)) WITHOUT ROWID;
CREATE TABLE event(t INTEGER NOT NULL, kind TEXT NOT NULL, host TEXT NOT NULL, action TEXT NOT NULL,
                   action_kind TEXT NOT NULL, ok INTEGER NOT NULL, text TEXT NOT NULL);
CREATE INDEX event_time ON event(t);
INSERT INTO host VALUES(1, 'h1', 'Host h1');
INSERT INTO minute VALUES(1, 1796000400, 30, 1, 9000, 11000, 40000);
INSERT INTO minute VALUES(1, 1796000460, 30, 30, NULL, NULL, NULL);
INSERT INTO hour VALUES(1, 1796000400, 1800, 31, 9000, 11000, 40000);
INSERT INTO meta VALUES('minute_done', 1796000520000);
INSERT INTO meta VALUES('hour_done', 1796004000000);
PRAGMA user_version=1;
)sql")) << db.Error();
}

TEST_F(HistoryStore, AVersionOneFileIsUpgradedInPlaceAndKeepsItsRows) {
    MakeVersionOneFile(m_f.File);
    const THistoryPoint oldMinute{kStart, 30, 1, 9000, 11000, 40000, std::nullopt};
    const THistoryPoint lostMinute{kStart + kMinute, 30, 30, {}, {}, {}, std::nullopt};
    const THistoryPoint oldHour{kStart, 1800, 31, 9000, 11000, 40000, std::nullopt};
    {
        // Read as it is, before any writer has upgraded it.
        THistoryReader reader(m_f.File);
        EXPECT_EQ(reader.Points("h1", kStart, kStart + 2 * kMinute, THistoryResolution::Minute),
                  (std::vector{oldMinute, lostMinute}));
    }
    const int64_t next = kStart + kHour; // new echoes in the second hour
    m_f.Now = next + 2 * kHour;
    {
        THistoryStore store(m_f.Options());
        store.Consume(std::vector{EchoAt(next, 10'000), EchoAt(next + 2000, 30'000)}, 0);
        ASSERT_FALSE(store.Failing()) << (m_f.Reports.empty() ? "" : m_f.Reports.front());
        ASSERT_TRUE(store.Maintain());
    }
    TSqliteDb db;
    ASSERT_TRUE(db.Open(m_f.File, true));
    EXPECT_EQ(db.QueryInt("PRAGMA user_version"), 2);
    db.Close();
    THistoryReader reader(m_f.File);
    const auto minutes = reader.Points("h1", kStart, next + kMinute, THistoryResolution::Minute);
    ASSERT_EQ(minutes.size(), 3u);
    EXPECT_EQ(minutes[0], oldMinute);
    EXPECT_EQ(minutes[1], lostMinute);
    EXPECT_EQ(minutes[2].Spread, (THistorySpread{10'000, 10'000, 30'000, 30'000}));
    const auto hours = reader.Points("h1", kStart, next + kHour, THistoryResolution::Hour);
    ASSERT_EQ(hours.size(), 2u);
    EXPECT_EQ(hours[0], oldHour);
    EXPECT_EQ(hours[1].MedianUs, 20'000);
    EXPECT_EQ(hours[1].Spread, (THistorySpread{10'000, 10'000, 30'000, 30'000}));
}

TEST_F(HistoryStore, AnUpgradeGivesPercentilesToTheMinutesWhoseEchoesAreStillKept) {
    MakeVersionOneFile(m_f.File);
    // Echoes from 2.5 minutes in (the pruning took the earlier ones), rolled
    // up by the first version up to minute 5.
    std::vector<THistorySample> kept;
    {
        TSqliteDb db;
        ASSERT_TRUE(db.Open(m_f.File, false));
        TSqliteStatement sample = db.Prepare("INSERT INTO sample VALUES(1, ?1, ?2)");
        for (int64_t t = kStart + 150'000; t < kStart + 5 * kMinute; t += 2000) {
            kept.push_back({t * 1000, 10'000 + t / 2000 % 5 * 1000});
            ASSERT_EQ(sample.Bind(1, t * 1000).Bind(2, kept.back().RoundTripUs).Step(),
                      SQLITE_DONE);
        }
        ASSERT_TRUE(db.Exec("INSERT INTO minute VALUES(1, 1796000520, 15, 0, 1, 2, 3);"
                            "INSERT INTO minute VALUES(1, 1796000580, 30, 0, 1, 2, 3);"
                            "INSERT INTO minute VALUES(1, 1796000640, 30, 0, 1, 2, 3);"
                            "UPDATE meta SET value = 1796000700000 WHERE key = 'minute_done';"));
    }
    m_f.Now = kStart + 6 * kMinute;
    THistoryStore store(m_f.Options());
    ASSERT_TRUE(store.Maintain());
    THistoryReader reader(m_f.File);
    const auto minutes =
        reader.Points("h1", kStart + 2 * kMinute, kStart + 5 * kMinute, THistoryResolution::Minute);
    ASSERT_EQ(minutes.size(), 3u);
    // The minute the pruning cut into keeps what the first version made of it.
    EXPECT_EQ(minutes[0], (THistoryPoint{kStart + 2 * kMinute, 15, 0, 1, 2, 3, {}}));
    const auto remade = Aggregate(std::span(kept).subspan(15), kMinute);
    ASSERT_EQ(remade.size(), 2u);
    EXPECT_TRUE(remade[0].Spread);
    EXPECT_EQ(minutes[1], remade[0]);
    EXPECT_EQ(minutes[2], remade[1]);
}

TEST_F(HistoryStore, AFileOfANewerVersionIsRefusedAndLeftAsItIs) {
    MakeVersionOneFile(m_f.File);
    {
        TSqliteDb db;
        ASSERT_TRUE(db.Open(m_f.File, false));
        ASSERT_TRUE(db.Exec("PRAGMA user_version=99"));
    }
    THistoryStore store(m_f.Options());
    store.Consume(std::vector{EchoAt(kStart + kHour, 10'000)}, 0);
    EXPECT_TRUE(store.Failing());
    ASSERT_EQ(m_f.Reports.size(), 1u);
    EXPECT_NE(m_f.Reports[0].find("written by a newer Pingvard"), std::string::npos);
    TSqliteDb db;
    ASSERT_TRUE(db.Open(m_f.File, true));
    EXPECT_EQ(db.QueryInt("PRAGMA user_version"), 99);
    EXPECT_EQ(db.QueryInt("SELECT count(*) FROM pragma_table_info('minute') WHERE name = 'p10'"),
              0);
}

TEST(HistoryResolution, FinestThatCoversTheRange) {
    const int64_t now = kStart;
    EXPECT_EQ(ChooseResolution(now - kHour, now, now), THistoryResolution::Raw);
    EXPECT_EQ(ChooseResolution(now - kDay, now, now), THistoryResolution::Minute);
    EXPECT_EQ(ChooseResolution(now - 50 * kHour, now - 49 * kHour, now),
              THistoryResolution::Minute);
    EXPECT_EQ(ChooseResolution(now - 90 * kDay, now, now), THistoryResolution::Minute);
    EXPECT_EQ(ChooseResolution(now - 91 * kDay, now, now), THistoryResolution::Hour);
}

} // namespace
} // namespace pingvard
