// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_request.h"

#include "web/http_text.h"

namespace pingvard {

std::optional<std::string_view> THttpRequest::Header(std::string_view name) const {
    for (const auto& [field, value] : Headers) {
        if (EqualsNoCase(field, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> THttpRequest::QueryParam(std::string_view name) const {
    std::string_view rest = Query;
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        const auto key = PercentDecode(pair.substr(0, eq), true);
        if (key && *key == name) {
            return PercentDecode(eq == std::string_view::npos ? "" : pair.substr(eq + 1), true);
        }
    }
    return std::nullopt;
}

std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(plusIsSpace && c == '+' ? ' ' : c);
        }
    }
    return out;
}

} // namespace pingvard
