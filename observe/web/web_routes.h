// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The status page's routes on a listener (docs/web.md): the page's files,
// built into the program; its API, JSON never cached; and "Restart now", a
// POST that only the configured token opens.
//
//     AddWebRoutes(listeners.Routes(address, port, "Web"), {&source, historyFile, token});

#include "observe/web/web_source.h"
#include "web/http_routes.h"

#include <string>

namespace pingvard {

inline constexpr const char* kStatusPath = "/api/status";
inline constexpr const char* kIncidentsPath = "/api/incidents";
inline constexpr const char* kHistoryPath = "/api/history";
inline constexpr const char* kRestartPath = "/api/restart";

// The most points one graph gets; longer spans are folded (FoldPoints).
inline constexpr int64_t kMaxGraphPoints = 480;
// The incidents the page lists and counts its uptime from.
inline constexpr int64_t kIncidentDays = 30;

struct TWebRoutesOptions {
    // Null: no monitor (the status answers 503); it must outlive the listener.
    TWebSource* Source = nullptr;
    std::string HistoryFile; // empty: history is off (the history answers 404)
    std::string Token;       // empty: read-only (the POST answers 403)
};

void AddWebRoutes(THttpRoutes& routes, TWebRoutesOptions options);

} // namespace pingvard
