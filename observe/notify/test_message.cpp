// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/test_message.h"

#include "net/tick_clock.h"
#include "observe/notify/requests.h"
#include "observe/program_observers.h"

#include <chrono>

namespace pingvard {

namespace {

TNotification Message() {
    const int64_t now = WallClockMs();
    return TestNotification(now, TProgramObservers::SiteName());
}

} // namespace

std::string TestMessageRoute(const TNotifyChannel& channel) {
    if (channel.Kind == TNotifyKind::Email) {
        const std::size_t to = channel.Mail.To.size();
        return "email to " + std::to_string(to) + (to == 1 ? " address" : " addresses") +
               " through " + channel.Mail.Server;
    }
    return "webhook, " + std::string(PresetName(channel.Webhook.Preset));
}

TDelivery SendTestMessage(const TNotifyChannel& channel, TNotifyTransport& transport) {
    if (channel.Kind == TNotifyKind::Email) {
        return transport.Send(BuildMail(channel, Message(), 0));
    }
    return transport.Send(BuildPost(channel, Message(), 0));
}

} // namespace pingvard
