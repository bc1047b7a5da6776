// SPDX-License-Identifier: GPL-3.0-or-later
// History database figures: its size per host per day at the default 2 s
// interval, and how long the graphs' queries take on 90 days of one-minute
// data. Prints figures; asserts nothing. See docs/benchmarks.md.
//
//   history_bench size DIR [DAYS]   simulate DAYS (default 3) of one host at 2 s
//   history_bench query DIR         4 hosts: 90 days of minutes, 48 h of echoes
//   history_bench stop DIR [MILLIONS]  a stop during the roll-up of MILLIONS
//                                   (default 8) echoes not rolled up yet

#include "observe/history/history_reader.h"
#include "observe/history/history_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <sqlite3.h>
#include <string>
#include <thread>
#include <vector>

using namespace pingvard;

namespace {

constexpr int64_t kMinute = 60'000;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;
constexpr int64_t kStart = 1'796'000'400'000;

// Round trips of a plausible Internet host: 18-30 ms with a tail, 1 % lost.
std::optional<int64_t> RoundTrip(uint64_t& seed) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    const uint64_t r = seed >> 33;
    if (r % 100 == 0) {
        return std::nullopt;
    }
    return 18'000 + static_cast<int64_t>(r % 12'000) + ((r % 50 == 1) ? 150'000 : 0);
}

double CpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

std::map<std::string, int64_t> TableBytes(const std::string& file) {
    std::map<std::string, int64_t> bytes;
    TSqliteDb db;
    db.Open(file, true);
    TSqliteStatement q = db.Prepare("SELECT name, sum(pgsize) FROM dbstat GROUP BY name");
    while (q.Step() == SQLITE_ROW) {
        bytes[q.Text(0)] = q.Int(1);
    }
    return bytes;
}

// The schema and four hosts 192.0.2.10-13, each with one echo at `at`.
void CreateHosts(const std::string& file, int64_t at, int64_t now) {
    THistoryOptions options;
    options.FileName = file;
    options.NowMs = [now] { return now; };
    THistoryStore store(options);
    TMonitorEvent echo;
    for (int h = 0; h < 4; ++h) {
        echo.Slot = h;
        echo.Host = "192.0.2." + std::to_string(10 + h);
        echo.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(at));
        store.Consume(std::vector{echo}, 0);
    }
}

int Size(const std::string& dir, int days) {
    const std::string file = dir + "/size.db";
    std::filesystem::remove(file);
    int64_t now = kStart;
    THistoryOptions options;
    options.FileName = file;
    options.NowMs = [&] { return now; };
    {
        THistoryStore store(options);
        uint64_t seed = 42;
        std::vector<TMonitorEvent> batch;
        TMonitorEvent echo;
        echo.Slot = 0;
        echo.Host = "192.0.2.10";
        echo.DisplayName = "Uplink";
        for (; now < kStart + days * kDay; now += 2000) {
            echo.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(now));
            echo.RoundTripUs = RoundTrip(seed);
            batch.push_back(echo);
            if (batch.size() == 30) {
                store.Consume(batch, 0);
                batch.clear();
                store.Tick();
            }
        }
        store.Maintain();
    }
    TSqliteDb db;
    db.Open(file, false);
    db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    db.Close();
    auto bytes = TableBytes(file);
    const double raw = static_cast<double>(bytes["sample"]) / 2; // the 48 h kept
    const double minute = static_cast<double>(bytes["minute"]) / days;
    const double hour = static_cast<double>(bytes["hour"]) / days;
    std::printf("simulated %d days of one host at 2 s (%d echoes)\n", days, days * 43200);
    std::printf("file after %d days: %.0f KiB\n", days,
                static_cast<double>(std::filesystem::file_size(file)) / 1024);
    std::printf("per host per day: echoes %.0f KiB (kept 48 h), minutes %.1f KiB (90 days), "
                "hours %.2f KiB (5 years)\n",
                raw / 1024, minute / 1024, hour / 1024);
    std::printf("growth per host per day: %.0f KiB in the first 2 days, %.1f KiB up to "
                "90 days, %.2f KiB after\n",
                (raw + minute + hour) / 1024, (minute + hour) / 1024, hour / 1024);
    std::printf("steady size per host: %.1f MiB after 90 days, %.1f MiB after 5 years\n",
                (2 * raw + 90 * minute + 90 * hour) / 1048576,
                (2 * raw + 90 * minute + 1826 * hour) / 1048576);
    return 0;
}

