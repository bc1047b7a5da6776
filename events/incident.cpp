// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/incident.h"

#include <array>
#include <charconv>
#include <utility>

namespace pingvard {

namespace {

constexpr std::string_view kHeader = "pingvard-incident 1";

constexpr std::array<std::pair<TSiteCause, std::string_view>, 5> kCauses{{
    {TSiteCause::Unknown, "unknown"},
    {TSiteCause::Uplink, "uplink"},
    {TSiteCause::AccessPoint, "access-point"},
    {TSiteCause::LocalLink, "local-link"},
    {TSiteCause::NameService, "name-service"},
}};

// Blanks separate the values of a line and line breaks the lines: both, the
// escape itself and every other control character become %XX.
std::string Encode(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == '%' || byte == 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out.empty() ? "%00" : out; // an empty value still takes its place
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::optional<std::string> Decode(std::string_view value) {
    if (value == "%00") {
        return std::string();
    }
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        if (i + 2 >= value.size()) {
            return std::nullopt;
        }
        const int high = HexDigit(value[i + 1]);
        const int low = HexDigit(value[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<int64_t> Number(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> fields;
    while (!line.empty()) {
        const std::size_t blank = line.find(' ');
        fields.push_back(line.substr(0, blank));
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    }
    return fields;
}

std::optional<TIncidentStep> ParseStep(const std::vector<std::string_view>& f) {
    if (f.size() != 7) {
        return std::nullopt;
    }
    TIncidentStep step;
    const auto action = Decode(f[1]), kind = Decode(f[2]), outcome = Decode(f[6]);
    const auto start = Number(f[3]), end = Number(f[4]);
    if (!action || !kind || !outcome || !start || !end || (f[5] != "0" && f[5] != "1")) {
        return std::nullopt;
    }
    return TIncidentStep{*action, *kind, *start, *end, f[5] == "1", *outcome};
}

// One line into the incident; false when it is malformed.
bool ParseLine(const std::vector<std::string_view>& f, TIncident& incident) {
    const std::string_view key = f.front();
    if (key == "step") {
        const auto step = ParseStep(f);
        if (step) {
            incident.Steps.push_back(*step);
        }
        return step.has_value();
    }
    if (f.size() != 2) {
        return key != "start" && key != "end" && key != "cause" && key != "link" && key != "host" &&
               key != "cured";
    }
    if (key == "start" || key == "end") {
        const auto ms = Number(f[1]);
        (key == "start" ? incident.StartMs : incident.EndMs) = ms.value_or(0);
        return ms.has_value();
    }
    if (key == "cause") {
        const auto cause = CauseFromName(f[1]);
        incident.Cause = cause.value_or(TSiteCause::Unknown);
        return cause.has_value();
    }
    const auto value = Decode(f[1]);
    if (!value) {
        return false;
    }
    if (key == "link") {
        incident.Link = *value;
    } else if (key == "host") {
        incident.HostsDown.push_back(*value);
    } else if (key == "cured") {
        incident.CuredBy = *value;
    }
    return true;
}

} // namespace

std::string_view SiteStateName(TSiteState state) noexcept {
    switch (state) {
    case TSiteState::Up:
        return "up";
    case TSiteState::Degraded:
        return "degraded";
    case TSiteState::Down:
        return "down";
    }
    return "up";
}

std::string_view CauseName(TSiteCause cause) noexcept {
    for (const auto& [c, name] : kCauses) {
        if (c == cause) {
            return name;
        }
    }
    return "unknown";
}

std::optional<TSiteCause> CauseFromName(std::string_view name) noexcept {
    for (const auto& [c, n] : kCauses) {
        if (n == name) {
            return c;
        }
    }
    return std::nullopt;
}

int64_t TIncident::DurationMs(int64_t nowMs) const {
    const int64_t end = Open() ? nowMs : EndMs;
    return end > StartMs ? end - StartMs : 0;
}

std::string IncidentText(const TIncident& incident) {
    std::string text(kHeader);
    text += "\nstart " + std::to_string(incident.StartMs);
    text += "\nend " + std::to_string(incident.EndMs);
    text += "\ncause " + std::string(CauseName(incident.Cause));
    text += "\nlink " + Encode(incident.Link);
    for (const std::string& host : incident.HostsDown) {
        text += "\nhost " + Encode(host);
    }
    for (const TIncidentStep& step : incident.Steps) {
        text += "\nstep " + Encode(step.Action) + " " + Encode(step.Kind) + " " +
                std::to_string(step.StartMs) + " " + std::to_string(step.EndMs) + " " +
                (step.Ok ? "1 " : "0 ") + Encode(step.Outcome);
    }
    text += "\ncured " + Encode(incident.CuredBy);
    return text + "\n";
}

std::optional<TIncident> ParseIncident(std::string_view text) {
    TIncident incident;
    bool first = true;
    bool started = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (first) {
            if (line != kHeader) {
                return std::nullopt;
            }
            first = false;
            continue;
        }
        if (line.empty()) {
            continue;
        }
        const std::vector<std::string_view> fields = Split(line);
        if (!ParseLine(fields, incident)) {
            return std::nullopt;
        }
        started = started || fields.front() == "start";
    }
    if (first || !started) {
        return std::nullopt;
    }
    return incident;
}

} // namespace pingvard
