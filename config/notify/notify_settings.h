// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Notification channels beyond the desktop: mail and web hooks, each a
// section of its own, read as plain values. A channel with a fault is left
// out with one problem line; the others work.
//
//   [Notify]
//   Channels=mail,phone       ; [Notify.NAME] sections
//   Outbox=outbox.db          ; the queue of messages not yet delivered
//   MaxQueued=1000            ; per channel (10 to 100000); the oldest go first
//   DailyReport=08:00         ; local time of the daily-report event
//   [Notify.mail]
//   Kind=email
//   Server=smtp://mail.example.org:587   ; smtps:// for TLS on connect
//   StartTls=0                ; 1: refuse a server that does not offer STARTTLS
//   User=site7
//   PasswordFile=mail.secret  ; or Password=; the file private to its owner
//   From=pingvard@site7.example.org
//   To=admin@example.org,noc@example.org
//   CaFile=ca.pem             ; the authority of a private server's certificate
//   Events=site-down,site-back,restarts-paused   ; the default; also daily-report
//   TimeLimit=30              ; seconds for one delivery (1 to 300)
//   [Notify.phone]
//   Kind=webhook
//   Preset=ntfy               ; ntfy | gotify | slack | json
//   Url=https://ntfy.example.org/site7
//   Token=...                 ; or TokenFile=

#include "config/ini_file.h"
#include "config/section_reader.h"
#include "events/monitor_event.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

enum class TNotifyKind { Email, Webhook };
enum class TWebhookPreset { Ntfy, Gotify, Slack, Json };

// "email", "webhook"; "ntfy", "gotify", "slack", "json".
std::string_view NotifyKindName(TNotifyKind kind) noexcept;
std::string_view PresetName(TWebhookPreset preset) noexcept;

struct TMailChannel {
    std::string Server; // smtp://host[:port] or smtps://host[:port]
    bool RequireStartTls = false;
    std::string User;
    std::string Password;
    std::string From;
    std::vector<std::string> To;
};

struct TWebhookChannel {
    TWebhookPreset Preset = TWebhookPreset::Json;
    std::string Url;
    std::string Token;
};

struct TNotifyChannel {
    std::string Name;
    TNotifyKind Kind = TNotifyKind::Email;
    std::vector<TMonitorEventKind> Events{TMonitorEventKind::SiteDown, TMonitorEventKind::SiteBack,
                                          TMonitorEventKind::RestartsPaused};
    // Events= names daily-report: once a day, the uptime and the incidents.
    // Not a monitor event: the notifier makes it at [Notify] DailyReport.
    bool DailyReport = false;
    int32_t TimeLimitMs = 30000;
    std::string CaFile; // empty: the system's authorities
    TMailChannel Mail;
    TWebhookChannel Webhook;

    bool Wants(TMonitorEventKind kind) const;
};

struct TNotifySettings {
    std::vector<TNotifyChannel> Channels; // only the usable ones
    std::string Outbox = "outbox.db";
    int32_t MaxQueued = 1000;
    int32_t DailyReportMinute = 8 * 60; // minutes after local midnight
};

// programDir ends in '/': PasswordFile, TokenFile and Outbox are taken from
// there when relative. cancelled is polled between the channels.
TNotifySettings ReadNotifySettings(TCustomIniFile& ini, const std::string& programDir,
                                   std::vector<std::string>& problems,
                                   const TCancelCheck& cancelled = {});

// The queue's full name: Outbox itself when absolute, else in programDir.
std::string OutboxFileName(const TNotifySettings& settings, const std::string& programDir);
// Every password and token: never in a line, a log or a message.
std::vector<std::string> NotifySecrets(const TNotifySettings& settings);

// How messages elsewhere name the list and one channel's section.
inline constexpr std::string_view kNotifyChannelsSetting = "[Notify] Channels";
std::string ChannelSetting(const std::string& name); // "[Notify.NAME]"
inline constexpr std::string_view kDailyReportEvent = "daily-report";
// The monitor events a channel may send (Events=), in the settings' order.
inline constexpr TMonitorEventKind kChannelEvents[] = {
    TMonitorEventKind::SiteDown,       TMonitorEventKind::SiteBack,
    TMonitorEventKind::RestartsPaused, TMonitorEventKind::RuleFired,
    TMonitorEventKind::ActionStarted,  TMonitorEventKind::ActionOutcome,
    TMonitorEventKind::GuardChanged,   TMonitorEventKind::HostDown,
    TMonitorEventKind::HostUp,
};

// "HH:MM" (00:00 to 23:59) as minutes after midnight; nullopt otherwise.
std::optional<int32_t> ParseTimeOfDay(std::string_view text);

} // namespace pingvard