int Query(const std::string& dir) {
    const std::string file = dir + "/query.db";
    std::filesystem::remove(file);
    const int64_t now = kStart + 90 * kDay;
    CreateHosts(file, kStart, now);
    TSqliteDb db;
    db.Open(file, false);
    db.Exec("BEGIN");
    uint64_t seed = 7;
    TSqliteStatement minute =
        db.Prepare("INSERT OR REPLACE INTO minute(host, t, n, lost, lo, med, hi, p10, p25, p75, "
                   "p90) VALUES(?1,?2,30,?3,?4,?5,?6,?7,?8,?9,?10)");
    TSqliteStatement raw = db.Prepare("INSERT OR REPLACE INTO sample VALUES(?1,?2,?3)");
    for (int64_t host = 1; host <= 4; ++host) {
        for (int64_t t = kStart; t < now; t += kMinute) {
            const int64_t base = RoundTrip(seed).value_or(20'000);
            minute.Bind(1, host)
                .Bind(2, t / 1000)
                .Bind(3, int64_t{t % 7 == 0})
                .Bind(4, base - 2000)
                .Bind(5, base)
                .Bind(6, base + 9000)
                .Bind(7, base - 1500)
                .Bind(8, base - 700)
                .Bind(9, base + 1200)
                .Bind(10, base + 3500)
                .Step();
        }
        for (int64_t t = now - 2 * kDay; t < now; t += 2000) {
            raw.Bind(1, host).Bind(2, t * 1000).Bind(3, RoundTrip(seed)).Step();
        }
    }
    TSqliteStatement mark = db.Prepare("INSERT OR REPLACE INTO meta VALUES('minute_done', ?1)");
    mark.Bind(1, now - 5 * kMinute).Step(); // as the writer leaves it: the last minutes from echoes
    db.Exec("COMMIT");
    db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    db.Close();
    std::printf("file: %.1f MiB (4 hosts: 90 days of minutes, 48 h of echoes)\n",
                static_cast<double>(std::filesystem::file_size(file)) / 1048576);

    struct TCase {
        const char* Name;
        int64_t Range;
    };
    for (const TCase& c : {TCase{"1 h", kHour}, TCase{"24 h", kDay}, TCase{"7 days", 7 * kDay},
                           TCase{"90 days", 90 * kDay}}) {
        std::vector<double> ms;
        std::vector<double> cpuMs;
        std::size_t points = 0;
        for (int run = 0; run < 5; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = CpuMs();
            THistoryReader reader(file); // a fresh connection, as a window opening
            points = 0;
            for (int h = 0; h < 4; ++h) {
                const std::string host = "192.0.2." + std::to_string(10 + h);
                points +=
                    reader
                        .Points(host, now - c.Range, now, ChooseResolution(now - c.Range, now, now))
                        .size();
            }
            reader.Events(now - c.Range, now);
            cpuMs.push_back(CpuMs() - cpuStart);
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::sort(ms.begin(), ms.end());
        std::sort(cpuMs.begin(), cpuMs.end());
        std::printf("%-8s all 4 hosts: %7zu points, wall median %.1f ms (max %.1f), CPU median "
                    "%.1f ms (max %.1f), 5 runs\n",
                    c.Name, points, ms[2], ms[4], cpuMs[2], cpuMs[4]);
    }
    return 0;
}

// A file with `millions` million echoes of four hosts at 100 ms, none rolled
// up yet (as after a long time without maintenance).
void MakeBacklog(const std::string& file, int millions, int64_t end) {
    std::filesystem::remove(file);
    CreateHosts(file, end, end);
    TSqliteDb db;
    db.Open(file, false);
    db.Exec("BEGIN");
    TSqliteStatement raw = db.Prepare("INSERT OR REPLACE INTO sample VALUES(?1,?2,?3)");
    uint64_t seed = 11;
    const int64_t perHost = static_cast<int64_t>(millions) * 250'000;
    for (int64_t host = 1; host <= 4; ++host) {
        for (int64_t i = 0; i < perHost; ++i) {
            raw.Bind(1, host).Bind(2, (end - (perHost - i) * 100) * 1000).Bind(3, RoundTrip(seed));
            raw.Step();
        }
    }
    db.Exec("DELETE FROM meta");
    db.Exec("COMMIT");
    db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

int64_t RowCount(const std::string& file) {
    TSqliteDb db;
    db.Open(file, true);
    return db.QueryInt("SELECT (SELECT count(*) FROM minute) + (SELECT count(*) FROM hour)")
        .value_or(-1);
}

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// How long a stop takes while the writer rolls up a large backlog, beside the
// roll-up's own time. The stop comes through the writer's queue, as at the
// program's exit.
int Stop(const std::string& dir, int millions) {
    const std::string file = dir + "/stop.db";
    const int64_t end = kStart + 60 * kDay;
    MakeBacklog(file, millions, end);
    std::filesystem::copy_file(file, dir + "/stop-copy.db",
                               std::filesystem::copy_options::overwrite_existing);
    THistoryOptions options;
    options.NowMs = [&] { return end + kHour; };
    options.FileName = dir + "/stop-copy.db";
    auto start = std::chrono::steady_clock::now();
    {
        THistoryStore store(options);
        store.Maintain();
    }
    const double whole = MsSince(start);
    const int64_t rows = RowCount(options.FileName);
    std::vector<double> stops;
    std::vector<double> rest;
    bool same = true;
    for (int run = 0; run < 3; ++run) {
        std::filesystem::copy_file(file, options.FileName,
                                   std::filesystem::copy_options::overwrite_existing);
        {
            THistoryStore store(options);
            TQueueOptions queue = HistoryQueueOptions();
            queue.TickInterval = std::chrono::milliseconds(1); // the roll-up starts at once
            TQueuedSink sink(store, queue);
            std::this_thread::sleep_for(std::chrono::milliseconds(300 + 200 * run));
            start = std::chrono::steady_clock::now();
            sink.Stop();
            stops.push_back(MsSince(start));
        }
        start = std::chrono::steady_clock::now(); // the next start finishes the work
        {
            THistoryStore store(options);
            store.Maintain();
        }
        rest.push_back(MsSince(start));
        same = same && RowCount(options.FileName) == rows;
    }
    std::sort(stops.begin(), stops.end());
    std::sort(rest.begin(), rest.end());
    std::printf("backlog: %d million echoes of 4 hosts at 100 ms, not rolled up\n", millions);
    std::printf("roll-up and pruning, uninterrupted: %.0f ms (%lld minute and hour rows)\n", whole,
                static_cast<long long>(rows));
    std::printf("stop 300, 500 and 700 ms into it: median %.1f ms, max %.1f ms\n", stops[1],
                stops[2]);
    std::printf("the next start finishes it in: median %.0f ms; rows as uninterrupted: %s\n",
                rest[1], same ? "yes" : "NO");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "size") {
        return Size(argv[2], argc > 3 ? std::max(3, std::atoi(argv[3])) : 3);
    }
    if (argc == 3 && std::string(argv[1]) == "query") {
        return Query(argv[2]);
    }
    if (argc >= 3 && std::string(argv[1]) == "stop") {
        return Stop(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 8);
    }
    std::fprintf(stderr, "usage: %s size DIR [DAYS] | query DIR | stop DIR [MILLIONS]\n", argv[0]);
    return 2;
}
