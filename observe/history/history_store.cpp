// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/history_store.h"

#include "net/tick_clock.h"

#include <algorithm>
#include <cerrno>
#include <sqlite3.h>
#include <thread>
#include <vector>

namespace pingvard {

namespace {

constexpr int64_t kSchemaVersion = 2;
constexpr int64_t kRetryOpenMs = 10'000; // a failing disk is tried again this often
constexpr int64_t kGraceMs = 10'000;     // late echoes of a minute still count
constexpr int kWalPages = 128;           // what the stop's checkpoint copies at most
constexpr int64_t kSliceMs = 3'600'000;  // roll-up work per transaction: one hour of buckets
constexpr int kBusyStepMs = 10;          // how often a wait for a lock looks again
constexpr int kProgressSteps = 10'000;   // virtual machine steps between looks at a stop

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
                                  p10 INTEGER, p25 INTEGER, p75 INTEGER, p90 INTEGER,
                                  PRIMARY KEY(host, t)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS hour(host INTEGER NOT NULL, t INTEGER NOT NULL, n INTEGER NOT NULL,
                                lost INTEGER NOT NULL, lo INTEGER, med INTEGER, hi INTEGER,
                                p10 INTEGER, p25 INTEGER, p75 INTEGER, p90 INTEGER,
                                PRIMARY KEY(host, t)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS event(t INTEGER NOT NULL, kind TEXT NOT NULL, host TEXT NOT NULL,
                                 action TEXT NOT NULL, action_kind TEXT NOT NULL,
                                 ok INTEGER NOT NULL, text TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS event_time ON event(t);
)sql";

// What each schema version added to the tables of the one before, in order:
// the columns a file of that version or older lacks. Old rows keep NULL in
// them. (New tables come with CREATE TABLE IF NOT EXISTS in kSchema.)
struct TAddedColumn {
    int64_t Version;
    const char* Table;
    const char* Column;
};
constexpr TAddedColumn kAddedColumns[] = {
    {2, "minute", "p10"}, {2, "minute", "p25"}, {2, "minute", "p75"}, {2, "minute", "p90"},
    {2, "hour", "p10"},   {2, "hour", "p25"},   {2, "hour", "p75"},   {2, "hour", "p90"},
};

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
    "INSERT OR REPLACE INTO minute(host, t, n, lost, lo, med, hi, p10, p25, p75, p90) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";
constexpr std::string_view kPutHour =
    "INSERT OR REPLACE INTO hour(host, t, n, lost, lo, med, hi, p10, p25, p75, p90) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";
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

// Rolls a transaction back unless it was committed. A full disk or an I/O
// error has rolled it back already; a ROLLBACK then would only replace the
// reason with "cannot rollback - no transaction is active".
class TTransaction {
public:
    explicit TTransaction(TSqliteDb& db) : m_db(db), m_open(db.Exec("BEGIN IMMEDIATE")) {}
    ~TTransaction() {
        if (m_open && sqlite3_get_autocommit(m_db.Handle()) == 0) {
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

bool Locked(int code) noexcept {
    return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED;
}

// The reason in words an operator acts on: a full disk is a full disk,
// whatever statement met it.
std::string Reason(const TSqliteDb& db) {
    const int code = db.ErrorCode() & 0xff;
    if (code == SQLITE_FULL ||
        (db.Handle() != nullptr && sqlite3_system_errno(db.Handle()) == ENOSPC)) {
        return "the disk is full";
    }
    if (Locked(code)) {
        return "another program holds a lock on it";
    }
    return db.Error();
}

bool HasColumn(TSqliteDb& db, const char* table, const char* column) {
    TSqliteStatement q =
        db.Prepare(std::string("SELECT 1 FROM pragma_table_info('") + table + "') WHERE name = ?1");
    const bool found = q.Bind(1, std::string_view(column)).Step() == SQLITE_ROW;
    q.Reset();
    return found;
}

// Minutes and hours rolled up before they kept percentiles get them where
// their echoes are still kept (48 h): the roll-up marks move back to the
// first whole bucket after the oldest echo, and the next roll-up makes those
// rows again (replaced, never added). The bucket of the oldest echo may have
// lost echoes to the pruning already and keeps its old figures.
bool RedoWhatEchoesAreKeptFor(TSqliteDb& db) {
    TSqliteStatement oldest = db.Prepare("SELECT min(t) FROM sample");
    if (oldest.Step() != SQLITE_ROW) {
        return false;
    }
    const std::optional<int64_t> oldestUs = oldest.OptionalInt(0);
    oldest.Reset();
    if (!oldestUs) {
        return true; // no echoes kept: nothing to make again
    }
    for (const auto& [key, bucketMs] :
         {std::pair{"minute_done", int64_t{60'000}}, std::pair{"hour_done", int64_t{3'600'000}}}) {
        const int64_t from = FloorTo(*oldestUs / 1000, bucketMs) + bucketMs;
        TSqliteStatement back = db.Prepare("UPDATE meta SET value = min(value, ?2) WHERE key = ?1");
        if (back.Bind(1, std::string_view(key)).Bind(2, from).Step() != SQLITE_DONE) {
            return false;
        }
    }
    return true;
}

// Brings the tables of a file of an older version up to this one in place;
// run inside the transaction that creates the tables, so that a file is
// either upgraded whole, version mark included, or left as it was. A column
// already there (a fresh file made by kSchema) is left alone.
bool UpgradeSchema(TSqliteDb& db, int64_t version) {
    for (const TAddedColumn& added : kAddedColumns) {
        if (added.Version > version && !HasColumn(db, added.Table, added.Column) &&
            !db.Exec((std::string("ALTER TABLE ") + added.Table + " ADD COLUMN " + added.Column +
                      " INTEGER")
                         .c_str())) {
            return false;
        }
    }
    if (version >= 1 && version < 2 && !RedoWhatEchoesAreKeptFor(db)) {
        return false;
    }
    return db.Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
}

std::string Plural(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

TQueueOptions HistoryQueueOptions() {
    TQueueOptions options;
    options.Capacity = 8192; // over an hour of four hosts at 2 s
    options.MaxBatch = 1024;
    // Echoes wait up to 5 s for company, so that a commit (and its pages in
    // the journal) serves some ten of them; a kill loses at most those 5 s.
    // The site's and the recovery's events are written at once.
    options.Linger = std::chrono::milliseconds(5000);
    options.Urgent = [](const TMonitorEvent& event) {
        return event.Kind != TMonitorEventKind::Echo;
    };
    options.TickInterval = std::chrono::milliseconds(5000);
    return options;
}

THistoryStore::THistoryStore(THistoryOptions options) : m_options(std::move(options)) {
    m_incidents.KeepOpen(m_options.OpenIncident);
}

THistoryStore::~THistoryStore() {
    Close();
}

int64_t THistoryStore::Now() const {
    if (m_options.NowMs) {
        return m_options.NowMs();
    }
    return WallClockMs();
}

void THistoryStore::Close() noexcept {
    m_stmts.clear();
    m_incidents.Forget();
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
        m_fault = "the file was written by a newer Pingvard";
        Failed();
        return false;
    }
    // WAL lets the graph window read while this thread writes; NORMAL syncs at
    // checkpoints only, which can lose the last batches on a power cut but never
    // corrupts the file.
    // The WAL is copied into the file at the close, inside the stop: at most
    // kWalPages pages of it (the default, 1000, on a slow card could hold the
    // stop for seconds), and its file cut back to that after each checkpoint.
    std::string pragmas = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                          "PRAGMA wal_autocheckpoint=" +
                          std::to_string(kWalPages) +
                          "; PRAGMA journal_size_limit=" + std::to_string(kWalPages * 4096) + ";";
    if (m_options.MaxPageCount > 0) {
        pragmas += "PRAGMA max_page_count=" + std::to_string(m_options.MaxPageCount) + ";";
    }
    bool ready = m_db.Exec(pragmas.c_str());
    if (ready) { // the tables and their upgrade: whole or not at all
        TTransaction transaction(m_db);
        ready = transaction.Open() && m_db.Exec(kSchema) &&
                UpgradeSchema(m_db, version.value_or(0)) && transaction.Commit();
        if (!ready) {
            Fault(); // before the rollback replaces the reason
        }
    } else {
        Fault();
    }
    if (!ready) {
        Failed();
    }
    return ready;
}

bool THistoryStore::EnsureOpen() {
    if (m_db.IsOpen()) {
        return true;
    }
    if (Now() < m_nextOpenMs) {
        return false;
    }
    if (!m_db.Open(m_options.FileName, false)) {
        Fault();
        Failed();
        return false;
    }
    // Instead of the connection's busy time-out: the same wait, but one a stop ends.
    sqlite3_busy_handler(m_db.Handle(), &THistoryStore::WaitForLock, this);
    return CreateSchema();
}

int THistoryStore::WaitForLock(void* self, int count) noexcept {
    const auto& store = *static_cast<const THistoryStore*>(self);
    if (store.m_interrupted || count * kBusyStepMs >= store.m_options.BusyWaitMs) {
        return 0; // give up: the batch is kept for the next try
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kBusyStepMs));
    return 1;
}

int THistoryStore::Progress(void* self) noexcept {
    const auto& store = *static_cast<const THistoryStore*>(self);
    return store.m_maintaining && store.m_interrupted ? 1 : 0;
}

void THistoryStore::Interrupt() noexcept {
    m_interrupted = true;
}

bool THistoryStore::Fault() {
    m_fault = Reason(m_db);
    m_faultLocked = Locked(m_db.ErrorCode());
    return false;
}

// Said once per fault. A lock is another program's and passes: the connection
// stays and the next batch tries again; anything else is tried again with a
// fresh connection after kRetryOpenMs.
void THistoryStore::Failed() {
    if (!m_failing.exchange(true) && m_options.Report) {
        m_options.Report("History not written to " + m_options.FileName + ": " + m_fault +
                         "; monitoring goes on");
    }
    if (!m_faultLocked || !m_db.IsOpen()) {
        Close();
        m_nextOpenMs = Now() + kRetryOpenMs;
    }
}

void THistoryStore::Succeeded() {
    if (m_failing.exchange(false) && m_options.Report) {
        std::string lost;
        if (m_droppedEchoes + m_droppedEvents > 0) {
            lost = " (" + Plural(m_droppedEchoes, "echo", "echoes") +
                   (m_droppedEvents > 0 ? " and " + Plural(m_droppedEvents, "event", "events")
                                        : std::string()) +
                   " lost)";
        }
        m_options.Report("History written again to " + m_options.FileName + lost);
    }
    m_droppedEchoes = m_droppedEvents = 0;
    m_toldTrimmed = false;
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

bool THistoryStore::WriteEvent(const TMonitorEvent& event) {
    if (!m_incidents.Write(m_db, event)) {
        return false;
    }
    if (event.Kind == TMonitorEventKind::Echo) {
        const std::optional<int64_t> host = HostId(event.Host, event.DisplayName);
        return host && Stmt(kInsertSample)
                               .Bind(1, *host)
                               .Bind(2, ToUs(event.Time))
                               .Bind(3, event.RoundTripUs)
                               .Step() == SQLITE_DONE;
    }
    return !Recorded(event.Kind) || Stmt(kInsertEvent)
                                            .Bind(1, ToUs(event.Time) / 1000)
                                            .Bind(2, KindName(event.Kind))
                                            .Bind(3, event.Host)
                                            .Bind(4, event.Action)
                                            .Bind(5, event.ActionKind)
                                            .Bind(6, int64_t{event.Ok})
                                            .Bind(7, event.Text)
                                            .Step() == SQLITE_DONE;
}

bool THistoryStore::WriteBatch(const std::deque<TMonitorEvent>& events) {
    TTransaction transaction(m_db);
    if (!transaction.Open() || !m_incidents.BeginBatch(m_db)) {
        return Fault();
    }
    for (const TMonitorEvent& event : events) {
        if (!WriteEvent(event)) {
            m_hosts.clear(); // ids of this transaction are rolled back with it
            return Fault();
        }
    }
    if (!m_incidents.EndBatch(m_db) || !transaction.Commit()) {
        m_hosts.clear();
        return Fault();
    }
    m_incidents.Committed();
    return true;
}

// Keeps at most MaxPending events: the oldest echoes go first, recovery
// events (kept five years, a few a day) only when no echo is left.
void THistoryStore::Trim() {
    std::size_t excess =
        m_pending.size() > m_options.MaxPending ? m_pending.size() - m_options.MaxPending : 0;
    uint64_t echoes = 0;
    for (auto it = m_pending.begin(); it != m_pending.end() && echoes < excess;) {
        if (it->Kind == TMonitorEventKind::Echo) {
            it = m_pending.erase(it);
            ++echoes;
        } else {
            ++it;
        }
    }
    excess -= echoes;
    const uint64_t events = std::min(excess, m_pending.size());
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(events));
    if (echoes + events == 0) {
        return;
    }
    m_lost += echoes + events;
    m_droppedEchoes += echoes;
    m_droppedEvents += events;
    m_pendingCount = m_pending.size();
    if (!m_toldTrimmed && m_options.Report) {
        m_toldTrimmed = true;
        m_options.Report(
            "History dropped " + (echoes > 0 ? Plural(echoes, "echo", "echoes") : std::string()) +
            (echoes > 0 && events > 0 ? " and " : "") +
            (events > 0 ? Plural(events, "recovery event", "recovery events") : std::string()) +
            " while " + m_options.FileName + " could not be written" +
            (events == 0 ? "; its recovery events are kept" : ""));
    }
}

// Writes what is kept and what came since, or keeps it all for the next try.
void THistoryStore::Flush() {
    if (m_pending.empty()) {
        return;
    }
    if (EnsureOpen()) { // else it has said why, or waits to try again
        if (WriteBatch(m_pending)) {
            m_pending.clear();
            m_pendingCount = 0;
            Succeeded();
            return;
        }
        Failed();
    }
    Trim();
    m_pendingCount = m_pending.size();
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
    m_pending.insert(m_pending.end(), events.begin(), events.end());
    m_pendingCount = m_pending.size();
    Flush();
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

// The aggregates of one host's echoes, one row per bucket; a new column is
// one more Bind here and in the table.
bool THistoryStore::PutAggregates(bool hourly, int64_t host,
                                  const std::vector<THistorySample>& samples) {
    for (const THistoryPoint& p : Aggregate(samples, hourly ? 3'600'000 : 60'000)) {
        if (Stmt(hourly ? kPutHour : kPutMinute)
                .Bind(1, host)
                .Bind(2, p.TimeMs / 1000)
                .Bind(3, int64_t{p.Count})
                .Bind(4, int64_t{p.Lost})
                .Bind(5, p.MinUs)
                .Bind(6, p.MedianUs)
                .Bind(7, p.MaxUs)
                .Bind(8, p.Spread ? std::optional(p.Spread->P10Us) : std::nullopt)
                .Bind(9, p.Spread ? std::optional(p.Spread->P25Us) : std::nullopt)
                .Bind(10, p.Spread ? std::optional(p.Spread->P75Us) : std::nullopt)
                .Bind(11, p.Spread ? std::optional(p.Spread->P90Us) : std::nullopt)
                .Step() != SQLITE_DONE) {
            return false;
        }
    }
    return true;
}

// One slice of roll-up for one table, one transaction: the complete buckets
// from the table's mark on, at most kSliceMs of them, and the mark after them.
// more says whether buckets remain. A slice rolled back (a stop, a fault)
// leaves the mark, so the next one redoes it; the rows are keyed by (host,
// bucket) and replaced, never added twice.
bool THistoryStore::RollUpSlice(bool hourly, int64_t now, bool& more) {
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
        return !persist || Stmt(kSetMeta).Bind(1, markKey).Bind(2, cutoff).Step() == SQLITE_DONE ||
               Fault();
    }
    const int64_t end = std::min(cutoff, first + std::max(kSliceMs, bucketMs));
    TTransaction transaction(m_db);
    if (!transaction.Open()) {
        return Fault();
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
        if (rc != SQLITE_DONE || !PutAggregates(hourly, host, samples)) {
            return Fault();
        }
    }
    if (Stmt(kSetMeta).Bind(1, markKey).Bind(2, end).Step() != SQLITE_DONE ||
        !transaction.Commit()) {
        return Fault();
    }
    more = end < cutoff;
    return true;
}

bool THistoryStore::RollUp(bool hourly, int64_t now) {
    for (bool more = true; more;) {
        if (m_interrupted || !RollUpSlice(hourly, now, more)) {
            return false;
        }
        if (m_options.AfterSlice) {
            m_options.AfterSlice();
        }
    }
    return true;
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
        return Fault();
    }
    std::vector<int64_t> hosts;
    for (TSqliteStatement& ids = Stmt(kHostIds); ids.Step() == SQLITE_ROW;) {
        hosts.push_back(ids.Int(0));
    }
    for (int64_t host : hosts) {
        if (Stmt(kPruneSample).Bind(1, host).Bind(2, rawBefore * 1000).Step() != SQLITE_DONE ||
            Stmt(kPruneMinute).Bind(1, host).Bind(2, minuteBefore).Step() != SQLITE_DONE ||
            Stmt(kPruneHour).Bind(1, host).Bind(2, hourBefore).Step() != SQLITE_DONE) {
            return Fault();
        }
    }
    if (Stmt(kPruneEvent).Bind(1, now - Ms(m_options.HourKeep)).Step() != SQLITE_DONE ||
        !m_incidents.Prune(m_db, now - Ms(m_options.HourKeep))) {
        return Fault();
    }
    return transaction.Commit() || Fault();
}

bool THistoryStore::Maintain() {
    if (m_interrupted || !EnsureOpen()) {
        return false;
    }
    const int64_t now = Now();
    // A long statement of the roll-up or the pruning looks at a stop every
    // kProgressSteps steps; the batches' writes never do.
    m_maintaining = true;
    sqlite3_progress_handler(m_db.Handle(), kProgressSteps, &THistoryStore::Progress, this);
    const bool done = RollUp(false, now) && RollUp(true, now) && !m_interrupted && Prune(now);
    sqlite3_progress_handler(m_db.Handle(), 0, nullptr, nullptr);
    m_maintaining = false;
    if (!done && !m_interrupted) {
        Failed();
    }
    return done;
}

void THistoryStore::Begin() {
    EnsureOpen(); // a failure is said as for a batch, and the first batch tries again
}

void THistoryStore::Tick() {
    Flush(); // what a fault kept, when no new batch comes to take it along
    const int64_t now = Now();
    if (now < m_nextMaintenanceMs || m_interrupted) {
        return;
    }
    m_nextMaintenanceMs =
        now +
        std::chrono::duration_cast<std::chrono::milliseconds>(m_options.MaintenanceEvery).count();
    Maintain();
}

} // namespace pingvard
