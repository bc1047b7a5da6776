// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/dialog/notify_write.h"

#include "config/dialog/secret_write.h"
#include "config/ini_text.h"

#include <algorithm>

namespace pingvard {

namespace {

// Every key a channel's section may hold, for taking a removed one out.
const char* const kChannelKeys[] = {"Kind",         "Server", "StartTls", "User",   "Password",
                                    "PasswordFile", "From",   "To",       "CaFile", "Events",
                                    "TimeLimit",    "Preset", "Url",      "Token",  "TokenFile"};

const std::string& Secret(const TNotifyChannel& c) {
    return c.Kind == TNotifyKind::Email ? c.Mail.Password : c.Webhook.Token;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ",") + item;
    }
    return text;
}

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> items;
    std::size_t from = 0;
    while (from <= list.size()) {
        const std::size_t comma = std::min(list.find(',', from), list.size());
        if (const std::string_view item = Trim(std::string_view(list).substr(from, comma - from));
            !item.empty()) {
            items.emplace_back(item);
        }
        from = comma + 1;
    }
    return items;
}

const TNotifyChannel* Find(const std::vector<TNotifyChannel>& channels, const std::string& name) {
    const auto it = std::find_if(channels.begin(), channels.end(), [&](const TNotifyChannel& c) {
        return Lower(c.Name) == Lower(name);
    });
    return it == channels.end() ? nullptr : &*it;
}

void WriteSecret(TCustomIniFile& ini, const std::string& section, const TNotifyChannel& channel,
                 const std::string& programDir) {
    const std::string key = channel.Kind == TNotifyKind::Email ? "Password" : "Token";
    const std::string file = ini.ReadText(section, key + "File", "");
    const std::string& secret = Secret(channel);
    if (!file.empty() && !secret.empty()) {
        WriteSecretFile(InDir(programDir, file), secret);
    } else if (secret.empty()) {
        // Cleared on purpose: neither the key nor a file the key names is read.
        ini.DeleteKey(section, key + "File");
        ini.DeleteKey(section, key);
    } else {
        MakePrivate(ini.FileName());
        ini.WriteText(section, key, secret);
    }
}

} // namespace

std::vector<std::pair<std::string, std::string>> ChannelKeys(const TNotifyChannel& c) {
    std::vector<std::pair<std::string, std::string>> keys;
    keys.emplace_back("Kind", std::string(NotifyKindName(c.Kind)));
    std::vector<std::string> events;
    for (const TMonitorEventKind kind : c.Events) {
        events.emplace_back(KindName(kind));
    }
    if (c.DailyReport) {
        events.emplace_back(kDailyReportEvent);
    }
    keys.emplace_back("Events", Joined(events));
    keys.emplace_back("TimeLimit", std::to_string(c.TimeLimitMs / 1000));
    if (c.Kind == TNotifyKind::Email) {
        keys.emplace_back("Server", c.Mail.Server);
        keys.emplace_back("StartTls", c.Mail.RequireStartTls ? "1" : "0");
        keys.emplace_back("User", c.Mail.User);
        keys.emplace_back("From", c.Mail.From);
        keys.emplace_back("To", Joined(c.Mail.To));
    } else {
        keys.emplace_back("Preset", std::string(PresetName(c.Webhook.Preset)));
        keys.emplace_back("Url", c.Webhook.Url);
    }
    return keys;
}

bool SameDialogChannels(const std::vector<TNotifyChannel>& a,
                        const std::vector<TNotifyChannel>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const TNotifyChannel& x, const TNotifyChannel& y) {
                          return x.Name == y.Name && ChannelKeys(x) == ChannelKeys(y) &&
                                 Secret(x) == Secret(y);
                      });
}

void SaveDialogNotifyChannels(TCustomIniFile& ini, const std::vector<TNotifyChannel>& channels,
                              const std::vector<TNotifyChannel>& previous,
                              const std::string& programDir) {
    std::vector<std::string> names;
    for (const TNotifyChannel& channel : channels) {
        names.push_back(channel.Name);
    }
    for (const std::string& name : Split(ini.ReadText("Notify", "Channels", ""))) {
        if (!Find(previous, name) && !Find(channels, name)) {
            names.push_back(name);
        }
    }
    ini.WriteText("Notify", "Channels", Joined(names));
    for (const TNotifyChannel& old : previous) {
        if (!Find(channels, old.Name)) {
            for (const char* key : kChannelKeys) {
                ini.DeleteKey("Notify." + old.Name, key);
            }
        }
    }
    for (const TNotifyChannel& channel : channels) {
        const std::string section = "Notify." + channel.Name;
        const TNotifyChannel* old = Find(previous, channel.Name);
        if (old && old->Kind != channel.Kind) {
            old = nullptr;
        }
        const auto oldKeys = old ? ChannelKeys(*old) : decltype(ChannelKeys(channel)){};
        for (const auto& key : ChannelKeys(channel)) {
            if (std::find(oldKeys.begin(), oldKeys.end(), key) == oldKeys.end()) {
                ini.WriteText(section, key.first, key.second);
            }
        }
        if (old ? Secret(*old) != Secret(channel) : !Secret(channel).empty()) {
            WriteSecret(ini, section, channel, programDir);
        }
    }
}

} // namespace pingvard
