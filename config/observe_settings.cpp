// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/observe_settings.h"

#include "config/integer_text.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace pingvard {

namespace {

// Never a value of the file: lines end at a line break.
const std::string kAbsent = "\n";

class TReader {
public:
    TReader(TCustomIniFile& ini, std::vector<std::string>& problems)
        : m_ini(ini), m_problems(problems) {}

    // The text, or nullopt when the key is absent.
    std::optional<std::string> Text(const std::string& section, const std::string& key) {
        std::string value = m_ini.ReadText(section, key, kAbsent);
        if (value == kAbsent) {
            return std::nullopt;
        }
        return value;
    }

    int32_t Number(const std::string& section, const std::string& key, int32_t def, int32_t min,
                   int32_t max) {
        const std::optional<std::string> text = Text(section, key);
        if (!text) {
            return def;
        }
        const std::optional<int32_t> value = ParseIntegerText(*text);
        if (!value || *value < min || *value > max) {
            Problem(section, key, *text,
                    "not a number from " + std::to_string(min) + " to " + std::to_string(max),
                    std::to_string(def));
            return def;
        }
        return *value;
    }

    bool Flag(const std::string& section, const std::string& key, bool def) {
        const std::optional<std::string> text = Text(section, key);
        if (!text) {
            return def;
        }
        const std::optional<int32_t> value = ParseIntegerText(*text);
        if (!value) {
            Problem(section, key, *text, "not 0 or 1", def ? "1" : "0");
            return def;
        }
        return *value != 0;
    }

    void Problem(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& why, const std::string& instead) {
        m_problems.push_back("pingvard.ini: [" + section + "] " + key + "=" + value + ": " + why +
                             "; using " + (instead.empty() ? "none" : instead));
    }

private:
    TCustomIniFile& m_ini;
    std::vector<std::string>& m_problems;
};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string item = text.substr(start, end - start);
        const auto first = item.find_first_not_of(" \t");
        const auto last = item.find_last_not_of(" \t");
        if (first != std::string::npos) {
            items.push_back(item.substr(first, last - first + 1));
        }
        start = end + 1;
    }
    return items;
}

bool AnyAddress(const std::string& address) {
    in6_addr v6{};
    in_addr v4{};
    return (::inet_pton(AF_INET, address.c_str(), &v4) == 1 && v4.s_addr == htonl(INADDR_ANY)) ||
           (::inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_UNSPECIFIED(&v6));
}

bool NumericAddress(const std::string& address) {
    in6_addr v6{};
    in_addr v4{};
    return ::inet_pton(AF_INET, address.c_str(), &v4) == 1 ||
           ::inet_pton(AF_INET6, address.c_str(), &v6) == 1;
}

THistorySettings ReadHistory(TReader& r) {
    const std::string s = "History";
    THistorySettings h;
    h.Enabled = r.Flag(s, "Enabled", h.Enabled);
    if (const auto file = r.Text(s, "File")) {
        if (file->empty() || file->back() == '/') {
            r.Problem(s, "File", *file, "not a file name", h.File);
        } else {
            h.File = *file;
        }
    }
    h.RawHours = r.Number(s, "RawHours", h.RawHours, 1, 8760);
    h.MinuteDays = r.Number(s, "MinuteDays", h.MinuteDays, 1, 3650);
    h.HourYears = r.Number(s, "HourYears", h.HourYears, 1, 100);
    return h;
}

TMetricsSettings ReadMetrics(TReader& r) {
    const std::string s = "Metrics";
    TMetricsSettings m;
    m.Enabled = r.Flag(s, "Enabled", m.Enabled);
    m.Port = r.Number(s, "Port", m.Port, 1, 65535);
    m.AllInterfaces = r.Flag(s, "AllInterfaces", m.AllInterfaces);
    if (const auto address = r.Text(s, "Address")) {
        if (!NumericAddress(*address)) {
            r.Problem(s, "Address", *address, "not a numeric IPv4 or IPv6 address", m.Address);
        } else if (AnyAddress(*address) && !m.AllInterfaces) {
            r.Problem(s, "Address", *address, "every interface needs AllInterfaces=1", m.Address);
        } else {
            m.Address = *address;
        }
    } else if (m.AllInterfaces) {
        m.Address = "0.0.0.0"; // the explicit wish without an address: every interface
    }
    return m;
}

