// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one way a request may act: a POST carrying the configured token as
// "Authorization: Bearer TOKEN". Never a cookie (a browser would send it on a
// forged cross-site request), never a GET. A browser cannot send this field
// cross-site without a preflight, which the routes refuse.

#include "web/http_routes.h"

#include <string>
#include <string_view>

namespace pingvard {

// Equal texts, in a time that depends on the lengths only, never on where
// the first difference is.
bool ConstantTimeEquals(std::string_view a, std::string_view b) noexcept;

// The request's Authorization field is "Bearer" (any case) and exactly the
// token. An empty token never matches.
bool BearerTokenMatches(const THttpRequest& request, std::string_view token) noexcept;

// action, run only for a matching token: 403 when no token is configured
// (the listener is read-only), 401 with a Bearer challenge otherwise.
THttpHandler RequireBearerToken(std::string token, THttpHandler action);

} // namespace pingvard
