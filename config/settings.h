// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's settings as one value: every section of pingvard.ini the
// program knows. The start-up load reads it (writing the historic sections
// back normalised), the host monitor runs on it and gives a copy of what it
// uses, the settings dialog edits that copy and hands it back, and OK saves
// it. Settings of a new area go into this value as a member of their own, read
// from sections of their own that the start-up load never writes.

#include "config/desktop_settings.h"
#include "config/ini_file.h"
#include "config/notify/notify_settings.h"
#include "config/observe_settings.h"
#include "config/recovery_settings.h"
#include "config/slots.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

// Bounds on what could flood a host or hang a worker: a value outside is used
// at the bound, with one line (TSettings::BoundsProblems); the file keeps
// what it says. The settings dialog refuses such a value.
inline constexpr int32_t kMinPingInterval = 100; // ms
inline constexpr int32_t kMinMaxTimeouts = 1;
inline constexpr int32_t kMaxHostTimeout = 60000; // ms; a negative one reads as the default

// What a reload (SIGHUP) leaves for the next start, as the reload line says it.
inline constexpr std::string_view kSettingsAtNextStart =
    "the script, the actions' own keys, [History], [Metrics], [Web], [Hooks] and [Notify]";

// One watched host, [Host1] to [Host4].
struct THostSettings {
    std::string Hostname;    // as written: a name or an address
    std::string DisplayName; // the row's name
    int32_t Timeout = 1000;  // ms for one echo, the lookup of a name included
    bool DoReset = true;     // takes part in the restart rule
};

struct TSettings {
    int32_t MaxTimeouts = 5;
    int32_t PingInterval = 2000;
    std::string ResetHost;
    // The challenge script, read at start; no part of the program writes it
    // back (the operator edits it in the file).
    std::vector<std::string> Challenges;
    std::vector<std::string> Answers; // index-aligned; a missing answer is empty
    std::array<THostSettings, kSlotCount> Hosts;
    // Beyond the historic file; read only so far.
    TRecoverySettings Recovery;
    TObserveSettings Observe;
    TNotifySettings Notify;                   // problems in ObserveProblems
    std::vector<std::string> ObserveProblems; // one line per invalid value
    // One line per historic number that is no number (its default is used and
    // written) or lies outside its bound (used at the bound).
    std::vector<std::string> BoundsProblems;
    TDesktopSettings Desktop; // its problems are the desktop program's to report

    // The start-up load: the historic sections in their fixed order of reads
    // and writes (config/startup_load.h), then the other sections, read only;
    // then the bounds; then the process is kept out of core dumps
    // (config/core_dumps.h).
    // A refused write throws EIniFileException and ends the load there.
    // programDir ends in '/' (GetProgramDir()). cancelled is polled on the way
    // (config/section_reader.h): true ends the load with ELoadCancelled.
    static TSettings Load(TCustomIniFile& ini, const std::string& programDir,
                          const TCancelCheck& cancelled = {});

    // The settings dialog's writes, in its order: [Constants] MaxTimeouts,
    // PingInterval; [ResetHost] Hostname; then per host Hostname as written,
    // DisplayName, Timeout, TimeoutDoReset. Each throws EIniFileException.
    void SaveConstants(TCustomIniFile& ini) const;
    void SaveResetHost(TCustomIniFile& ini) const;
    void SaveHost(TCustomIniFile& ini, int slot) const;
    void Save(TCustomIniFile& ini) const; // all of the above
};

} // namespace pingvard
