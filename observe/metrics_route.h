// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// GET /metrics: the registry's exposition text (format 0.0.4), in gzip when
// the scraper accepts it, never cached.

#include "observe/metrics_registry.h"
#include "web/http_routes.h"

namespace pingvard {

inline constexpr const char* kMetricsPath = "/metrics";

// The registry must outlive the listener that serves the route.
void AddMetricsRoute(THttpRoutes& routes, const TMetricsRegistry& registry);

} // namespace pingvard
