// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_response.h"

#include "web/http_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

namespace pingvard {

namespace {

struct TReason {
    int Status;
    std::string_view Text;
};

constexpr std::array<TReason, 21> kReasons{{
    {100, "Continue"},
    {200, "OK"},
    {202, "Accepted"},
    {204, "No Content"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {408, "Request Timeout"},
    {413, "Content Too Large"},
    {414, "URI Too Long"},
    {409, "Conflict"},
    {417, "Expectation Failed"},
    {421, "Misdirected Request"},
    {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {503, "Service Unavailable"},
    {505, "HTTP Version Not Supported"},
}};

std::string HttpDate(std::chrono::system_clock::time_point now) {
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    // Fixed English names: the date must not follow the locale.
    static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  kDays[static_cast<std::size_t>(tm.tm_wday)], tm.tm_mday,
                  kMonths[static_cast<std::size_t>(tm.tm_mon)], tm.tm_year + 1900, tm.tm_hour,
                  tm.tm_min, tm.tm_sec);
    return text;
}

bool HasField(const THttpResponse& response, std::string_view name) {
    return std::any_of(response.Headers.begin(), response.Headers.end(),
                       [&](const auto& field) { return EqualsNoCase(field.first, name); });
}

void AddField(std::string& out, std::string_view name, std::string_view value) {
    out.append(name).append(": ").append(value).append("\r\n");
}

} // namespace

THttpResponse THttpResponse::Text(int status, std::string body) {
    THttpResponse r;
    r.Status = status;
    r.ContentType = "text/plain; charset=utf-8";
    r.Body = std::move(body);
    return r;
}

THttpResponse THttpResponse::Error(int status) {
    return Text(status, std::to_string(status) + " " + std::string(ReasonPhrase(status)) + "\n");
}

std::string_view ReasonPhrase(int status) noexcept {
    for (const TReason& reason : kReasons) {
        if (reason.Status == status) {
            return reason.Text;
        }
    }
    return "";
}

std::string SerializeResponse(const THttpResponse& response, bool headOnly, bool close,
                              std::chrono::system_clock::time_point now) {
    std::string out;
    out.reserve(320 + (headOnly ? 0 : response.Body.size()));
    out.append("HTTP/1.1 ").append(std::to_string(response.Status)).append(" ");
    out.append(ReasonPhrase(response.Status)).append("\r\n");
    if (!response.ContentType.empty()) {
        AddField(out, "Content-Type", response.ContentType);
    }
    AddField(out, "Content-Length", std::to_string(response.Body.size()));
    AddField(out, "Date", HttpDate(now));
    if (!HasField(response, "Cache-Control")) {
        AddField(out, "Cache-Control", "no-store");
    }
    if (!HasField(response, "Content-Security-Policy")) {
        AddField(out, "Content-Security-Policy", kStrictSecurityPolicy);
    }
    AddField(out, "X-Content-Type-Options", "nosniff");
    AddField(out, "Referrer-Policy", "no-referrer");
    if (close) {
        AddField(out, "Connection", "close");
    }
    for (const auto& [name, value] : response.Headers) {
        // A line break in a value would start a field (or a body) of its own.
        if (IsToken(name) && value.find_first_of("\r\n") == std::string::npos) {
            AddField(out, name, value);
        }
    }
    out.append("\r\n");
    if (!headOnly) {
        out.append(response.Body);
    }
    return out;
}

} // namespace pingvard
