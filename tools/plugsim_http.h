// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The HTTP/1.1 of a small embedded web server: one request per connection, a
// header block and an optional Content-Length body. Pure functions, no I/O.

#include <map>
#include <string>
#include <string_view>

namespace pingvard::plugsim {

struct THttpRequest {
    std::string Method;
    std::string Target;                         // as sent: path and query
    std::string Path;                           // decoded
    std::map<std::string, std::string> Query;   // decoded; the last of a repeated name
    std::map<std::string, std::string> Headers; // names lower-cased
    std::string Body;
};

enum class TParse { Incomplete, Complete, Bad };

// Parses buffer when it holds a whole request (at most maxBytes in all).
TParse ParseHttpRequest(std::string_view buffer, THttpRequest& request,
                        std::size_t maxBytes = 65536);

// "%20" and "+" decoded; an invalid escape stays as it is.
std::string UrlDecode(std::string_view text);
std::map<std::string, std::string> ParseQuery(std::string_view query);

// key=value and key="quoted value" pairs of an authorization header, names
// lower-cased ("Digest username=\"admin\", realm=...": pass what follows the scheme).
std::map<std::string, std::string> ParseAuthParams(std::string_view text);

struct THttpResponse {
    int Status = 200;
    std::string ContentType = "application/json";
    std::string Body;
    std::string ExtraHeaders; // whole lines with CR LF
};

std::string FormatResponse(const THttpResponse& response);

} // namespace pingvard::plugsim
