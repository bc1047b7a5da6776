// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One parsed HTTP/1.1 request, as a handler sees it.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pingvard {

struct THttpRequest {
    std::string Method; // as sent: methods are case-sensitive (RFC 9110 9.1)
    std::string Path;   // the target's path, still percent-encoded ("/api/history")
    std::string Query;  // after '?', still encoded; "" when none
    int MinorVersion = 1;
    // Names in lower case, values without surrounding blanks, in the order sent.
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string Body;

    // The first field of that name (any case), or nothing.
    std::optional<std::string_view> Header(std::string_view name) const;
    // The decoded value of name=value in the query ('+' is a space), or nothing.
    std::optional<std::string> QueryParam(std::string_view name) const;
};

// %XX sequences and, for query text, '+' decoded; nothing when an escape is
// malformed.
std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace);

} // namespace pingvard
