// SPDX-License-Identifier: GPL-3.0-or-later
// Command line of pingvard-apsim.
#pragma once

#include "tools/apsim_script.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pingvard::apsim {

struct TApsimOptions {
    std::string ListenAddress = "0.0.0.0";
    std::string Port = "23";
    TScript Script = DefaultScript();
    std::string RecordFile;
    std::string OnReset;
    int ExitAfter = 0; // sessions; 0 = run until a signal
    int MaxWrong = 3;  // consecutive wrong answers before hanging up; 0 = never
    int NegotiationWaitMs = 1000;
    int SessionLimitMs = 600000; // 0 = no limit
    bool NoOffers = false;
    int ConsoleDelayMs = 30; // from an answer's line end to the console reading it

    // Failure modes, combinable.
    bool Refuse = false;
    bool NeverPrompt = false;
    std::optional<int> StopAfter;      // answers before the console stops prompting
    std::optional<int> CloseMidScript; // answers before the console hangs up
    bool SplitBytes = false;
    int SplitPauseMs = 10;
    bool Trickle = false;
    int TrickleIntervalMs = 200;
    bool Flood = false;
    int64_t FloodBytes = 0; // 0 = no end
    bool WrongPassword = false;
    bool IacStorm = false;
    int StormRounds = 20;
    std::optional<int> ResetDuringAnswer; // 1-based answer number
    bool Burst = false;
    bool Chatter = false; // keeps printing after the last answer, never hangs up
    int ChatterIntervalMs = 100;
    bool AbortOnReset = false; // RST instead of the farewell once the reset is confirmed

    std::vector<std::string> ModeNames; // as given, for the records

    // Number of answers after which prompting stops, if it does.
    std::optional<int> StallAfter() const;
};

struct TParseOutcome {
    enum class TAction { Run, Help, Version, Error };
    TAction Action = TAction::Run;
    TApsimOptions Options;
    std::string Error;
};

TParseOutcome ParseApsimCommandLine(const std::vector<std::string>& args);
std::string ApsimUsage();

} // namespace pingvard::apsim
