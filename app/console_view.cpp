// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/console_view.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>

namespace pingvard {
namespace {

constexpr std::string_view kTitle = "Orvane AP Pingvard";
constexpr size_t kMinNameWidth = 8; // "Hostname"
constexpr size_t kPingWidth = 8, kAverageWidth = 9, kLossWidth = 6;
constexpr int kFallbackColumns = 80;

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Width in terminal columns, counting each UTF-8 sequence once.
size_t Width(std::string_view text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

// The longest prefix that is at most width columns, never splitting a sequence.
std::string_view Fit(std::string_view text, size_t width) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuationByte(text[i]) && seen++ == width)
            return text.substr(0, i);
    }
    return text;
}

std::string PadRight(std::string_view text, size_t width) {
    std::string result(Fit(text, width));
    result.append(width - Width(result), ' ');
    return result;
}

std::string PadLeft(std::string_view text, size_t width) {
    const std::string_view fitted = Fit(text, width - 1); // keep one blank as the separator
    return std::string(width - Width(fitted), ' ') + std::string(fitted);
}

size_t NameWidth(const TConsoleState& state, size_t columns) {
    size_t widest = kMinNameWidth;
    for (const auto& row : state.Rows)
        widest = std::max(widest, Width(Printable(row.Name)));
    const size_t figures = kPingWidth + kAverageWidth + kLossWidth;
    const size_t room = columns > figures + kMinNameWidth ? columns - figures : kMinNameWidth;
    return std::min(widest, room);
}

std::string RowLine(std::string_view name, std::string_view ping, std::string_view average,
                    std::string_view loss, size_t nameWidth) {
    return PadRight(name, nameWidth) + PadLeft(ping, kPingWidth) + PadLeft(average, kAverageWidth) +
           PadLeft(loss, kLossWidth);
}

} // namespace

std::string TrayStateText(int index) {
    switch (index) {
    case 0:
        return "normal";
    case 1:
        return "restart under way";
    case 2:
        return "restart failed";
    case 3:
        return "site down";
    default:
        return std::to_string(index);
    }
}

std::string Printable(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return result;
}

std::vector<std::string> TerminalFrame(const TConsoleState& state, int columns) {
    const size_t usable = static_cast<size_t>(columns > 1 ? columns : kFallbackColumns) - 1;
    const size_t nameWidth = NameWidth(state, usable);
    std::vector<std::string> lines;
    lines.emplace_back(kTitle);
    lines.push_back(RowLine("Hostname", "Ping", "Average", "PL", nameWidth));
    for (const auto& row : state.Rows) {
        lines.push_back(RowLine(Printable(row.Name), Printable(row.Ping), Printable(row.Average),
                                Printable(row.Loss), nameWidth));
    }
    lines.push_back("Status: " + Printable(state.Status));
    lines.push_back("Tray: " + TrayStateText(state.TrayIndex));
    if (!state.Site.empty()) {
        lines.push_back("Site: " + Printable(state.Site));
    }
    for (auto& line : lines) {
        line = std::string(Fit(line, usable));
        line.erase(line.find_last_not_of(' ') + 1);
    }
    return lines;
}

std::vector<std::string> ChangeLines(const TConsoleState& before, const TConsoleState& after,
                                     std::string_view timestamp) {
    std::vector<std::string> lines;
    const std::string prefix = std::string(timestamp) + " ";
    for (size_t slot = 0; slot < after.Rows.size(); ++slot) {
        const auto& row = after.Rows[slot];
        if (row == before.Rows[slot])
            continue;
        lines.push_back(prefix + "host " + std::to_string(slot + 1) +
                        " ping=" + Printable(row.Ping) + " average=" + Printable(row.Average) +
                        " pl=" + Printable(row.Loss) + " name=" + Printable(row.Name));
    }
    if (after.Status != before.Status)
        lines.push_back(prefix + "status " + Printable(after.Status));
    if (after.TrayIndex != before.TrayIndex) {
        lines.push_back(prefix + "tray " + std::to_string(after.TrayIndex) + " " +
                        TrayStateText(after.TrayIndex));
    }
    if (after.Site != before.Site) {
        lines.push_back(prefix + "site " + Printable(after.Site));
    }
    return lines;
}

std::string LineTimestamp(const std::tm& local, int millis, std::string_view numericZone) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  millis);
    std::string result = text;
    if (numericZone.size() == 5) { // "+hhmm" -> "+hh:mm"
        result.append(numericZone.substr(0, 3)).append(":").append(numericZone.substr(3));
    } else {
        result.append(numericZone);
    }
    return result;
}

std::string CurrentLineTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char zone[16] = "";
    std::strftime(zone, sizeof zone, "%z", &local);
    return LineTimestamp(local, static_cast<int>(millis), zone);
}

TConsoleWriter::TConsoleWriter(std::ostream& out, TConsoleMode mode, std::function<int()> columns,
                               std::function<std::string()> timestamp)
    : m_out(out), m_mode(mode), m_columns(std::move(columns)), m_timestamp(std::move(timestamp)) {}

void TConsoleWriter::Show(const TConsoleState& state) {
    if (m_drawn && state == m_shown)
        return;
    if (m_mode == TConsoleMode::Terminal) {
        DrawFrame(state);
    } else {
        for (const auto& line : ChangeLines(m_shown, state, m_timestamp()))
            m_out << line << '\n';
    }
    m_out.flush();
    m_shown = state;
    m_drawn = true;
}

void TConsoleWriter::Interrupt() {
    m_frameLines = 0;
    m_drawn = false;
}

void TConsoleWriter::DrawFrame(const TConsoleState& state) {
    const auto lines = TerminalFrame(state, m_columns());
    if (m_frameLines > 0)
        m_out << "\x1b[" << m_frameLines << 'A'; // back to the frame's first line
    for (const auto& line : lines)
        m_out << '\r' << line << "\x1b[K\n";
    m_frameLines = lines.size();
}

} // namespace pingvard
