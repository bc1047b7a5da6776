// SPDX-License-Identifier: GPL-3.0-or-later
// The console's challenge script: what it prints and the answers it expects.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard::apsim {

struct TScriptStep {
    std::string Before;    // console text printed just before the prompt
    std::string Challenge; // the prompt the client waits for
    std::string Answer;    // expected, without the CR LF that ends it
};

struct TScript {
    std::string Banner;
    std::vector<TScriptStep> Steps;
    std::string Rejected; // printed after a wrong answer, before the prompt again
    std::string Farewell; // printed after the last correct answer
};

TScript DefaultScript();

// Backslash escapes of the command line and the script file:
// \r \n \t \\ \= \| \xHH. Empty optional for a malformed escape.
std::optional<std::string> UnescapeText(std::string_view text);

// "CHALLENGE=ANSWER", split at the first '=' that is not escaped.
std::optional<TScriptStep> ParseStepText(std::string_view entry);

// Loads a script file (format in --help and docs/apsim.md). On failure
// returns nothing and sets error to "FILE:LINE: reason".
std::optional<TScript> LoadScriptFile(const std::string& path, std::string& error);

} // namespace pingvard::apsim
