// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/history_store.h"
#include "observe/history/incident_reader.h"
#include "observe/history/sqlite_db.h"
#include "tests/config/config_test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace pingvard {
namespace {

constexpr int64_t kMinute = 60'000;
constexpr int64_t kStart = 1'796'000'400'000; // 2026-11-30 01:00:00 UTC

TMonitorEvent At(TMonitorEventKind kind, int64_t ms) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
    return e;
}

TMonitorEvent Echo(int64_t ms) {
    TMonitorEvent e = At(TMonitorEventKind::Echo, ms);
    e.Host = "192.0.2.1";
    e.DisplayName = "gw";
    return e;
}

TMonitorEvent With(TMonitorEventKind kind, int64_t ms, const TIncident& incident) {
    TMonitorEvent e = At(kind, ms);
    e.Incident = std::make_shared<const TIncident>(incident);
    return e;
}

// An uplink outage: down at +10 s, the plug switched at +70 s, back at +3 min.
struct TOutage {
    TIncident Begun;
    TIncident Stepping;
    TIncident Stepped;
    TIncident Ended;
};

TOutage Outage(int64_t start) {
    TOutage o;
    o.Begun.StartMs = start;
    o.Begun.Cause = TSiteCause::Uplink;
    o.Begun.HostsDown = {"example.org", "2001:db8::1"};
    o.Stepping = o.Begun;
    o.Stepping.Steps.push_back({"plug", "http", start + kMinute, 0, false, ""});
    o.Stepped = o.Stepping;
    o.Stepped.Steps.back().EndMs = start + kMinute + 2000;
    o.Stepped.Steps.back().Ok = true;
    o.Stepped.Steps.back().Outcome = "Power cycle OK (plug), 'quoted' and, comma";
    o.Ended = o.Stepped;
    o.Ended.EndMs = start + 3 * kMinute;
    o.Ended.CuredBy = "plug";
    return o;
}

// Echoes every 2 s over [from, to].
std::vector<TMonitorEvent> Echoes(int64_t from, int64_t to) {
    std::vector<TMonitorEvent> out;
    for (int64_t t = from; t <= to; t += 2000) {
        out.push_back(Echo(t));
    }
    return out;
}

class IncidentStore : public test::TempDirTest {
protected:
    THistoryOptions Options() {
        THistoryOptions o;
        o.FileName = m_file;
        o.NowMs = [this] { return m_now; };
        return o;
    }
    std::vector<TIncidentRecord> Read() { return TIncidentReader(m_file).Incidents(0); }

    std::string m_file = m_dir.Path() + "/history.db";
    int64_t m_now = kStart;
};

