// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/outbox.h"

#include <algorithm>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace pingvard {

namespace {

// Delivered ids kept per channel: far more than one outage's messages.
constexpr int64_t kDeliveredKept = 1000;

constexpr const char* kSchema = R"sql(
PRAGMA journal_mode=WAL;
PRAGMA synchronous=FULL;
CREATE TABLE IF NOT EXISTS queued (
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    channel TEXT NOT NULL, id TEXT NOT NULL, event TEXT NOT NULL, time_ms INTEGER NOT NULL,
    title TEXT NOT NULL, body TEXT NOT NULL, priority INTEGER NOT NULL, facts TEXT NOT NULL,
    UNIQUE (channel, id));
CREATE TABLE IF NOT EXISTS delivered (
    seq INTEGER PRIMARY KEY AUTOINCREMENT, channel TEXT NOT NULL, id TEXT NOT NULL,
    UNIQUE (channel, id));
CREATE TABLE IF NOT EXISTS drops (
    channel TEXT PRIMARY KEY, untold INTEGER NOT NULL, total INTEGER NOT NULL);
)sql";

} // namespace

TOutbox::TOutbox(int32_t maxPerChannel) : m_max(std::max(maxPerChannel, 1)) {}

bool TOutbox::Fail(const char* what) {
    m_error = std::string(what) + ": " + m_db.Error();
    return false;
}

bool TOutbox::Open(const std::string& fileName) {
    // Made private before SQLite opens it: the messages name the site's hosts.
    const int fd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
    if (!m_db.Open(fileName, false)) {
        m_error = m_db.Error();
        return false;
    }
    sqlite3_busy_timeout(m_db.Handle(), 2000);
    return m_db.Exec(kSchema) || Fail("cannot make its tables");
}

TPutResult TOutbox::Put(const std::string& channel, const TNotification& m) {
    TSqliteStatement seen =
        m_db.Prepare("SELECT (SELECT COUNT(*) FROM queued WHERE channel=?1 AND id=?2) + "
                     "(SELECT COUNT(*) FROM delivered WHERE channel=?1 AND id=?2)");
    seen.Bind(1, channel).Bind(2, m.Id);
    if (seen.Step() != SQLITE_ROW) {
        Fail("cannot read");
        return TPutResult::Failed;
    }
    if (seen.Int(0) > 0) {
        seen.Reset();
        return TPutResult::Duplicate;
    }
    seen.Reset();
    if (!m_db.Exec("BEGIN IMMEDIATE")) {
        Fail("cannot write");
        return TPutResult::Failed;
    }
    const int64_t over = Waiting(channel) + 1 - m_max;
    bool ok = true;
    if (over > 0) {
        TSqliteStatement drop =
            m_db.Prepare("DELETE FROM queued WHERE seq IN (SELECT seq FROM queued WHERE channel=?1 "
                         "ORDER BY seq LIMIT ?2)");
        drop.Bind(1, channel).Bind(2, over);
        TSqliteStatement count = m_db.Prepare(
            "INSERT INTO drops (channel, untold, total) VALUES (?1, ?2, ?2) ON CONFLICT(channel) "
            "DO UPDATE SET untold = untold + ?2, total = total + ?2");
        count.Bind(1, channel).Bind(2, over);
        ok = drop.Step() == SQLITE_DONE && count.Step() == SQLITE_DONE;
    }
    TSqliteStatement add = m_db.Prepare(
        "INSERT INTO queued (channel, id, event, time_ms, title, body, priority, facts) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    add.Bind(1, channel).Bind(2, m.Id).Bind(3, m.Event).Bind(4, m.TimeMs).Bind(5, m.Title);
    add.Bind(6, m.Body).Bind(7, static_cast<int64_t>(m.Priority)).Bind(8, m.Facts);
    ok = ok && add.Step() == SQLITE_DONE;
    if (!ok || !m_db.Exec("COMMIT")) {
        Fail("cannot write");
        m_db.Exec("ROLLBACK");
        return TPutResult::Failed;
    }
    return TPutResult::Queued;
}

std::optional<TQueuedNotification> TOutbox::Front(const std::string& channel) {
    TSqliteStatement q = m_db.Prepare("SELECT id, event, time_ms, title, body, priority, facts, "
                                      "COALESCE((SELECT untold FROM drops WHERE channel=?1), 0) "
                                      "FROM queued WHERE channel=?1 ORDER BY seq LIMIT 1");
    q.Bind(1, channel);
    if (q.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    TQueuedNotification out;
    out.Channel = channel;
    out.Message.Id = q.Text(0);
    out.Message.Event = q.Text(1);
    out.Message.TimeMs = q.Int(2);
    out.Message.Title = q.Text(3);
    out.Message.Body = q.Text(4);
    out.Message.Priority = static_cast<int>(q.Int(5));
    out.Message.Facts = q.Text(6);
    out.DroppedBefore = static_cast<uint64_t>(q.Int(7));
    q.Reset();
    return out;
}

bool TOutbox::Delivered(const std::string& channel, const std::string& id, uint64_t droppedTold) {
    if (!m_db.Exec("BEGIN IMMEDIATE")) {
        return Fail("cannot write");
    }
    TSqliteStatement remove = m_db.Prepare("DELETE FROM queued WHERE channel=?1 AND id=?2");
    remove.Bind(1, channel).Bind(2, id);
    TSqliteStatement keep =
        m_db.Prepare("INSERT OR IGNORE INTO delivered (channel, id) VALUES (?1, ?2)");
    keep.Bind(1, channel).Bind(2, id);
    TSqliteStatement trim = m_db.Prepare(
        "DELETE FROM delivered WHERE channel=?1 AND seq <= (SELECT seq FROM delivered WHERE "
        "channel=?1 ORDER BY seq DESC LIMIT 1 OFFSET ?2)");
    trim.Bind(1, channel).Bind(2, kDeliveredKept);
    TSqliteStatement told =
        m_db.Prepare("UPDATE drops SET untold = MAX(untold - ?2, 0) WHERE channel=?1");
    told.Bind(1, channel).Bind(2, static_cast<int64_t>(droppedTold));
    const bool ok = remove.Step() == SQLITE_DONE && keep.Step() == SQLITE_DONE &&
                    trim.Step() == SQLITE_DONE && told.Step() == SQLITE_DONE;
    if (!ok || !m_db.Exec("COMMIT")) {
        Fail("cannot write");
        m_db.Exec("ROLLBACK");
        return false;
    }
    return true;
}

int64_t TOutbox::Waiting(const std::string& channel) {
    TSqliteStatement q = m_db.Prepare("SELECT COUNT(*) FROM queued WHERE channel=?1");
    q.Bind(1, channel);
    const int64_t n = q.Step() == SQLITE_ROW ? q.Int(0) : 0;
    q.Reset();
    return n;
}

uint64_t TOutbox::DroppedTotal(const std::string& channel) {
    TSqliteStatement q = m_db.Prepare("SELECT total FROM drops WHERE channel=?1");
    q.Bind(1, channel);
    const int64_t n = q.Step() == SQLITE_ROW ? q.Int(0) : 0;
    q.Reset();
    return static_cast<uint64_t>(n);
}

} // namespace pingvard
