// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/observe_settings.h"

#include "config/section_reader.h"
#include "config/web/listen_address.h"

namespace pingvard {

namespace {

constexpr int kMaxArgs = 64; // Arg1..Arg64, as for a program action

THistorySettings ReadHistory(TSettingsReader& file) {
    TSectionReader r = file.Section("History");
    THistorySettings h;
    h.Enabled = r.Flag("Enabled", h.Enabled);
    if (const auto name = r.Value("File")) {
        if (name->empty() || name->back() == '/') {
            r.Problem("File", *name, "not a file name; using " + h.File);
        } else {
            h.File = *name;
        }
    }
    h.RawHours = r.Number("RawHours", h.RawHours, 1, 8760);
    h.MinuteDays = r.Number("MinuteDays", h.MinuteDays, 1, 3650);
    h.HourYears = r.Number("HourYears", h.HourYears, 1, 100);
    return h;
}

TMetricsSettings ReadMetrics(TSettingsReader& file) {
    TSectionReader r = file.Section("Metrics");
    TMetricsSettings m;
    m.Enabled = r.Flag("Enabled", m.Enabled);
    m.Port = r.Number("Port", m.Port, 1, 65535);
    m.AllInterfaces = r.Flag("AllInterfaces", m.AllInterfaces);
    m.Address = ReadListenAddress(r, m.Address, m.AllInterfaces);
    return m;
}

// The kinds named in Events, or nullopt for the default ones.
std::optional<std::vector<TMonitorEventKind>> HookEvents(TSectionReader& r) {
    const auto events = r.Value("Events");
    if (!events) {
        return std::nullopt;
    }
    std::vector<TMonitorEventKind> kinds;
    for (const std::string& item : r.List("Events")) {
        const auto kind = KindFromName(item);
        if (!kind || *kind == TMonitorEventKind::Echo || *kind == TMonitorEventKind::StatusText) {
            r.Problem("Events", *events,
                      "\"" + item +
                          "\" is not a hook event; using host-down,host-up,rule-fired,"
                          "action-outcome");
            return std::nullopt;
        }
        kinds.push_back(*kind);
    }
    if (kinds.empty()) {
        return std::nullopt;
    }
    return kinds;
}

std::optional<THookConfig> ReadHook(TSettingsReader& file, const std::string& name) {
    TSectionReader r = file.Section("Hook." + name);
    THookConfig hook;
    hook.Name = name;
    const auto program = r.Value("Program");
    if (!program || program->empty()) {
        r.Problem("Program", program.value_or(""), "a hook needs a program; using no hook " + name);
        return std::nullopt;
    }
    hook.Program = *program;
    for (int i = 1; i <= kMaxArgs && r.Has("Arg" + std::to_string(i)); ++i) {
        hook.Args.push_back(r.Text("Arg" + std::to_string(i)));
    }
    if (auto events = HookEvents(r)) {
        hook.Events = std::move(*events);
    }
    hook.TimeLimitMs =
        r.Number("TimeLimit", hook.TimeLimitMs / 1000, kHookMinSeconds, kHookMaxSeconds) * 1000;
    return hook;
}

TNotificationSettings ReadNotifications(TSettingsReader& file) {
    TSectionReader r = file.Section("Notifications");
    TNotificationSettings notes;
    notes.RuleFired = r.Flag("RuleFired", notes.RuleFired);
    notes.ActionOutcome = r.Flag("ActionOutcome", notes.ActionOutcome);
    notes.HostDown = r.Flag("HostDown", notes.HostDown);
    notes.HostUp = r.Flag("HostUp", notes.HostUp);
    return notes;
}

} // namespace

TObserveSettings ReadObserveSettings(TCustomIniFile& ini, std::vector<std::string>& problems,
                                     const TCancelCheck& cancelled) {
    TSettingsReader file(ini.Index(), problems, cancelled);
    TObserveSettings settings;
    settings.History = ReadHistory(file);
    settings.Metrics = ReadMetrics(file);
    for (const std::string& name : file.Section("Hooks").List("Names")) {
        file.CheckCancelled();
        if (auto hook = ReadHook(file, name)) {
            settings.Hooks.push_back(std::move(*hook));
        }
    }
    settings.Notifications = ReadNotifications(file);
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