// Each stage of the incident is in the table as soon as its batch is
// written, so a kill at any moment leaves it as far as it got.
TEST_F(IncidentStore, HoldsTheIncidentAsFarAsItGotAtEachStage) {
    const TOutage o = Outage(kStart + 10'000);
    THistoryStore store(Options());
    struct TStage {
        TMonitorEvent Event;
        TIncident Expected;
    };
    const std::vector<TStage> stages = {
        {With(TMonitorEventKind::SiteDown, o.Begun.StartMs, o.Begun), o.Begun},
        {With(TMonitorEventKind::ActionStarted, kStart + kMinute, o.Stepping), o.Stepping},
        {With(TMonitorEventKind::ActionOutcome, kStart + kMinute + 2000, o.Stepped), o.Stepped},
        {With(TMonitorEventKind::SiteBack, o.Ended.EndMs, o.Ended), o.Ended},
    };
    for (const TStage& stage : stages) {
        store.Consume(std::vector{stage.Event}, 0);
        const std::vector<TIncidentRecord> read = Read();
        ASSERT_EQ(read.size(), 1u) << KindName(stage.Event.Kind);
        EXPECT_EQ(read[0].Incident, stage.Expected) << KindName(stage.Event.Kind);
        EXPECT_FALSE(read[0].Unfinished);
    }
    TSqliteDb db;
    ASSERT_TRUE(db.Open(m_file, true));
    EXPECT_EQ(db.QueryInt("SELECT duration_ms FROM incident"), 3 * kMinute);
    EXPECT_EQ(db.QueryInt("SELECT count(*) FROM incident WHERE cured = 'plug'"), 1);
}

TEST_F(IncidentStore, AnIncidentLeftOpenByAKilledRunIsEndedWhereThatRunLastWatched) {
    const TOutage o = Outage(kStart + 10'000);
    const int64_t lastEcho = kStart + 5 * kMinute;
    {
        THistoryStore killed(Options()); // every batch is committed: its end is a kill's
        std::vector<TMonitorEvent> batch = Echoes(kStart, kStart + 8000);
        batch.push_back(With(TMonitorEventKind::SiteDown, o.Begun.StartMs, o.Begun));
        batch.push_back(With(TMonitorEventKind::ActionStarted, kStart + kMinute, o.Stepping));
        killed.Consume(batch, 0);
        killed.Consume(Echoes(kStart + 12'000, lastEcho), 0);
    }
    std::vector<TIncidentRecord> read = Read();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_TRUE(read[0].Incident.Open()); // nobody has started since: as it was
    EXPECT_FALSE(read[0].Unfinished);

    m_now = lastEcho + 20 * kMinute;
    THistoryStore next(Options());
    next.Consume(Echoes(m_now, m_now + 4000), 0);
    read = Read();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_TRUE(read[0].Unfinished);
    EXPECT_EQ(read[0].Incident.EndMs, lastEcho);
    EXPECT_EQ(read[0].Incident.Steps, o.Stepping.Steps); // the step that never ended stays so
    EXPECT_TRUE(read[0].Incident.CuredBy.empty());
    // The time between the runs was not watched: neither up nor down.
    const TUptime uptime = TIncidentReader(m_file).Uptime(m_now + 4000).Day;
    EXPECT_EQ(uptime.WatchedMs, (lastEcho - kStart) + 4000);
    EXPECT_EQ(uptime.DownMs, lastEcho - o.Begun.StartMs);
}

// The next run took the incident up again (the program was restarted during
// it): it stays open, while another left open is ended.
TEST_F(IncidentStore, AnIncidentTakenUpAgainStaysOpen) {
    const TOutage older = Outage(kStart - 60 * kMinute);
    const TOutage o = Outage(kStart + 10'000);
    {
        THistoryStore killed(Options());
        killed.Consume(
            std::vector{With(TMonitorEventKind::SiteDown, older.Begun.StartMs, older.Begun),
                        With(TMonitorEventKind::SiteDown, o.Begun.StartMs, o.Begun)},
            0);
    }
    m_now = kStart + 2 * kMinute;
    THistoryOptions options = Options();
    options.OpenIncident = std::make_shared<const TIncident>(o.Stepping);
    THistoryStore next(options);
    next.Consume(Echoes(m_now, m_now + 4000), 0);
    const std::vector<TIncidentRecord> read = Read();
    ASSERT_EQ(read.size(), 2u);
    const auto resumed = std::find_if(read.begin(), read.end(), [&](const TIncidentRecord& r) {
        return r.Incident.StartMs == o.Begun.StartMs;
    });
    ASSERT_NE(resumed, read.end());
    EXPECT_TRUE(resumed->Incident.Open());
    EXPECT_FALSE(resumed->Unfinished);
    EXPECT_EQ(resumed->Incident.Steps, o.Stepping.Steps);
    EXPECT_EQ(std::count_if(read.begin(), read.end(),
                            [](const TIncidentRecord& r) { return r.Unfinished; }),
              1);
}

// The next run's first try meets another program's lock: the incident is
// ended by the batch that gets through, not left open for that run.
TEST_F(IncidentStore, ALockAtTheNextStartStillEndsTheIncidentLeftOpen) {
    const TOutage o = Outage(kStart + 10'000);
    {
        THistoryStore killed(Options());
        killed.Consume(std::vector{Echo(kStart),
                                   With(TMonitorEventKind::SiteDown, o.Begun.StartMs, o.Begun),
                                   Echo(kStart + 20'000)},
                       0);
    }
    m_now = kStart + 10 * kMinute;
    THistoryOptions options = Options();
    options.BusyWaitMs = 10;
    THistoryStore next(options);
    {
        TSqliteDb other;
        ASSERT_TRUE(other.Open(m_file, false) && other.Exec("BEGIN EXCLUSIVE"));
        next.Consume(std::vector{Echo(m_now)}, 0);
        ASSERT_TRUE(next.Failing());
        ASSERT_TRUE(other.Exec("COMMIT"));
    }
    next.Consume(std::vector{Echo(m_now + 2000)}, 0);
    ASSERT_FALSE(next.Failing());
    const std::vector<TIncidentRecord> read = Read();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_TRUE(read[0].Unfinished);
    EXPECT_EQ(read[0].Incident.EndMs, kStart + 20'000);
}

TEST_F(IncidentStore, AnIncidentTakenUpAgainAfterARestartGoesOnInItsOwnRow) {
    const TOutage o = Outage(kStart + 10'000);
    {
        THistoryStore killed(Options());
        killed.Consume(
            std::vector{Echo(kStart), With(TMonitorEventKind::SiteDown, o.Begun.StartMs, o.Begun)},
            0);
    }
    m_now = kStart + 2 * kMinute;
    THistoryStore next(Options());
    next.Consume(
        std::vector{Echo(m_now), With(TMonitorEventKind::ActionStarted, m_now + 1000, o.Stepping)},
        0);
    std::vector<TIncidentRecord> read = Read();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_TRUE(read[0].Incident.Open());
    EXPECT_FALSE(read[0].Unfinished);
    next.Consume(std::vector{With(TMonitorEventKind::SiteBack, o.Ended.EndMs, o.Ended)}, 0);
    read = Read();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].Incident, o.Ended);
    EXPECT_FALSE(read[0].Unfinished);
    EXPECT_EQ(TIncidentReader(m_file).Incident(o.Begun.StartMs), read[0]);
    EXPECT_FALSE(TIncidentReader(m_file).Incident(o.Begun.StartMs + 1));
}

// Batches kept while another program holds the file are written whole once it
// lets go: the incident as it got by then, and the time watched meanwhile.
TEST_F(IncidentStore, WhatALockHeldBackIsWrittenWhenItGoes) {
    const TOutage o = Outage(kStart + 10'000);
    THistoryOptions options = Options();
    options.BusyWaitMs = 10;
    THistoryStore store(options);
    store.Consume(Echoes(kStart, kStart + 8000), 0);
    TSqliteDb other;
    ASSERT_TRUE(other.Open(m_file, false) && other.Exec("BEGIN EXCLUSIVE"));
    std::vector<TMonitorEvent> batch = Echoes(kStart + 10'000, kStart + kMinute);
    batch.push_back(With(TMonitorEventKind::SiteDown, o.Begun.StartMs, o.Begun));
    store.Consume(batch, 0);
    store.Consume(
        std::vector{With(TMonitorEventKind::ActionOutcome, kStart + kMinute + 2000, o.Stepped)}, 0);
    ASSERT_TRUE(store.Failing());
    ASSERT_TRUE(other.Exec("COMMIT"));
    store.Consume(Echoes(kStart + 2 * kMinute, kStart + 2 * kMinute), 0);
    ASSERT_FALSE(store.Failing());
    const std::vector<TIncidentRecord> read = Read();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].Incident, o.Stepped);
    EXPECT_EQ(TIncidentReader(m_file).Watched(0, kStart + kDayMs),
              (std::vector<TWatchedSpan>{{kStart, kStart + 2 * kMinute}}));
}

TEST_F(IncidentStore, EchoesMakeWatchedSpansThatAGapOrANewRunEnds) {
    {
        THistoryStore first(Options());
        first.Consume(Echoes(kStart, kStart + kMinute), 0);
        first.Consume(Echoes(kStart + 2 * kMinute, kStart + 3 * kMinute), 0); // a short gap
        std::vector<TMonitorEvent> batch = Echoes(kStart + 9 * kMinute, kStart + 10 * kMinute);
        first.Consume(batch, 0); // after a suspend of six minutes
    }
    THistoryStore second(Options());
    second.Consume(Echoes(kStart + 10 * kMinute + 4000, kStart + 11 * kMinute), 0);
    EXPECT_EQ(TIncidentReader(m_file).Watched(0, kStart + kDayMs),
              (std::vector<TWatchedSpan>{{kStart, kStart + 3 * kMinute},
                                         {kStart + 9 * kMinute, kStart + 10 * kMinute},
                                         {kStart + 10 * kMinute + 4000, kStart + 11 * kMinute}}));
}

TEST_F(IncidentStore, IncidentsStayFiveYears) {
    const TOutage o = Outage(kStart);
    THistoryStore store(Options());
    store.Consume(
        std::vector{Echo(kStart), With(TMonitorEventKind::SiteBack, o.Ended.EndMs, o.Ended)}, 0);
    m_now = kStart + 4 * 365 * kDayMs;
    ASSERT_TRUE(store.Maintain());
    EXPECT_EQ(Read().size(), 1u);
    m_now = kStart + 5 * 366 * kDayMs;
    ASSERT_TRUE(store.Maintain());
    EXPECT_TRUE(Read().empty());
    TSqliteDb db;
    ASSERT_TRUE(db.Open(m_file, true));
    EXPECT_EQ(db.QueryInt("SELECT count(*) FROM incident_step"), 0);
    EXPECT_EQ(db.QueryInt("SELECT count(*) FROM watched"), 0);
}

TEST_F(IncidentStore, AFileFromBeforeIncidentsReadsAsNoneAndAMissingOneAsAnError) {
    {
        TSqliteDb db;
        ASSERT_TRUE(db.Open(m_file, false));
        ASSERT_TRUE(db.Exec("CREATE TABLE host(id INTEGER PRIMARY KEY, address TEXT)"));
    }
    TIncidentReader reader(m_file);
    ASSERT_TRUE(reader.Open());
    EXPECT_TRUE(reader.Incidents(0).empty());
    EXPECT_FALSE(reader.Uptime(kStart).Month.Share());
    EXPECT_FALSE(test::FileExists(m_file + "-wal"));
    std::string error;
    EXPECT_TRUE(ReadIncidents(m_dir.Path() + "/none.db", 0, error).empty());
    EXPECT_NE(error.find("no history"), std::string::npos) << error;
}

} // namespace
} // namespace pingvard
