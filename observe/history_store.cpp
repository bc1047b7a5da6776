// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history_store.h"

#include <algorithm>
#include <sqlite3.h>
#include <vector>

namespace pingvard {

namespace {

constexpr int64_t kSchemaVersion = 1;
constexpr int64_t kRetryOpenMs = 10'000;         // a failing disk is tried again this often
constexpr int64_t kGraceMs = 10'000;             // late echoes of a minute still count
constexpr int64_t kMaxPassMs = 24 * 3'600'000LL; // roll-up work per transaction

// Times: sample.t in microseconds, minute.t and hour.t in seconds (the start of
// the bucket), event.t in milliseconds, all since 1970 UTC. WITHOUT ROWID
// tables keyed by (host, t) keep each host's rows together, so a graph's range
// is one contiguous read of the primary key.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS host(id INTEGER PRIMARY KEY, address TEXT NOT NULL UNIQUE,
                                name TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS sample(host INTEGER NOT NULL, t INTEGER NOT NULL, rtt INTEGER,
                                  PRIMARY KEY(host, t)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS minute(host INTEGER NOT NULL, t INTEGER NOT NULL, n INTEGER NOT NULL,
                                  lost INTEGER NOT NULL, lo INTEGER, med INTEGER, hi INTEGER,
                                  PRIMARY KEY(host, t)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS hour(host INTEGER NOT NULL, t INTEGER NOT NULL, n INTEGER NOT NULL,
                                lost INTEGER NOT NULL, lo INTEGER, med INTEGER, hi INTEGER,
                                PRIMARY KEY(host, t)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS event(t INTEGER NOT NULL, kind TEXT NOT NULL, host TEXT NOT NULL,
                                 action TEXT NOT NULL, action_kind TEXT NOT NULL,
                                 ok INTEGER NOT NULL, text TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS event_time ON event(t);
)sql";

constexpr std::string_view kInsertSample =
    "INSERT OR IGNORE INTO sample(host, t, rtt) VALUES(?1, ?2, ?3)";
constexpr std::string_view kInsertEvent =
    "INSERT INTO event(t, kind, host, action, action_kind, ok, text) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)";
constexpr std::string_view kUpsertHost = "INSERT INTO host(address, name) VALUES(?1, ?2) "
                                         "ON CONFLICT(address) DO UPDATE SET name = excluded.name";
constexpr std::string_view kSelectHost = "SELECT id, name FROM host WHERE address = ?1";
constexpr std::string_view kHostIds = "SELECT id FROM host";
constexpr std::string_view kGetMeta = "SELECT value FROM meta WHERE key = ?1";
constexpr std::string_view kSetMeta = "INSERT OR REPLACE INTO meta(key, value) VALUES(?1, ?2)";
constexpr std::string_view kFirstSample = "SELECT min(t) FROM sample WHERE host = ?1 AND t >= ?2";
constexpr std::string_view kRawRange =
    "SELECT t, rtt FROM sample WHERE host = ?1 AND t >= ?2 AND t < ?3 ORDER BY t";
constexpr std::string_view kPutMinute =
    "INSERT OR REPLACE INTO minute VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)";
constexpr std::string_view kPutHour =
    "INSERT OR REPLACE INTO hour VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)";
constexpr std::string_view kPruneSample = "DELETE FROM sample WHERE host = ?1 AND t < ?2";
constexpr std::string_view kPruneMinute = "DELETE FROM minute WHERE host = ?1 AND t < ?2";
constexpr std::string_view kPruneHour = "DELETE FROM hour WHERE host = ?1 AND t < ?2";
constexpr std::string_view kPruneEvent = "DELETE FROM event WHERE t < ?1";

int64_t FloorTo(int64_t value, int64_t step) noexcept {
    const int64_t q = value / step;
    return (value % step < 0 ? q - 1 : q) * step;
}

int64_t Ms(std::chrono::hours h) noexcept {
    return std::chrono::duration_cast<std::chrono::milliseconds>(h).count();
}

int64_t ToUs(std::chrono::system_clock::time_point t) noexcept {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

// Rolls a transaction back unless it was committed.
class TTransaction {
public:
    explicit TTransaction(TSqliteDb& db) : m_db(db), m_open(db.Exec("BEGIN IMMEDIATE")) {}
    ~TTransaction() {
        if (m_open) {
            m_db.Exec("ROLLBACK");
        }
    }
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;
    bool Open() const noexcept { return m_open; }
    bool Commit() noexcept {
        m_open = !m_db.Exec("COMMIT");
        return !m_open;
    }

private:
    TSqliteDb& m_db;
    bool m_open;
};

bool Recorded(TMonitorEventKind kind) noexcept {
    // The status line repeats what the outcomes say, the site's state what
    // the incident's events do (a flaky host would add a row a minute);
    // echoes go to sample.
    return kind != TMonitorEventKind::Echo && kind != TMonitorEventKind::StatusText &&
           kind != TMonitorEventKind::SiteState;
}

} // namespace

TQueueOptions HistoryQueueOptions() {
    TQueueOptions options;
    options.Capacity = 8192; // over an hour of four hosts at 2 s
    options.MaxBatch = 1024;
    options.Linger = std::chrono::milliseconds(1000);
    options.TickInterval = std::chrono::milliseconds(5000);
    return options;
}

THistoryStore::THistoryStore(THistoryOptions options) : m_options(std::move(options)) {}

THistoryStore::~THistoryStore() {
    Close();
}

int64_t THistoryStore::Now() const {
    if (m_options.NowMs) {
        return m_options.NowMs();
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void THistoryStore::Close() noexcept {
    m_stmts.clear();
    m_hosts.clear();
    m_db.Close();
}

TSqliteStatement& THistoryStore::Stmt(std::string_view sql) {
    auto it = m_stmts.find(sql);
    if (it == m_stmts.end()) {
        it = m_stmts.emplace(sql, m_db.Prepare(sql)).first;
    }
    return it->second;
}

bool THistoryStore::CreateSchema() {
    const std::optional<int64_t> version = m_db.QueryInt("PRAGMA user_version");
    if (version && *version > kSchemaVersion) {
        Failed("the file was written by a newer Pingvard");
        return false;
    }
    // WAL lets the graph window read while this thread writes; NORMAL syncs at
    // checkpoints only, which can lose the last batches on a power cut but never
    // corrupts the file.
    std::string pragmas = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";
    if (m_options.MaxPageCount > 0) {
        pragmas += "PRAGMA max_page_count=" + std::to_string(m_options.MaxPageCount) + ";";
    }
    if (!m_db.Exec(pragmas.c_str()) || !m_db.Exec(kSchema) ||
        !m_db.Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str())) {
        Failed(m_db.Error());
        return false;
    }
    return true;
}

bool THistoryStore::EnsureOpen() {
    if (m_db.IsOpen()) {
        return true;
    }
    if (Now() < m_nextOpenMs) {
        return false;
    }
    if (!m_db.Open(m_options.FileName, false)) {
        Failed(m_db.Error());
        return false;
    }
    return CreateSchema();
}

void THistoryStore::Failed(const std::string& what) {
    if (!m_failing.exchange(true) && m_options.Report) {
        m_options.Report("History not written to " + m_options.FileName + ": " + what +
                         "; monitoring goes on");
    }
    Close();
    m_nextOpenMs = Now() + kRetryOpenMs;
}

void THistoryStore::Succeeded() {
    if (m_failing.exchange(false) && m_options.Report) {
        m_options.Report("History written again to " + m_options.FileName);
    }
}

std::optional<int64_t> THistoryStore::HostId(const std::string& address, const std::string& name) {
    auto it = m_hosts.find(address);
    if (it != m_hosts.end() && it->second.second == name) {
        return it->second.first;
    }
    if (Stmt(kUpsertHost).Bind(1, address).Bind(2, name).Step() != SQLITE_DONE) {
        return std::nullopt;
    }
    TSqliteStatement& select = Stmt(kSelectHost);
    if (select.Bind(1, address).Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    const int64_t id = select.Int(0);
    select.Reset();
    m_hosts[address] = {id, name};
    return id;
}

bool THistoryStore::WriteBatch(std::span<const TMonitorEvent> events) {
    TTransaction transaction(m_db);
    if (!transaction.Open()) {
        return false;
    }
    for (const TMonitorEvent& event : events) {
        if (event.Kind == TMonitorEventKind::Echo) {
            const std::optional<int64_t> host = HostId(event.Host, event.DisplayName);
            if (!host || Stmt(kInsertSample)
                                 .Bind(1, *host)
                                 .Bind(2, ToUs(event.Time))
                                 .Bind(3, event.RoundTripUs)
                                 .Step() != SQLITE_DONE) {
                return false;
            }
        } else if (Recorded(event.Kind)) {
            if (Stmt(kInsertEvent)
                    .Bind(1, ToUs(event.Time) / 1000)
                    .Bind(2, KindName(event.Kind))
                    .Bind(3, event.Host)
                    .Bind(4, event.Action)
                    .Bind(5, event.ActionKind)
                    .Bind(6, int64_t{event.Ok})
                    .Bind(7, event.Text)
                    .Step() != SQLITE_DONE) {
                return false;
            }
        }
    }
    return transaction.Commit();
}

void THistoryStore::Consume(std::span<const TMonitorEvent> events, uint64_t dropped) {
    if (dropped > 0) {
        m_lost += dropped;
        if (!m_toldDropped && m_options.Report) {
            m_options.Report("History lost " + std::to_string(dropped) +
                             " events: the disk is too slow; monitoring goes on");
        }
        m_toldDropped = true;
    }
    if (events.empty()) {
        return;
    }
    if (!EnsureOpen()) {
        m_lost += events.size();
        return;
    }
    if (!WriteBatch(events)) {
        m_lost += events.size();
        Failed(m_db.Error());
        return;
    }
    Succeeded();
}

std::optional<int64_t> THistoryStore::Meta(std::string_view key) {
    TSqliteStatement& get = Stmt(kGetMeta);
    if (get.Bind(1, key).Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    const int64_t value = get.Int(0);
    get.Reset();
    return value;
}

// One transaction of roll-up for one table: the complete buckets from the
// table's mark on, at most kMaxPassMs of them. more says whether buckets remain.
bool THistoryStore::RollUpPass(bool hourly, int64_t now, bool& more) {
    more = false;
    const int64_t bucketMs = hourly ? 3'600'000 : 60'000;
    const std::string_view markKey = hourly ? "hour_done" : "minute_done";
    const int64_t cutoff = FloorTo(now - kGraceMs, bucketMs); // buckets before it are complete
    std::vector<int64_t> hosts;
    for (TSqliteStatement& ids = Stmt(kHostIds); ids.Step() == SQLITE_ROW;) {
        hosts.push_back(ids.Int(0));
    }
    std::optional<int64_t> mark = Meta(markKey);
    bool persist = !mark;
    if (mark && *mark > cutoff + bucketMs) {
        mark = cutoff; // the clock went back: carry on from the new present
        persist = true;
    }
    int64_t first = mark.value_or(cutoff);
    if (!mark) { // a new file, or one from before aggregates: start at the oldest echo
        for (int64_t host : hosts) {
            TSqliteStatement& q = Stmt(kFirstSample);
            if (q.Bind(1, host).Bind(2, int64_t{0}).Step() == SQLITE_ROW) {
                if (const auto t = q.OptionalInt(0)) {
                    first = std::min(first, FloorTo(*t / 1000, bucketMs));
                }
                q.Reset();
            }
        }
    }
    if (first >= cutoff) {
        return !persist || Stmt(kSetMeta).Bind(1, markKey).Bind(2, cutoff).Step() == SQLITE_DONE;
    }
    const int64_t end = std::min(cutoff, first + kMaxPassMs);
    TTransaction transaction(m_db);
    if (!transaction.Open()) {
        return false;
    }
    std::vector<THistorySample> samples;
    for (int64_t host : hosts) {
        samples.clear();
        TSqliteStatement& raw = Stmt(kRawRange);
        raw.Bind(1, host).Bind(2, first * 1000).Bind(3, end * 1000);
        int rc;
        while ((rc = raw.Step()) == SQLITE_ROW) {
            samples.push_back({raw.Int(0), raw.OptionalInt(1)});
        }
        if (rc != SQLITE_DONE) {
            return false;
        }
        for (const THistoryPoint& p : Aggregate(samples, bucketMs)) {
            if (Stmt(hourly ? kPutHour : kPutMinute)
                    .Bind(1, host)
                    .Bind(2, p.TimeMs / 1000)
                    .Bind(3, int64_t{p.Count})
                    .Bind(4, int64_t{p.Lost})
                    .Bind(5, p.MinUs)
                    .Bind(6, p.MedianUs)
                    .Bind(7, p.MaxUs)
                    .Step() != SQLITE_DONE) {
                return false;
            }
        }
    }
    if (Stmt(kSetMeta).Bind(1, markKey).Bind(2, end).Step() != SQLITE_DONE) {
        return false;
    }
    more = end < cutoff;
    return transaction.Commit();
}

bool THistoryStore::Prune(int64_t now) {
    // Raw echoes stay until both aggregates have been made from them.
    int64_t rawBefore = now - Ms(m_options.RawKeep);
    rawBefore =
        std::min({rawBefore, Meta("minute_done").value_or(0), Meta("hour_done").value_or(0)});
    const int64_t minuteBefore = (now - Ms(m_options.MinuteKeep)) / 1000;
    const int64_t hourBefore = (now - Ms(m_options.HourKeep)) / 1000;
    TTransaction transaction(m_db);
    if (!transaction.Open()) {
        return false;
    }
    std::vector<int64_t> hosts;
    for (TSqliteStatement& ids = Stmt(kHostIds); ids.Step() == SQLITE_ROW;) {
        hosts.push_back(ids.Int(0));
    }
    for (int64_t host : hosts) {
        if (Stmt(kPruneSample).Bind(1, host).Bind(2, rawBefore * 1000).Step() != SQLITE_DONE ||
            Stmt(kPruneMinute).Bind(1, host).Bind(2, minuteBefore).Step() != SQLITE_DONE ||
            Stmt(kPruneHour).Bind(1, host).Bind(2, hourBefore).Step() != SQLITE_DONE) {
            return false;
        }
    }
    if (Stmt(kPruneEvent).Bind(1, now - Ms(m_options.HourKeep)).Step() != SQLITE_DONE) {
        return false;
    }
    return transaction.Commit();
}

bool THistoryStore::Maintain() {
    if (!EnsureOpen()) {
        return false;
    }
    const int64_t now = Now();
    for (bool hourly : {false, true}) {
        bool more = true;
        while (more) {
            if (!RollUpPass(hourly, now, more)) {
                Failed(m_db.Error());
                return false;
            }
        }
    }
    if (!Prune(now)) {
        Failed(m_db.Error());
        return false;
    }
    return true;
}

void THistoryStore::Tick() {
    const int64_t now = Now();
    if (now < m_nextMaintenanceMs) {
        return;
    }
    m_nextMaintenanceMs =
        now +
        std::chrono::duration_cast<std::chrono::milliseconds>(m_options.MaintenanceEvery).count();
    Maintain();
}

} // namespace pingvard
