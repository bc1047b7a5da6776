// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Settings of history, metrics, hooks and desktop notifications: new sections
// of pingvard.ini, read as plain values. An absent section or key takes its
// default; an invalid value gives one line in `problems` and its default.
// Reading never writes: the start-up load leaves a file without these
// sections exactly as it was.
//
//   [History]
//   Enabled=1              ; 0 = keep no history
//   File=history.db        ; in the program directory, or an absolute path
//   RawHours=48            ; single echoes        (1 to 8760)
//   MinuteDays=90          ; one-minute figures   (1 to 3650)
//   HourYears=5            ; one-hour figures and recovery events (1 to 100)
//   [Metrics]
//   Enabled=0              ; opt-in: 1 serves /metrics
//   Address=127.0.0.1      ; a numeric IPv4 or IPv6 address
//   Port=9770
//   AllInterfaces=0        ; must be 1 for Address=0.0.0.0 or ::
//   [Hooks]
//   Names=pager,log        ; [Hook.NAME] sections, run in this order
//   [Hook.pager]
//   Program=/usr/local/bin/page-me   ; required; never run through a shell
//   Arg1=--site                      ; one argument per key, Arg1, Arg2, ... until one is absent
//   Events=host-down,host-up,rule-fired,action-outcome   ; also action-started, guard-changed
//   TimeLimit=10                     ; seconds (1 to 3600)
//   [Notifications]        ; desktop notifications, one switch per kind
//   RuleFired=1
//   ActionOutcome=1
//   HostDown=0
//   HostUp=0

#include "config/hook_config.h"
#include "config/ini_file.h"
#include "config/section_reader.h"
#include "config/web/web_settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pingvard {

struct THistorySettings {
    bool Enabled = true;
    std::string File = "history.db";
    int32_t RawHours = 48;
    int32_t MinuteDays = 90;
    int32_t HourYears = 5;
};

struct TMetricsSettings {
    bool Enabled = false;
    std::string Address = "127.0.0.1";
    int32_t Port = 9770;
    bool AllInterfaces = false;
};

struct TNotificationSettings {
    bool RuleFired = true;
    bool ActionOutcome = true;
    bool HostDown = false;
    bool HostUp = false;
};

struct TObserveSettings {
    THistorySettings History;
    TMetricsSettings Metrics;
    std::vector<THookConfig> Hooks;
    TNotificationSettings Notifications;
    TWebSettings Web; // read by TSettings::Load, which knows the program directory
};

// cancelled is polled between the hooks (config/section_reader.h).
TObserveSettings ReadObserveSettings(TCustomIniFile& ini, std::vector<std::string>& problems,
                                     const TCancelCheck& cancelled = {});

// For the settings dialog; throw EIniFileException like every configuration write.
void WriteHistorySettings(TCustomIniFile& ini, const THistorySettings& settings);
void WriteMetricsSettings(TCustomIniFile& ini, const TMetricsSettings& settings);
void WriteNotificationSettings(TCustomIniFile& ini, const TNotificationSettings& settings);

// The database's full name: File itself when absolute, else in programDir
// (which ends in a separator, as GetProgramDir() gives it).
std::string HistoryFileName(const THistorySettings& settings, const std::string& programDir);

} // namespace pingvard
