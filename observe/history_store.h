// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The history database writer: every echo and every recovery event, written in
// batches on the queue's worker (one transaction per batch), rolled up into
// one-minute and one-hour aggregates and pruned in the background. A disk that
// is full, read-only or gone loses history lines only and is reported once.
//
//     THistoryStore store(options);                       // touches no file yet
//     TQueuedSink queue(store, HistoryQueueOptions());
//     hub.Add(queue);

#include "observe/history_types.h"
#include "observe/queued_sink.h"
#include "observe/sqlite_db.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

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
    // Caps the file at this many pages (0 = no cap); tests use it as a full disk.
    int64_t MaxPageCount = 0;
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
    void Tick() override; // roll-up and pruning when MaintenanceEvery has passed
    // Rolls up every complete minute and hour and prunes now; false on failure.
    bool Maintain();

    // For status and tests; any thread.
    bool Failing() const noexcept { return m_failing.load(); }
    uint64_t LostEvents() const noexcept { return m_lost.load(); }

private:
    int64_t Now() const;
    bool EnsureOpen();
    bool CreateSchema();
    bool WriteBatch(std::span<const TMonitorEvent> events);
    std::optional<int64_t> HostId(const std::string& address, const std::string& name);
    TSqliteStatement& Stmt(std::string_view sql);
    std::optional<int64_t> Meta(std::string_view key);
    bool RollUpPass(bool hourly, int64_t now, bool& more);
    bool Prune(int64_t now);
    void Failed(const std::string& what);
    void Succeeded();
    void Close() noexcept;

    THistoryOptions m_options;
    TSqliteDb m_db;
    // Prepared once per connection, keyed by their SQL text; finalised before
    // the connection closes.
    std::map<std::string_view, TSqliteStatement> m_stmts;
    std::map<std::string, std::pair<int64_t, std::string>> m_hosts; // address -> id, name
    std::atomic<bool> m_failing{false};
    std::atomic<uint64_t> m_lost{0};
    bool m_toldDropped = false;
    int64_t m_nextOpenMs = 0;
    int64_t m_nextMaintenanceMs = 0;
};

} // namespace pingvard
