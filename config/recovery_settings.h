// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The recovery settings beyond the historic file, read from their own
// sections and never written by the start-up load (an absent section means
// the telnet session alone, every marked host, and the guard's safe defaults
// in config/guard_config.h):
//
//   [Recovery]  Actions=telnet,router,plug  Quorum=0
//   [Guard]     HoldOff=180  MaxRounds=6  Window=86400  BackOff=1
//   [Action.NAME]  Kind=telnet|ssh|http|program  TimeLimit=  Verify=  and the kind's keys
//
// Every invalid value gives one line in Problems and its default. Times are
// in seconds in the file.

#include "config/guard_config.h"
#include "config/ini_file.h"
#include "config/section_reader.h"
#include "recovery/action_kinds.h"

#include <string>
#include <vector>

namespace pingvard {

struct TRecoverySettings {
    std::vector<TActionConfig> Actions; // the escalation's order; never empty
    int32_t Quorum = 0;                 // marked hosts that must have failed; 0 = all
    TGuardConfig Guard;
    std::vector<std::string> Problems; // one line per invalid value
};

// How messages elsewhere name the list of the actions.
inline constexpr std::string_view kActionsSetting = "[Recovery] Actions";

// programDir ends with '/': relative file names (PasswordFile, KeyFile,
// KnownHosts, CaFile) are taken from there, and known_hosts is its default.
// cancelled is polled between the actions (config/section_reader.h).
TRecoverySettings ReadRecoverySettings(TCustomIniFile& ini, const std::string& programDir,
                                       const TCancelCheck& cancelled = {});

// The ranges the reader accepts, for the dialog's checks.
inline constexpr int32_t kRecoveryMaxSeconds = 7 * 86400;
inline constexpr int32_t kRecoveryMaxRounds = 1000;

// A new action of that kind with the defaults the reader gives an empty
// section (times, known_hosts in programDir), so that it runs as it will
// once written and read again.
TActionConfig NewActionConfig(TActionKind kind, const std::string& programDir);

// The verify times of the escalation, in milliseconds.
std::vector<uint32_t> VerifyTimes(const TRecoverySettings& settings);

// A secret read from a file of its own: the first line, refused (Problem set)
// when the file is missing, not a regular file, or group or others may use it.
struct TSecretFile {
    std::string Secret;
    std::string Problem;
};
TSecretFile ReadSecretFile(const std::string& path);
// The same permission check for a file used as it is (a private key).
std::string PrivateFileProblem(const std::string& path, const char* what);

} // namespace pingvard
