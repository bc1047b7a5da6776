// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

// What the command line asks for. Without --headless the desktop program runs
// when it is built in and a display is available.
struct TCommandLine {
    bool Help = false;
    bool Version = false;
    bool Headless = false;
    bool Debug = false; // --debug: the monitor's details on stderr (headless)
    // -C/--directory arguments in order; each is entered relative to the one
    // before, as with git -C and make -C.
    std::vector<std::string> Directories;
    // --lang: "cs" or "en" for the desktop program, empty when not given.
    std::string Language;
    std::string TestAction; // --test-action NAME: run that recovery action once
    std::string TestNotify; // --test-notify NAME: send one test message through that channel
    bool Arm = false;       // --arm: confirm the settings of a first start, and exit
    // --history [HOST] [--since SPAN] [--csv]: print the history and exit.
    bool History = false;
    std::string HistoryHost; // empty = every host
    // --incidents [--since SPAN] [--csv]: list the incidents and the uptime, and exit.
    bool Incidents = false;
    std::string Since; // --since as given; empty = the command's default span
    bool Csv = false;
};

struct TCommandLineResult {
    TCommandLine Options;
    std::string Error; // empty when the command line is valid; else one line, no program name
};

// args excludes the program name.
TCommandLineResult ParseCommandLine(const std::vector<std::string_view>& args);
TCommandLineResult ParseCommandLine(int argc, const char* const* argv);

std::string UsageText(bool desktopBuiltIn);
// pingvard-desktop's own usage: it takes no --headless.
std::string DesktopUsageText();
// "PROGRAM VERSION" and a newline.
std::string VersionText(std::string_view program = "pingvard");

// Enters each directory in turn; on failure returns the error line (no program name).
std::string ChangeDirectories(const std::vector<std::string>& directories);

} // namespace pingvard
