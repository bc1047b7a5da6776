// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_text.h"

#include <algorithm>
#include <cstring>

namespace pingvard {

namespace {

char Lower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool IsTokenChar(char c) noexcept {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7f) {
        return false;
    }
    return std::strchr("\"(),/:;<=>?@[\\]{}", c) == nullptr;
}

bool IsToken(std::string_view text) noexcept {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

bool EqualsNoCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

std::string_view TrimBlanks(std::string_view text) noexcept {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

int HexDigit(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char l = Lower(c);
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

} // namespace pingvard
