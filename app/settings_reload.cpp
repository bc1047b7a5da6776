// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_reload.h"

#include "config/memory_ini_file.h"
#include "config/program_dir.h"
#include "net/resolve.h"

namespace pingvard {

std::vector<std::string> SettingsProblemLines(const TSettings& settings) {
    std::vector<std::string> lines = settings.BoundsProblems;
    lines.insert(lines.end(), settings.Recovery.Problems.begin(), settings.Recovery.Problems.end());
    return lines;
}

void ReloadSettings(THostMonitor& monitor, TObservers& observers, const TLineFn& line) {
    TSystemdNotifier& notifier = observers.Notifier();
    notifier.Reloading();
    TMemoryIniFile ini(ConfigFileName());
    if (!ini.Readable()) {
        line("cannot read " + ini.FileName() + " again: the settings stay as they were");
        notifier.Ready();
        return;
    }
    const TSettings loaded = TSettings::Load(ini, GetProgramDir());
    for (const std::string& problem : SettingsProblemLines(loaded)) {
        line(problem);
    }
    for (const std::string& problem : loaded.ObserveProblems) {
        line(problem);
    }
    // As at start: all at once, within the short limit of a lookup.
    std::vector<std::string> names;
    for (const THostSettings& host : loaded.Hosts) {
        names.push_back(host.Hostname);
    }
    const std::vector<std::string> resolved = ResolveToIP(names);
    std::array<std::string, kSlotCount> addresses;
    std::copy(resolved.begin(), resolved.end(), addresses.begin());
    monitor.ApplyReloaded(loaded, addresses);
    if (TEchoLiveness* liveness = observers.Liveness()) {
        liveness->SetStaleMs(TProgramObservers::WatchdogStaleMs(loaded));
    }
    line("reloaded " + ini.FileName() + "; " + std::string(kSettingsAtNextStart) +
         " take effect at the next start");
    // After the new settings are in use: the restarts they arm are theirs.
    if (monitor.ConfirmedSinceStart()) {
        line("the settings are confirmed: restarts armed");
    }
    notifier.Ready();
}

} // namespace pingvard
