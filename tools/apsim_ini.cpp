// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_ini.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>

namespace pingvard::apsim {
namespace {

constexpr std::size_t kMaxValue = 2047; // what one profile read returns at most
constexpr int32_t kMaxSteps = 10000;

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The profile reader drops one pair of matching quotes around a value.
std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kMaxValue));
}

} // namespace

std::optional<int32_t> ParseIniInteger(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    if (text.size() > 2 && (text.starts_with("0x") || text.starts_with("0X"))) {
        text.remove_prefix(1);
    }
    const bool hex = !text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X');
    if (hex) {
        text.remove_prefix(1);
        uint32_t value = 0;
        const auto* end = text.data() + text.size();
        const auto result = std::from_chars(text.data(), end, value, 16);
        if (text.empty() || result.ec != std::errc{} || result.ptr != end) {
            return std::nullopt;
        }
        return static_cast<int32_t>(value);
    }
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    int32_t value = 0;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value, 10);
    if (text.empty() || result.ec != std::errc{} || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<TScriptStep>> LoadIniScript(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open";
        return std::nullopt;
    }
    std::map<std::string, std::string> entries; // lower-case key -> value, [ResetHost] only
    std::string section;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string_view trimmed = Trim(line);
        if (trimmed.starts_with('[')) {
            const auto close = trimmed.find(']');
            section = Lower(Trim(trimmed.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            continue;
        }
        const auto eq = trimmed.find('=');
        if (section == "resethost" && eq != std::string_view::npos) {
            entries.try_emplace(Lower(Trim(trimmed.substr(0, eq))),
                                Unquote(Trim(trimmed.substr(eq + 1))));
        }
    }
    const auto read = [&entries](const std::string& key) {
        const auto it = entries.find(key);
        return it == entries.end() ? std::string() : it->second;
    };
    const int32_t count = ParseIniInteger(read("challengescount")).value_or(0);
    if (count == 0) {
        return DefaultScript().Steps;
    }
    if (count > kMaxSteps) {
        error = path + ": ChallengesCount " + std::to_string(count) + " is more than the " +
                std::to_string(kMaxSteps) + " steps the simulator plays";
        return std::nullopt;
    }
    std::vector<TScriptStep> steps;
    for (int32_t n = 1; n <= count; ++n) {
        steps.push_back(
            {{}, read("challenge" + std::to_string(n)), read("answer" + std::to_string(n))});
    }
    return steps;
}

} // namespace pingvard::apsim
