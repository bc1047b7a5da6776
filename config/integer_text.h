// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pingvard {

// The integer rule for every text that becomes a number (configuration values,
// dialog fields):
//   1. (only with mapLeadingZeroX) a text longer than two characters that starts
//      with "0x" or "0X" has those two characters replaced by "$";
//   2. leading spaces (code 32 only) are skipped;
//   3. the rest is either an optional sign and decimal digits within the signed
//      32-bit range, or a hexadecimal marker ("$", "x", "X", "0x", "0X") without a
//      sign followed by hexadecimal digits whose value fits in 32 bits, taken as
//      two's complement ("$FFFFFFFF" is -1);
//   4. anything else (empty, trailing characters, out of range) is nullopt.
// The settings dialog's field check uses mapLeadingZeroX = false.
std::optional<int32_t> ParseIntegerText(std::string_view text, bool mapLeadingZeroX = true);

} // namespace pingvard
