// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/metrics_route.h"

#include "web/http_text.h"

#include <chrono>

namespace pingvard {

namespace {

// "gzip" among the codings, unless its weight is 0 (RFC 9110 12.5.3).
bool AcceptsGzip(const THttpRequest& request) {
    const auto field = request.Header("accept-encoding");
    for (std::string_view rest = field.value_or(""); !rest.empty();) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const std::size_t semicolon = item.find(';');
        if (EqualsNoCase(TrimBlanks(item.substr(0, semicolon)), "gzip")) {
            const std::string_view weight =
                semicolon == std::string_view::npos ? "" : TrimBlanks(item.substr(semicolon + 1));
            return weight.rfind("q=0", 0) != 0 ||
                   weight.find_first_of("123456789") != std::string_view::npos;
        }
    }
    return false;
}

} // namespace

void AddMetricsRoute(THttpRoutes& routes, const TMetricsRegistry& registry) {
    routes.Get(kMetricsPath, [&registry](const THttpRequest& request) {
        const auto start = std::chrono::steady_clock::now();
        TMetricsBackend& backend = registry.Backend();
        THttpResponse response;
        response.ContentType = "text/plain; version=0.0.4; charset=utf-8";
        response.Body = backend.Text();
        if (AcceptsGzip(request)) {
            if (std::string packed = backend.Gzip(response.Body); !packed.empty()) {
                response.Body = std::move(packed);
                response.Headers.emplace_back("Content-Encoding", "gzip");
            }
        }
        response.Headers.emplace_back("Vary", "Accept-Encoding");
        backend.Scraped(response.Body.size(), std::chrono::duration_cast<std::chrono::microseconds>(
                                                  std::chrono::steady_clock::now() - start));
        return response;
    });
}

} // namespace pingvard
