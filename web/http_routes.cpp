// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_routes.h"

#include <algorithm>
#include <exception>

namespace pingvard {

THttpRoutes::TRoute& THttpRoutes::At(std::string path) {
    const auto found = std::find_if(m_routes.begin(), m_routes.end(),
                                    [&](const TRoute& route) { return route.Path == path; });
    if (found != m_routes.end()) {
        return *found;
    }
    return m_routes.emplace_back(TRoute{std::move(path), {}, {}});
}

void THttpRoutes::Get(std::string path, THttpHandler handler) {
    At(std::move(path)).Get = std::move(handler);
}

void THttpRoutes::Post(std::string path, THttpHandler handler) {
    At(std::move(path)).Post = std::move(handler);
}

THttpResponse THttpRoutes::Dispatch(const THttpRequest& request) const {
    const auto route = std::find_if(m_routes.begin(), m_routes.end(),
                                    [&](const TRoute& r) { return r.Path == request.Path; });
    if (route == m_routes.end()) {
        return THttpResponse::Error(404);
    }
    const bool read = request.Method == "GET" || request.Method == "HEAD";
    const THttpHandler& handler =
        read ? route->Get : (request.Method == "POST" ? route->Post : THttpHandler());
    if (!handler) {
        THttpResponse refused = THttpResponse::Error(405);
        std::string allow = route->Get ? "GET, HEAD" : "";
        if (route->Post) {
            allow += allow.empty() ? "POST" : ", POST";
        }
        refused.Headers.emplace_back("Allow", allow);
        return refused;
    }
    try {
        return handler(request);
    } catch (const std::exception&) {
        return THttpResponse::Error(500);
    }
}

} // namespace pingvard
