// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/integer_text.h"

#include <string>

namespace pingvard {
namespace {

std::optional<int> HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return std::nullopt;
}

// Length of the hexadecimal marker at the start of text, 0 when there is none.
size_t HexMarkerLength(std::string_view text) {
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X'))
        return 1;
    if (text.starts_with("0x") || text.starts_with("0X"))
        return 2;
    return 0;
}

std::optional<int32_t> ParseHex(std::string_view digits) {
    if (digits.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        const auto digit = HexDigitValue(c);
        if (!digit)
            return std::nullopt;
        value = value * 16 + static_cast<uint64_t>(*digit);
        if (value > 0xFFFFFFFFu) // leading zeros are fine, the value must fit
            return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::optional<int32_t> ParseDecimal(std::string_view text) {
    bool negative = false;
    if (text.starts_with('+') || text.starts_with('-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

} // namespace

std::optional<int32_t> ParseIntegerText(std::string_view text, bool mapLeadingZeroX) {
    std::string mapped;
    if (mapLeadingZeroX && text.size() > 2 && (text.starts_with("0x") || text.starts_with("0X"))) {
        mapped = "$";
        mapped.append(text.substr(2));
        text = mapped;
    }
    while (text.starts_with(' '))
        text.remove_prefix(1);
    if (const size_t marker = HexMarkerLength(text))
        return ParseHex(text.substr(marker));
    return ParseDecimal(text);
}

} // namespace pingvard
