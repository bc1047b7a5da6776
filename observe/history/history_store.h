// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The history database writer: every echo and every recovery event, written in
// batches on the queue's worker (one transaction per batch), rolled up into
// one-minute and one-hour aggregates and pruned in the background.
//
// A batch that cannot be written (another program holds a lock, the disk is
// full, read-only or gone) is kept and tried again with the next one, so a
// fault shorter than what the writer keeps (MaxPending) loses nothing. Beyond
// that the oldest echoes go first, recovery events only when no echo is left;
// the count is said. The fault is said once, and once more when writing works.
//
// The roll-up works in slices of one hour of buckets, each its own
// transaction with its mark; a stop (Interrupt) ends it between slices or in
// the middle of one (rolled back), and the next start goes on from the mark:
// nothing lost, nothing counted twice.
//
//     THistoryStore store(options);                       // touches no file yet
//     TQueuedSink queue(store, HistoryQueueOptions());
//     hub.Add(queue);

#include "observe/history/history_types.h"
#include "observe/history/incident_store.h"
#include "observe/history/sqlite_db.h"
#include "observe/queued_sink.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

struct THistoryOptions {
    std::string FileName;                   // full path of the database
    std::chrono::hours RawKeep{48};         // single echoes
    std::chrono::hours MinuteKeep{90 * 24}; // one-minute aggregates
    std::chrono::hours HourKeep{5 * 8766};  // one-hour aggregates and recovery events
    std::chrono::seconds MaintenanceEvery{60};
    // Wall clock in milliseconds since 1970; null = the system clock.
    std::function<int64_t()> NowMs;
    // Told once when writing starts failing (and once when it works again), on
    // the writer's thread: connect it to the console and the status line.
    std::function<void(const std::string&)> Report;
    // An incident the monitor took up again at its start: it stays open.
    std::shared_ptr<const TIncident> OpenIncident;
    // Caps the file at this many pages (0 = no cap); tests use it as a full disk.
    int64_t MaxPageCount = 0;
    // How long one write waits for another program's lock before the batch is
    // kept for the next try.
    int32_t BusyWaitMs = 2000;
    // Events kept while the file cannot be written: as many as the queue in
    // front of the writer holds.
    std::size_t MaxPending = 8192;
    // Test seam: on the writer's thread after each committed roll-up slice.
    std::function<void()> AfterSlice;
};

// The queue the writer expects: room for minutes of echoes, and batches of about
// a second so that a slow disk pays one transaction per second.
TQueueOptions HistoryQueueOptions();

class THistoryStore final : public TEventConsumer {
public:
    explicit THistoryStore(THistoryOptions options);
    ~THistoryStore() override;
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    void Consume(std::span<const TMonitorEvent> events, uint64_t dropped) override;
    // Opens the database (and makes its tables) at the queue's start.
    void Begin() override;
    // Kept batches tried again; roll-up and pruning when MaintenanceEvery has passed.
    void Tick() override;
    // Any thread: ends a roll-up and any wait for a lock at once, for good.
    void Interrupt() noexcept override;
    // Rolls up every complete minute and hour and prunes now; false on
    // failure, or when interrupted before it was done.
    bool Maintain();

    // For status and tests; any thread.
    bool Failing() const noexcept { return m_failing.load(); }
    uint64_t LostEvents() const noexcept { return m_lost.load(); }
    std::size_t PendingEvents() const noexcept { return m_pendingCount.load(); }

private:
    int64_t Now() const;
    bool EnsureOpen();
    bool CreateSchema();
    void Flush();
    bool WriteBatch(const std::deque<TMonitorEvent>& events);
    bool WriteEvent(const TMonitorEvent& event);
    void Trim();
    std::optional<int64_t> HostId(const std::string& address, const std::string& name);
    TSqliteStatement& Stmt(std::string_view sql);
    std::optional<int64_t> Meta(std::string_view key);
    bool RollUp(bool hourly, int64_t now);
    bool RollUpSlice(bool hourly, int64_t now, bool& more);
    bool PutAggregates(bool hourly, int64_t host, const std::vector<THistorySample>& samples);
    bool Prune(int64_t now);
    bool Fault(); // keeps the reason of a failed step (before a rollback), false
    void Failed();
    void Succeeded();
    void Close() noexcept;
    static int WaitForLock(void* self, int count) noexcept;
    static int Progress(void* self) noexcept;

    THistoryOptions m_options;
    TSqliteDb m_db;
    TIncidentWriter m_incidents; // the incidents and the watched time, in the same batches
    // Prepared once per connection, keyed by their SQL text; finalised before
    // the connection closes.
    std::map<std::string_view, TSqliteStatement> m_stmts;
    std::map<std::string, std::pair<int64_t, std::string>> m_hosts; // address -> id, name
    std::atomic<bool> m_failing{false};
    std::atomic<uint64_t> m_lost{0};
    std::atomic<bool> m_interrupted{false};
    std::atomic<bool> m_maintaining{false}; // the progress handler interrupts only then
    std::deque<TMonitorEvent> m_pending;    // not written yet, oldest first
    std::atomic<std::size_t> m_pendingCount{0};
    std::string m_fault;          // why the last step failed
    bool m_faultLocked = false;   // ... another program's lock
    uint64_t m_droppedEchoes = 0; // while failing: what Trim let go
    uint64_t m_droppedEvents = 0;
    bool m_toldTrimmed = false;
    bool m_toldDropped = false; // the queue's own drops, said once
    int64_t m_nextOpenMs = 0;
    int64_t m_nextMaintenanceMs = 0;
};

} // namespace pingvard
