// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A notification in each channel's shape: the mail (RFC 5322 header, plain
// text) and each web hook preset's documented request:
//
//   ntfy    POST Url (the topic), the text as the body; headers Title,
//           Priority (1-5), Tags; Authorization: Bearer Token when set
//   gotify  POST Url/message, X-Gotify-Key: Token;
//           {"title","message","priority" (0-10),"extras"}
//   slack   POST Url (an incoming webhook); {"text"}
//   json    POST Url; {"id","event","time","title","message","priority",
//           "dropped_before", and the event's fields}; Bearer Token when set
//
// Every request carries the message's id (Message-ID, X-Pingvard-Id, "id").

#include "config/notify/notify_settings.h"
#include "observe/notify/notification.h"
#include "observe/notify/transport.h"

#include <cstdint>
#include <string>

namespace pingvard {

// droppedBefore: messages of the channel dropped from a full queue and not
// told yet; the message says so.
TMailRequest BuildMail(const TNotifyChannel& channel, const TNotification& message,
                       uint64_t droppedBefore);
THttpPost BuildPost(const TNotifyChannel& channel, const TNotification& message,
                    uint64_t droppedBefore);

// "Tue, 08 Dec 2026 07:05:09 +0100", the local time of a Date header.
std::string MailDate(int64_t unixMs);

} // namespace pingvard
