// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/settings.h"

#include "config/core_dumps.h"
#include "config/startup_load.h"

#include <cstddef>

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

} // namespace

TSettings TSettings::Load(TCustomIniFile& ini, const std::string& programDir,
                          const TCancelCheck& cancelled) {
    TSettings settings;
    TSettingsTarget target(settings);
    RunStartupLoad(ini, target);
    settings.Recovery = ReadRecoverySettings(ini, programDir, cancelled);
    settings.Observe = ReadObserveSettings(ini, settings.ObserveProblems, cancelled);
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
