// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The character classes and comparisons of HTTP's grammar (RFC 9110 5.6).

#include <string>
#include <string_view>

namespace pingvard {

// tchar: the characters of a method or a field name.
bool IsTokenChar(char c) noexcept;
bool IsToken(std::string_view text) noexcept;
// ASCII case-insensitive, as field names and the auth scheme compare.
bool EqualsNoCase(std::string_view a, std::string_view b) noexcept;
std::string LowerCase(std::string_view text);
// Optional whitespace (space and tab) removed at both ends.
std::string_view TrimBlanks(std::string_view text) noexcept;
// 0-15, or -1 for a character that is not a hex digit.
int HexDigit(char c) noexcept;

} // namespace pingvard
