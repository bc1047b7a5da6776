// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one test message of a channel, as --test-notify and the settings
// dialog send it: now, past the outbox, in the channel's own request.

#include "config/notify/notify_settings.h"
#include "observe/notify/transport.h"

#include <string>

namespace pingvard {

// "email to 2 addresses through smtp://..." or "webhook, ntfy".
std::string TestMessageRoute(const TNotifyChannel& channel);
// Blocks for at most the channel's time limit, less once transport's Abort ran.
TDelivery SendTestMessage(const TNotifyChannel& channel, TNotifyTransport& transport);

} // namespace pingvard