std::optional<THookConfig> ReadHook(TReader& r, const std::string& name) {
    const std::string s = "Hook." + name;
    THookConfig hook;
    hook.Name = name;
    const auto program = r.Text(s, "Program");
    if (!program || program->empty()) {
        r.Problem(s, "Program", program.value_or(""), "a hook needs a program", "no hook " + name);
        return std::nullopt;
    }
    hook.Program = *program;
    for (int i = 1;; ++i) {
        const auto arg = r.Text(s, "Arg" + std::to_string(i));
        if (!arg) {
            break;
        }
        hook.Args.push_back(*arg);
    }
    if (const auto events = r.Text(s, "Events")) {
        std::vector<TMonitorEventKind> kinds;
        for (const std::string& item : SplitList(*events)) {
            const auto kind = KindFromName(item);
            if (!kind || *kind == TMonitorEventKind::Echo ||
                *kind == TMonitorEventKind::StatusText) {
                r.Problem(s, "Events", *events, "\"" + item + "\" is not a hook event",
                          "host-down,host-up,rule-fired,action-outcome");
                kinds.clear();
                break;
            }
            kinds.push_back(*kind);
        }
        if (!kinds.empty()) {
            hook.Events = kinds;
        }
    }
    hook.TimeLimitMs = r.Number(s, "TimeLimit", hook.TimeLimitMs / 1000, 1, 3600) * 1000;
    return hook;
}

} // namespace

TObserveSettings ReadObserveSettings(TCustomIniFile& ini, std::vector<std::string>& problems) {
    TReader r(ini, problems);
    TObserveSettings settings;
    settings.History = ReadHistory(r);
    settings.Metrics = ReadMetrics(r);
    if (const auto names = r.Text("Hooks", "Names")) {
        for (const std::string& name : SplitList(*names)) {
            if (auto hook = ReadHook(r, name)) {
                settings.Hooks.push_back(std::move(*hook));
            }
        }
    }
    const std::string n = "Notifications";
    TNotificationSettings& notes = settings.Notifications;
    notes.RuleFired = r.Flag(n, "RuleFired", notes.RuleFired);
    notes.ActionOutcome = r.Flag(n, "ActionOutcome", notes.ActionOutcome);
    notes.HostDown = r.Flag(n, "HostDown", notes.HostDown);
    notes.HostUp = r.Flag(n, "HostUp", notes.HostUp);
    return settings;
}

void WriteHistorySettings(TCustomIniFile& ini, const THistorySettings& h) {
    ini.WriteFlag("History", "Enabled", h.Enabled);
    ini.WriteText("History", "File", h.File);
    ini.WriteNumber("History", "RawHours", h.RawHours);
    ini.WriteNumber("History", "MinuteDays", h.MinuteDays);
    ini.WriteNumber("History", "HourYears", h.HourYears);
}

void WriteMetricsSettings(TCustomIniFile& ini, const TMetricsSettings& m) {
    ini.WriteFlag("Metrics", "Enabled", m.Enabled);
    ini.WriteText("Metrics", "Address", m.Address);
    ini.WriteNumber("Metrics", "Port", m.Port);
    ini.WriteFlag("Metrics", "AllInterfaces", m.AllInterfaces);
}

void WriteNotificationSettings(TCustomIniFile& ini, const TNotificationSettings& n) {
    ini.WriteFlag("Notifications", "RuleFired", n.RuleFired);
    ini.WriteFlag("Notifications", "ActionOutcome", n.ActionOutcome);
    ini.WriteFlag("Notifications", "HostDown", n.HostDown);
    ini.WriteFlag("Notifications", "HostUp", n.HostUp);
}

std::string HistoryFileName(const THistorySettings& settings, const std::string& programDir) {
    if (!settings.File.empty() && settings.File.front() == '/') {
        return settings.File;
    }
    return programDir + settings.File;
}

} // namespace pingvard
