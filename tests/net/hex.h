// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Hex text <-> bytes for golden transcripts ("ff fb 03": blanks are ignored).

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

namespace pingvard::test {

inline std::string FromHex(std::string_view hex) {
    std::string bytes;
    int high = -1;
    for (const char c : hex) {
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
            continue;
        }
        const int nibble = std::isdigit(static_cast<unsigned char>(c)) != 0
                               ? c - '0'
                               : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + nibble));
            high = -1;
        }
    }
    return bytes;
}

inline std::string ToHex(std::string_view bytes) {
    std::string hex;
    char two[4];
    for (const char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
        if (!hex.empty()) {
            hex.push_back(' ');
        }
        hex += two;
    }
    return hex;
}

} // namespace pingvard::test
