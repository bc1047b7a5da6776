// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_script.h"

#include <fstream>

namespace pingvard::apsim {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Index of the first unescaped '=' or npos.
std::size_t FindSeparator(std::string_view entry) {
    for (std::size_t i = 0; i < entry.size(); ++i) {
        if (entry[i] == '\\') {
            ++i;
        } else if (entry[i] == '=') {
            return i;
        }
    }
    return std::string_view::npos;
}

} // namespace

TScript DefaultScript() {
    TScript script;
    script.Banner = "\r\nWireless Access Point\r\nManagement console\r\n\r\n";
    script.Steps = {
        {"Enter ", "password:", "kelvarno"},
        {"\r\nLogin OK\r\n\r\n", "Command>", "reset system"},
        {"\r\nRestart the access point now ", "(y/n)?", "y"},
    };
    script.Rejected = "\r\nInvalid response\r\n";
    script.Farewell = "\r\nSystem is restarting...\r\n";
    return script;
}

std::optional<std::string> UnescapeText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
        case '=':
        case '|':
            out += text[i];
            break;
        case 'x': {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::optional<TScriptStep> ParseStepText(std::string_view entry) {
    const std::size_t sep = FindSeparator(entry);
    if (sep == std::string_view::npos) {
        return std::nullopt;
    }
    auto challenge = UnescapeText(entry.substr(0, sep));
    auto answer = UnescapeText(entry.substr(sep + 1));
    if (!challenge || !answer) {
        return std::nullopt;
    }
    return TScriptStep{{}, std::move(*challenge), std::move(*answer)};
}

std::optional<TScript> LoadScriptFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open";
        return std::nullopt;
    }
    TScript script = DefaultScript();
    script.Steps.clear();
    std::string pendingBefore;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string_view rest = space == std::string::npos
                                          ? std::string_view{}
                                          : std::string_view(line).substr(space + 1);
        const auto fail = [&](const char* why) {
            error = path + ":" + std::to_string(number) + ": " + why;
            return std::nullopt;
        };
        if (key == "step") {
            auto step = ParseStepText(rest);
            if (!step) {
                return fail("expected: step CHALLENGE=ANSWER");
            }
            step->Before = std::move(pendingBefore);
            pendingBefore.clear();
            script.Steps.push_back(std::move(*step));
            continue;
        }
        auto text = UnescapeText(rest);
        if (!text) {
            return fail("malformed backslash escape");
        }
        if (key == "banner") {
            script.Banner = *text;
        } else if (key == "before") {
            pendingBefore = *text;
        } else if (key == "rejected") {
            script.Rejected = *text;
        } else if (key == "farewell") {
            script.Farewell = *text;
        } else {
            return fail("unknown keyword (banner, before, step, rejected, farewell)");
        }
    }
    return script;
}

} // namespace pingvard::apsim
