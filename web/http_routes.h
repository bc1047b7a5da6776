// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the listener serves: handlers by exact path and method, registered
// before it starts and fixed afterwards. A GET handler only reads (HEAD is
// answered by it, without the body); anything that acts is a POST, and is
// wrapped in RequireBearerToken (web/http_token.h).
//
//     THttpRoutes routes;
//     routes.Get("/metrics", [&](const THttpRequest&) { return MetricsAnswer(); });
//     routes.Post("/api/restart", RequireBearerToken(token, restartNow));

#include "web/http_request.h"
#include "web/http_response.h"

#include <functional>
#include <string>
#include <vector>

namespace pingvard {

// Runs on the listener's thread: must be quick and must not wait for the
// monitor (hand heavy work to a thread of its own).
using THttpHandler = std::function<THttpResponse(const THttpRequest&)>;

class THttpRoutes {
public:
    void Get(std::string path, THttpHandler handler);
    void Post(std::string path, THttpHandler handler);

    // The handler's answer; 404 for a path nobody serves; 405 with Allow for
    // another method on a served path (OPTIONS too, so a cross-site preflight
    // fails); 500 when the handler throws.
    THttpResponse Dispatch(const THttpRequest& request) const;

private:
    struct TRoute {
        std::string Path;
        THttpHandler Get;
        THttpHandler Post;
    };
    TRoute& At(std::string path);

    std::vector<TRoute> m_routes;
};

} // namespace pingvard
