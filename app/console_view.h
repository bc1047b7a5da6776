// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/slots.h"

#include <array>
#include <ctime>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

// What the console shows: the main window's four rows, its status bar, the
// tray state and the site's state (rounds/site_text.h, SiteLine).
struct TConsoleRow {
    std::string Name, Ping, Average, Loss;
    bool operator==(const TConsoleRow&) const = default;
};

struct TConsoleState {
    std::array<TConsoleRow, kSlotCount> Rows;
    std::string Status;
    int TrayIndex = 0;
    std::string Site; // empty before the first report
    bool operator==(const TConsoleState&) const = default;
};

// "normal", "restart under way", "restart failed", "site down"; other
// indices as digits.
std::string TrayStateText(int index);

// Control characters become '?', so configured names cannot move the cursor
// or end a line early.
std::string Printable(std::string_view text);

// The in-place display, one string per screen line, none wider than
// columns - 1 characters (the last column would make some terminals wrap).
std::vector<std::string> TerminalFrame(const TConsoleState& state, int columns);

// One line per row, status, tray state or site state that differs between
// before and after.
std::vector<std::string> ChangeLines(const TConsoleState& before, const TConsoleState& after,
                                     std::string_view timestamp);

// "2026-12-08T03:15:00.123+01:00" from a local time, its milliseconds and
// strftime's "%z" text ("+0100").
std::string LineTimestamp(const std::tm& local, int millis, std::string_view numericZone);
std::string CurrentLineTimestamp();

enum class TConsoleMode {
    Terminal, // redraw the frame in place (ANSI cursor movement)
    Lines,    // append one timestamped line per change
};

// Writes successive states to a stream in either mode; draws only when
// something changed since the last state it wrote.
class TConsoleWriter {
public:
    TConsoleWriter(std::ostream& out, TConsoleMode mode, std::function<int()> columns,
                   std::function<std::string()> timestamp);
    void Show(const TConsoleState& state);
    // Something else was written to the terminal: the next frame is drawn
    // whole below it instead of over the old one.
    void Interrupt();

private:
    void DrawFrame(const TConsoleState& state);

    std::ostream& m_out;
    TConsoleMode m_mode;
    std::function<int()> m_columns;
    std::function<std::string()> m_timestamp;
    TConsoleState m_shown;
    size_t m_frameLines = 0; // lines of the frame now on screen, 0 before the first
    bool m_drawn = false;
};

} // namespace pingvard
