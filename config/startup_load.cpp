// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/startup_load.h"

#include <algorithm>

namespace pingvard {

// Three public hosts that answer echo requests: a time server pool, a large
// web portal and the web server of a research and education network.
const std::array<std::string_view, kSlotCount> kDefaultHostNames = {
    "pool.ntp.org", "www.yahoo.com", "www.geant.org", "192.168.168.1"};
const std::array<std::string_view, kSlotCount> kDefaultDisplayNames = {
    "pool.ntp.org", "www.yahoo.com", "www.geant.org", "AP"};
const std::array<TScriptStep, 3> kDefaultScript = {{
    {"password:", "kelvarno"},
    {"Command>", "reset system"},
    {"(y/n)?", "y"},
}};

namespace {

const std::string kConstants = "Constants";
const std::string kResetHost = "ResetHost";

void LoadConstants(TCustomIniFile& ini, TStartupTarget& target) {
    const int32_t maxTimeouts = ini.ReadNumber(kConstants, "MaxTimeouts", kDefaultMaxTimeouts);
    target.SetMaxTimeouts(maxTimeouts);
    ini.WriteNumber(kConstants, "MaxTimeouts", maxTimeouts);

    const int32_t interval = ini.ReadNumber(kConstants, "PingInterval", kDefaultPingInterval);
    target.SetPingInterval(interval);
    ini.WriteNumber(kConstants, "PingInterval", interval);

    // An empty host stays empty: the default only stands in for an absent key.
    const std::string host = ini.ReadText(kResetHost, "Hostname", std::string{kDefaultResetHost});
    target.SetResetHost(host);
    ini.WriteText(kResetHost, "Hostname", host);
}

void LoadScript(TCustomIniFile& ini, TStartupTarget& target) {
    int32_t count = ini.ReadNumber(kResetHost, "ChallengesCount", 0);
    if (count == 0) {
        ini.WriteNumber(kResetHost, "ChallengesCount", static_cast<int32_t>(kDefaultScript.size()));
        for (size_t i = 0; i < kDefaultScript.size(); ++i) {
            const auto n = std::to_string(i + 1);
            ini.WriteText(kResetHost, "Challenge" + n, std::string{kDefaultScript[i].Challenge});
            ini.WriteText(kResetHost, "Answer" + n, std::string{kDefaultScript[i].Answer});
        }
        count = static_cast<int32_t>(kDefaultScript.size());
    }
    count = std::min(count, kMaxScriptSteps);
    for (int32_t n = 1; n <= count; ++n) { // a negative count leaves the script empty
        const auto challenge = ini.ReadText(kResetHost, "Challenge" + std::to_string(n), "");
        const auto answer = ini.ReadText(kResetHost, "Answer" + std::to_string(n), "");
        target.AddScriptStep(challenge, answer);
    }
}

void LoadSlot(TCustomIniFile& ini, TStartupTarget& target, int slot) {
    const auto section = HostSection(slot);
    std::string address = ini.ReadText(section, "Hostname", "");
    const int32_t timeout = ini.ReadNumber(section, "Timeout", kDefaultHostTimeout);
    if (address.empty())
        address = kDefaultHostNames[static_cast<size_t>(slot)];
    target.SetDisplayName(slot, target.HostLabel(slot));
    ini.WriteText(section, "Hostname", address);
    ini.WriteNumber(section, "Timeout", timeout);
    ini.WriteFlag(section, "TimeoutDoReset", target.DoReset(slot));
    target.SetSlotHost(slot, address, timeout);
}

} // namespace

std::string HostSection(int slot) {
    return "Host" + std::to_string(slot + 1);
}

void RunStartupLoad(TCustomIniFile& ini, TStartupTarget& target) {
    LoadConstants(ini, target);
    LoadScript(ini, target);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto def = std::string{kDefaultDisplayNames[static_cast<size_t>(slot)]};
        target.SetHostLabel(slot, ini.ReadText(HostSection(slot), "DisplayName", def));
    }
    for (int slot = 0; slot < kSlotCount; ++slot)
        ini.WriteText(HostSection(slot), "DisplayName", target.HostLabel(slot));
    for (int slot = 0; slot < kSlotCount; ++slot)
        target.SetDoReset(slot,
                          ini.ReadFlag(HostSection(slot), "TimeoutDoReset", DefaultDoReset(slot)));
    for (int slot = 0; slot < kSlotCount; ++slot)
        LoadSlot(ini, target, slot);
}

void RunStartupLoad(TStartupTarget& target) {
    TIniFile ini(ConfigFileName());
    RunStartupLoad(ini, target);
}

} // namespace pingvard
