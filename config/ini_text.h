// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The text rules of pingvard.ini shared by the profile store and every
// section's reader: blanks, ASCII letter case, and how file text is shown.

#include <string>
#include <string_view>

namespace pingvard {

// ASCII letters only: names in the file match without regard to A-Z case,
// whatever the locale says about other bytes.
std::string Lower(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

// Without the blanks (space, tab) at either end.
std::string_view Trim(std::string_view text);

// Text from the file made safe for a terminal: control characters (C0, DEL,
// C1 whether raw or UTF-8 encoded) and bytes that are not UTF-8 become \xNN,
// so a value can never move the cursor, clear the screen or retitle the window.
std::string EscapedText(std::string_view text);

} // namespace pingvard
