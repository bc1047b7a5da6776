// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_token.h"

#include "web/http_text.h"

#include <algorithm>

namespace pingvard {

bool ConstantTimeEquals(std::string_view a, std::string_view b) noexcept {
    // volatile: the compiler may not turn the loop into an early exit.
    volatile unsigned char diff = a.size() == b.size() ? 0 : 1;
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
        diff = static_cast<unsigned char>(diff | (x ^ y));
    }
    return diff == 0;
}

bool BearerTokenMatches(const THttpRequest& request, std::string_view token) noexcept {
    const auto field = request.Header("authorization");
    if (token.empty() || !field) {
        return false;
    }
    const std::size_t space = field->find(' ');
    if (space == std::string_view::npos || !EqualsNoCase(field->substr(0, space), "Bearer")) {
        return false;
    }
    return ConstantTimeEquals(TrimBlanks(field->substr(space)), token);
}

THttpHandler RequireBearerToken(std::string token, THttpHandler action) {
    return [token = std::move(token), action = std::move(action)](const THttpRequest& request) {
        if (token.empty()) {
            return THttpResponse::Text(403, "403 Forbidden: no token is configured\n");
        }
        if (!BearerTokenMatches(request, token)) {
            THttpResponse refused = THttpResponse::Error(401);
            refused.Headers.emplace_back("WWW-Authenticate", "Bearer realm=\"pingvard\"");
            return refused;
        }
        return action(request);
    };
}

} // namespace pingvard
