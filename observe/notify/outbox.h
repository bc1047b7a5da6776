// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The durable queue of notifications not yet delivered, one SQLite file of
// its own (outbox.db beside pingvard.ini, whether the history is kept or
// not): every message is written here before it is sent, sent in order per
// channel, and removed only once the server took it. A full channel drops
// its oldest message and counts it; the count is told in the next message
// delivered. The ids of recently delivered messages are kept, so that the
// same message queued again (the same event after a restart) is not sent
// twice. One thread uses it.

#include "observe/history/sqlite_db.h"
#include "observe/notify/notification.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pingvard {

struct TQueuedNotification {
    std::string Channel;
    TNotification Message;
    uint64_t DroppedBefore = 0; // dropped from this channel and not yet told
};

enum class TPutResult { Queued, Duplicate, Failed };

class TOutbox {
public:
    // maxPerChannel: at least 1.
    explicit TOutbox(int32_t maxPerChannel);

    // Creates the file (mode 0600) and its tables when needed. False with
    // Error() set when it cannot.
    bool Open(const std::string& fileName);
    const std::string& Error() const noexcept { return m_error; }

    // Queues the message for the channel behind what waits there, unless the
    // channel holds it already or delivered it recently. A full channel drops
    // its oldest message first.
    TPutResult Put(const std::string& channel, const TNotification& message);
    // The channel's oldest message.
    std::optional<TQueuedNotification> Front(const std::string& channel);
    // The server took it: removed, remembered as delivered, and the drops it
    // told are forgotten.
    bool Delivered(const std::string& channel, const std::string& id, uint64_t droppedTold);

    int64_t Waiting(const std::string& channel);
    uint64_t DroppedTotal(const std::string& channel); // since the file was made

private:
    bool Fail(const char* what);

    int32_t m_max;
    TSqliteDb m_db;
    std::string m_error;
};

} // namespace pingvard
