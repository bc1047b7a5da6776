// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/settings.h"

#include "config/core_dumps.h"
#include "config/integer_text.h"
#include "config/section_reader.h"
#include "config/startup_load.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace pingvard {

namespace {

// The load's target: everything it fills lands in one value. The host label
// the load reads a display name back from is the host's DisplayName here.
class TSettingsTarget final : public TStartupTarget {
public:
    explicit TSettingsTarget(TSettings& settings) : m_settings(settings) {}

    void SetMaxTimeouts(int32_t value) override { m_settings.MaxTimeouts = value; }
    void SetPingInterval(int32_t value) override { m_settings.PingInterval = value; }
    void SetResetHost(const std::string& host) override { m_settings.ResetHost = host; }
    void AddScriptStep(const std::string& challenge, const std::string& answer) override {
        m_settings.Challenges.push_back(challenge);
        m_settings.Answers.push_back(answer);
    }
    void SetHostLabel(int slot, const std::string& text) override { Host(slot).DisplayName = text; }
    std::string HostLabel(int slot) const override { return Host(slot).DisplayName; }
    void SetDoReset(int slot, bool doReset) override { Host(slot).DoReset = doReset; }
    bool DoReset(int slot) const override { return Host(slot).DoReset; }
    void SetDisplayName(int slot, const std::string& name) override {
        Host(slot).DisplayName = name;
    }
    void SetSlotHost(int slot, const std::string& address, int32_t timeoutMs) override {
        Host(slot).Hostname = address;
        Host(slot).Timeout = timeoutMs;
    }

private:
    THostSettings& Host(int slot) const {
        return m_settings.Hosts.at(static_cast<std::size_t>(slot));
    }
    TSettings& m_settings;
};

// value used at [low, high], with a line when it lay outside.
void Bound(int32_t& value, int32_t low, int32_t high, const std::string& entry,
           std::vector<std::string>& problems) {
    const int32_t bounded = std::clamp(value, low, high);
    if (bounded != value) {
        problems.push_back("pingvard.ini " + entry + "=" + std::to_string(value) + ": " +
                           (value < low ? "less than " : "more than ") + std::to_string(bounded) +
                           "; using " + std::to_string(bounded));
        value = bounded;
    }
}

void BoundSettings(TSettings& settings) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    auto& problems = settings.BoundsProblems;
    Bound(settings.MaxTimeouts, kMinMaxTimeouts, kMax, "[Constants] MaxTimeouts", problems);
    Bound(settings.PingInterval, kMinPingInterval, kMax, "[Constants] PingInterval", problems);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        Bound(settings.Hosts[static_cast<std::size_t>(slot)].Timeout, kMin, kMaxHostTimeout,
              "[" + HostSection(slot) + "] Timeout", problems);
    }
}

// A historic number the file states but that is no whole number ("10x",
// "2 s") reads as its default, and the start-up load writes that default in
// its place: one line each, read before that write, so a typo is seen rather
// than silently undone.
void NoteUnreadableNumbers(TCustomIniFile& ini, std::vector<std::string>& problems) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    TSettingsReader file(ini.Index(), problems);
    TSectionReader constants = file.Section("Constants");
    constants.Number("MaxTimeouts", kDefaultMaxTimeouts, kMin, kMax);
    constants.Number("PingInterval", kDefaultPingInterval, kMin, kMax);
    TSectionReader resetHost = file.Section("ResetHost");
    if (const std::string count = resetHost.Text("ChallengesCount");
        !count.empty() && !ParseIntegerText(count)) {
        resetHost.Problem("ChallengesCount", count, "not a number; using the default script");
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        TSectionReader host = file.Section(HostSection(slot));
        host.Number("Timeout", kDefaultHostTimeout, kMin, kMax);
        host.Number("TimeoutDoReset", DefaultDoReset(slot) ? 1 : 0, kMin, kMax);
    }
}

} // namespace

TSettings TSettings::Load(TCustomIniFile& ini, const std::string& programDir,
                          const TCancelCheck& cancelled) {
    TSettings settings;
    TSettingsTarget target(settings);
    NoteUnreadableNumbers(ini, settings.BoundsProblems);
    RunStartupLoad(ini, target);
    BoundSettings(settings);
    settings.Recovery = ReadRecoverySettings(ini, programDir, cancelled);
    settings.Observe = ReadObserveSettings(ini, settings.ObserveProblems, cancelled);
    settings.Observe.Web = ReadWebSettings(ini, programDir, settings.ObserveProblems);
    settings.Notify = ReadNotifySettings(ini, programDir, settings.ObserveProblems, cancelled);
    std::vector<std::string> desktopProblems;
    settings.Desktop = ReadDesktopSettings(ini, desktopProblems);
    KeepSecretsOutOfCoreDumps();
    return settings;
}

void TSettings::SaveConstants(TCustomIniFile& ini) const {
    ini.WriteNumber("Constants", "MaxTimeouts", MaxTimeouts);
    ini.WriteNumber("Constants", "PingInterval", PingInterval);
}

void TSettings::SaveResetHost(TCustomIniFile& ini) const {
    ini.WriteText("ResetHost", "Hostname", ResetHost);
}

void TSettings::SaveHost(TCustomIniFile& ini, int slot) const {
    const THostSettings& host = Hosts.at(static_cast<std::size_t>(slot));
    const std::string section = HostSection(slot);
    ini.WriteText(section, "HostName", host.Hostname);
    ini.WriteText(section, "DisplayName", host.DisplayName);
    ini.WriteNumber(section, "Timeout", host.Timeout);
    ini.WriteFlag(section, "TimeoutDoReset", host.DoReset);
}

void TSettings::Save(TCustomIniFile& ini) const {
    SaveConstants(ini);
    SaveResetHost(ini);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        SaveHost(ini, slot);
    }
}

} // namespace pingvard
