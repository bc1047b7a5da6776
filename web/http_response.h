// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An answer as a handler gives it, and its bytes on the wire. Every answer
// carries the security fields below unless the handler sets its own value
// of the same field: nothing is cached, nothing is sniffed, nothing may frame
// it, no referrer leaves, and the default policy allows no content at all.

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pingvard {

// For machine answers (metrics, JSON): nothing may load or run.
inline constexpr std::string_view kStrictSecurityPolicy =
    "default-src 'none'; frame-ancestors 'none'";
// For a page built into the program: its own scripts, styles and requests
// only; no inline script, nothing from elsewhere.
inline constexpr std::string_view kPageSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

struct THttpResponse {
    int Status = 200;
    std::string ContentType; // none with an empty body
    std::string Body;
    // Further fields in this order; Cache-Control or Content-Security-Policy
    // here replaces the default.
    std::vector<std::pair<std::string, std::string>> Headers;

    // text/plain in UTF-8.
    static THttpResponse Text(int status, std::string body);
    // A short text naming the status ("404 Not Found").
    static THttpResponse Error(int status);
};

// "Not Found" for 404; "" for a status this server never sends.
std::string_view ReasonPhrase(int status) noexcept;

// The status line, the fields and, unless headOnly, the body. close adds
// "Connection: close". Date is `now` (RFC 9110 6.6.1, IMF-fixdate).
std::string SerializeResponse(const THttpResponse& response, bool headOnly, bool close,
                              std::chrono::system_clock::time_point now);

} // namespace pingvard
