// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/notify/notify_settings.h"

#include "config/ini_text.h"
#include "config/recovery_settings.h"

#include <algorithm>
#include <optional>

namespace pingvard {

namespace {

std::string InDir(const std::string& dir, const std::string& path) {
    return path.empty() || path.front() == '/' ? path : dir + path;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return Lower(text.substr(0, prefix.size())) == prefix;
}

// The key's secret, or the first line of file, the value of KEYFile; nullopt
// when the file is refused.
std::optional<std::string> ReadSecret(TSectionReader& r, const std::string& dir,
                                      const std::string& key, const std::string& file,
                                      const std::string& channel) {
    const std::string fileKey = key + "File";
    if (file.empty()) {
        return r.Text(key);
    }
    if (r.Has(key)) {
        r.Note("has both " + key + " and " + fileKey + "; using " + fileKey);
    }
    TSecretFile secret = ReadSecretFile(InDir(dir, file));
    if (!secret.Problem.empty()) {
        r.Problem(fileKey, file, secret.Problem + "; using no channel " + channel);
        return std::nullopt;
    }
    return secret.Secret;
}

bool ReadEvents(TSectionReader& r, TNotifyChannel& c) {
    const auto events = r.Value("Events");
    if (!events || events->empty()) {
        return true;
    }
    std::vector<TMonitorEventKind> kinds;
    bool daily = false;
    for (const std::string& item : r.List("Events")) {
        if (Lower(item) == kDailyReportEvent) {
            daily = true;
            continue;
        }
        const auto kind = KindFromName(item);
        if (!kind || std::find(std::begin(kChannelEvents), std::end(kChannelEvents), *kind) ==
                         std::end(kChannelEvents)) {
            r.Problem("Events", *events,
                      "\"" + item +
                          "\" is not an event a channel sends; using site-down,"
                          "site-back,restarts-paused");
            return true;
        }
        kinds.push_back(*kind);
    }
    // Events=daily-report alone is a channel for the report and nothing else.
    if (!kinds.empty() || daily) {
        c.Events = std::move(kinds);
    }
    c.DailyReport = daily;
    return true;
}

bool ReadMail(TSectionReader& r, const std::string& dir, TNotifyChannel& c) {
    TMailChannel& m = c.Mail;
    m.Server = r.Text("Server");
    if (!StartsWith(m.Server, "smtp://") && !StartsWith(m.Server, "smtps://")) {
        r.Problem("Server", m.Server,
                  "not an smtp:// or smtps:// address; using no channel " + c.Name);
        return false;
    }
    m.RequireStartTls = r.Flag("StartTls", m.RequireStartTls);
    if (m.RequireStartTls && StartsWith(m.Server, "smtps://")) {
        r.Note("StartTls: smtps:// is TLS from the start; STARTTLS is not asked for");
        m.RequireStartTls = false;
    }
    m.User = r.Text("User");
    const auto password = ReadSecret(r, dir, "Password", r.Text("PasswordFile"), c.Name);
    if (!password) {
        return false;
    }
    m.Password = *password;
    if (!m.Password.empty() && m.User.empty()) {
        r.Note("has a Password but no User; logging in with an empty user name");
    }
    m.From = r.Text("From");
    if (m.From.find('@') == std::string::npos) {
        r.Problem("From", m.From, "not a mail address; using no channel " + c.Name);
        return false;
    }
    for (const std::string& to : r.List("To")) {
        if (to.find('@') == std::string::npos) {
            r.Problem("To", r.Text("To"),
                      "\"" + to + "\" is not a mail address; using no channel " + c.Name);
            return false;
        }
        m.To.push_back(to);
    }
    if (m.To.empty()) {
        r.Problem("To", "", "a mail channel needs an address; using no channel " + c.Name);
        return false;
    }
    return true;
}

bool ReadWebhook(TSectionReader& r, const std::string& dir, TNotifyChannel& c) {
    TWebhookChannel& w = c.Webhook;
    w.Preset = static_cast<TWebhookPreset>(
        r.Choice("Preset", {"ntfy", "gotify", "slack", "json"}, static_cast<int>(w.Preset)));
    w.Url = r.Text("Url");
    if (!StartsWith(w.Url, "http://") && !StartsWith(w.Url, "https://")) {
        r.Problem("Url", w.Url, "not an http:// or https:// address; using no channel " + c.Name);
        return false;
    }
    const auto token = ReadSecret(r, dir, "Token", r.Text("TokenFile"), c.Name);
    if (!token) {
        return false;
    }
    w.Token = *token;
    if (w.Preset == TWebhookPreset::Gotify && w.Token.empty()) {
        r.Note("Preset=gotify needs the application's Token; using no channel " + c.Name);
        return false;
    }
    return true;
}

std::optional<TNotifyChannel> ReadChannel(TSettingsReader& file, const std::string& name,
                                          const std::string& dir) {
    TSectionReader r = file.Section("Notify." + name);
    TNotifyChannel c;
    c.Name = name;
    const auto kind = r.Value("Kind");
    const std::string lower = Lower(Trim(kind.value_or("")));
    if (lower == "email" || lower == "mail") {
        c.Kind = TNotifyKind::Email;
    } else if (lower == "webhook") {
        c.Kind = TNotifyKind::Webhook;
    } else {
        r.Problem("Kind", kind.value_or(""), "not email or webhook; using no channel " + name);
        return std::nullopt;
    }
    ReadEvents(r, c);
    c.TimeLimitMs = r.Number("TimeLimit", c.TimeLimitMs / 1000, 1, 300) * 1000;
    c.CaFile = InDir(dir, r.Text("CaFile"));
    const bool usable = c.Kind == TNotifyKind::Email ? ReadMail(r, dir, c) : ReadWebhook(r, dir, c);
    return usable ? std::optional(std::move(c)) : std::nullopt;
}

} // namespace

std::string_view NotifyKindName(TNotifyKind kind) noexcept {
    return kind == TNotifyKind::Email ? "email" : "webhook";
}

std::string_view PresetName(TWebhookPreset preset) noexcept {
    switch (preset) {
    case TWebhookPreset::Ntfy:
        return "ntfy";
    case TWebhookPreset::Gotify:
        return "gotify";
    case TWebhookPreset::Slack:
        return "slack";
    case TWebhookPreset::Json:
        break;
    }
    return "json";
}

bool TNotifyChannel::Wants(TMonitorEventKind kind) const {
    return std::find(Events.begin(), Events.end(), kind) != Events.end();
}

TNotifySettings ReadNotifySettings(TCustomIniFile& ini, const std::string& programDir,
                                   std::vector<std::string>& problems,
                                   const TCancelCheck& cancelled) {
    TSettingsReader file(ini.Index(), problems, cancelled);
    TSectionReader notify = file.Section("Notify");
    TNotifySettings settings;
    if (const auto outbox = notify.Value("Outbox")) {
        if (outbox->empty() || outbox->back() == '/') {
            notify.Problem("Outbox", *outbox, "not a file name; using " + settings.Outbox);
        } else {
            settings.Outbox = *outbox;
        }
    }
    settings.MaxQueued = notify.Number("MaxQueued", settings.MaxQueued, 10, 100000);
    if (const auto daily = notify.Value("DailyReport"); daily && !Trim(*daily).empty()) {
        if (const auto minute = ParseTimeOfDay(*daily)) {
            settings.DailyReportMinute = *minute;
        } else {
            notify.Problem("DailyReport", *daily, "not a time of day HH:MM; using 08:00");
        }
    }
    for (const std::string& name : notify.List("Channels")) {
        file.CheckCancelled();
        if (auto channel = ReadChannel(file, name, programDir)) {
            settings.Channels.push_back(std::move(*channel));
        }
    }
    return settings;
}

std::string OutboxFileName(const TNotifySettings& settings, const std::string& programDir) {
    return InDir(programDir, settings.Outbox);
}

std::vector<std::string> NotifySecrets(const TNotifySettings& settings) {
    std::vector<std::string> secrets;
    for (const TNotifyChannel& c : settings.Channels) {
        for (const std::string* secret : {&c.Mail.Password, &c.Webhook.Token}) {
            if (!secret->empty()) {
                secrets.push_back(*secret);
            }
        }
    }
    return secrets;
}

std::optional<int32_t> ParseTimeOfDay(std::string_view text) {
    text = Trim(text);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3) {
        return std::nullopt;
    }
    int32_t hours = 0;
    int32_t minutes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == colon) {
            continue;
        }
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        int32_t& part = i < colon ? hours : minutes;
        part = part * 10 + (text[i] - '0');
    }
    if (hours > 23 || minutes > 59) {
        return std::nullopt;
    }
    return hours * 60 + minutes;
}

std::string ChannelSetting(const std::string& name) {
    return "[Notify." + name + "]";
}

} // namespace pingvard
