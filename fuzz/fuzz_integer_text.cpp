// SPDX-License-Identifier: GPL-3.0-or-later
// Differential fuzzer for the integer rule: ParseIntegerText against a second,
// deliberately naive implementation of the same rule written from its wording
// (arbitrary-precision by digit strings, no strtol), for both settings of the
// leading-"0x" step.
#include "config/integer_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool IsDecimal(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDecimal(c)) {
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

// Digits without leading zeros, compared as strings: no overflow is possible
// however long the input is.
std::string StripZeros(std::string_view digits) {
    std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? "0" : std::string(digits.substr(first));
}

bool DigitsAtMost(const std::string& digits, std::string_view limit) {
    if (digits.size() != limit.size()) {
        return digits.size() < limit.size();
    }
    return digits <= limit;
}

std::optional<int32_t> OracleDecimal(std::string_view rest) {
    bool negative = false;
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
        negative = rest[0] == '-';
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        return std::nullopt;
    }
    for (char c : rest) {
        if (!IsDecimal(c)) {
            return std::nullopt;
        }
    }
    std::string digits = StripZeros(rest);
    if (!DigitsAtMost(digits, negative ? "2147483648" : "2147483647")) {
        return std::nullopt;
    }
    int64_t value = std::stoll(digits);
    return static_cast<int32_t>(negative ? -value : value);
}

std::optional<int32_t> OracleHex(std::string_view digitsText) {
    if (digitsText.empty()) {
        return std::nullopt;
    }
    for (char c : digitsText) {
        if (HexValue(c) < 0) {
            return std::nullopt;
        }
    }
    std::string digits = StripZeros(digitsText);
    if (digits.size() > 8) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : digits) {
        value = value * 16 + static_cast<uint32_t>(HexValue(c));
    }
    return static_cast<int32_t>(value); // two's complement: FFFFFFFF is -1
}

std::optional<int32_t> Oracle(std::string text, bool mapLeadingZeroX) {
    if (mapLeadingZeroX && text.size() > 2 && text[0] == '0' &&
        (text[1] == 'x' || text[1] == 'X')) {
        text.replace(0, 2, "$");
    }
    std::string_view rest(text);
    while (!rest.empty() && rest[0] == ' ') {
        rest.remove_prefix(1);
    }
    for (std::string_view marker : {"0x", "0X", "$", "x", "X"}) {
        if (rest.substr(0, marker.size()) == marker) {
            // "0x" followed by a non-hex byte can only be a marker without digits
            // or the decimal zero followed by junk: both invalid.
            return OracleHex(rest.substr(marker.size()));
        }
    }
    return OracleDecimal(rest);
}

void Check(std::string_view text, bool mapLeadingZeroX) {
    std::optional<int32_t> actual = pingvard::ParseIntegerText(text, mapLeadingZeroX);
    std::optional<int32_t> expected = Oracle(std::string(text), mapLeadingZeroX);
    if (actual != expected) {
        std::fprintf(stderr, "ParseIntegerText(\"%.*s\", %d): got %s%ld, oracle %s%ld\n",
                     static_cast<int>(text.size()), text.data(), mapLeadingZeroX ? 1 : 0,
                     actual ? "" : "invalid ", actual ? static_cast<long>(*actual) : 0L,
                     expected ? "" : "invalid ", expected ? static_cast<long>(*expected) : 0L);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Check(text, true);
    Check(text, false);
    return 0;
}
