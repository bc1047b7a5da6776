// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/web/web_routes.h"

#include "net/tick_clock.h"
#include "observe/history/history_reader.h"
#include "observe/history/incident_reader.h"
#include "observe/web/json_writer.h"
#include "observe/web/web_json.h"
#include "web/http_token.h"
#include "web/page_assets.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

namespace pingvard {

namespace {

THttpResponse Json(int status, std::string body) {
    THttpResponse response;
    response.Status = status;
    response.ContentType = "application/json";
    response.Body = std::move(body);
    return response;
}

THttpResponse JsonError(int status, std::string_view what) {
    return Json(status, "{\"error\":" + JsonString(what) + "}");
}

// The incidents of the last days as the page lists them, newest first, and
// their days: the history's (which also knows the time the program was not
// watching), with the open one as the monitor has it now (the history gets
// it a moment later); without a history, those seen since the start.
struct TIncidentAccess {
    explicit TIncidentAccess(std::string file) : Reader(std::move(file)) {}
    std::mutex Mutex;
    TIncidentReader Reader;
};

THttpResponse Incidents(const TWebSource& source, TIncidentAccess* history, int64_t startedMs) {
    const int64_t now = WallClockMs();
    const int64_t from = now - kIncidentDays * 86'400'000;
    std::vector<TIncident> seen = source.Incidents(from);
    if (history == nullptr) {
        return Json(200, IncidentsJson(seen, startedMs, now));
    }
    const std::lock_guard lock(history->Mutex);
    const std::vector<TIncidentRecord> records = history->Reader.Incidents(from);
    const std::vector<TWatchedSpan> watched = history->Reader.Watched(from, now);
    std::vector<TIncident> incidents;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        incidents.push_back(it->Incident);
    }
    for (const TIncident& mine : seen) {
        const auto same = std::find_if(incidents.begin(), incidents.end(), [&](const TIncident& i) {
            return i.StartMs == mine.StartMs;
        });
        if (same != incidents.end()) {
            *same = mine; // the monitor's is the newer
        } else {
            incidents.push_back(mine);
        }
    }
    std::sort(incidents.begin(), incidents.end(),
              [](const TIncident& a, const TIncident& b) { return a.StartMs > b.StartMs; });
    std::vector<TIncidentRecord> all;
    for (const TIncident& incident : incidents) {
        all.push_back({0, incident, false});
    }
    const std::vector<TUptime> days = DailyUptime(all, watched, kIncidentDays, now);
    const int64_t covered =
        watched.empty() ? startedMs : std::min(startedMs, watched.front().FromMs);
    return Json(200, IncidentsJson(incidents, covered, now, &days));
}

// One reader for every history request: the listener has one thread, but a
// test may dispatch from another.
struct THistoryAccess {
    explicit THistoryAccess(std::string file) : Reader(std::move(file)) {}
    std::mutex Mutex;
    THistoryReader Reader;
    bool Opened = false;
};

THttpResponse History(THistoryAccess& access, const THttpRequest& request) {
    const std::string since = request.QueryParam("since").value_or("24h");
    const auto spanMs = ParseSpan(since);
    if (!spanMs) {
        return JsonError(400, "since: a span as 30m, 1h, 24h or 7d");
    }
    const auto wanted = request.QueryParam("host");
    if (!wanted || wanted->empty()) {
        return JsonError(400, "host: the address or the name of a host");
    }
    const std::lock_guard lock(access.Mutex);
    if (!access.Opened && !(access.Opened = access.Reader.Open())) {
        return JsonError(503, "no history yet");
    }
    THistoryAnswer answer;
    bool found = false;
    for (THistoryHost& host : access.Reader.Hosts()) {
        if (host.Address == *wanted || (!found && host.Name == *wanted)) {
            answer.Host = std::move(host);
            found = true;
        }
    }
    if (!found) {
        return JsonError(404, "no history of that host");
    }
    answer.Since = since;
    answer.ToMs = WallClockMs();
    // The reader's own choice (single echoes for a few hours, minutes for
    // months, hours beyond), folded to what a graph can show; buckets on
    // whole multiples, so that one poll's points fall where the last one's did.
    answer.Resolution = ChooseResolution(answer.ToMs - *spanMs, answer.ToMs, answer.ToMs);
    if (answer.Resolution == THistoryResolution::Minute &&
        *spanMs >= kMaxGraphPoints * BucketMs(THistoryResolution::Hour)) {
        // A point would cover an hour or more anyway: the hours give it at a
        // sixtieth of the rows read.
        answer.Resolution = THistoryResolution::Hour;
    }
    const int64_t unitMs = BucketMs(answer.Resolution);
    const int64_t units = (*spanMs + unitMs - 1) / unitMs;
    answer.BucketMs = unitMs * ((units + kMaxGraphPoints - 1) / kMaxGraphPoints);
    answer.FromMs = answer.ToMs - *spanMs;
    answer.FromMs -= answer.FromMs % answer.BucketMs;
    answer.Points =
        access.Reader.Points(answer.Host.Address, answer.FromMs, answer.ToMs, answer.Resolution);
    if (answer.BucketMs > unitMs || answer.Resolution == THistoryResolution::Raw) {
        answer.Points = FoldPoints(answer.Points, answer.FromMs, answer.BucketMs);
    }
    return Json(200, HistoryJson(answer));
}

THttpResponse Asset(const TPageAsset& asset) {
    THttpResponse response;
    response.ContentType = std::string(asset.ContentType);
    response.Body = std::string(asset.Body);
    // The page's own files change only with the program: a browser may keep
    // them a little, and asks again after an upgrade at the latest then.
    response.Headers.emplace_back("Cache-Control", "no-cache");
    response.Headers.emplace_back("Content-Security-Policy", std::string(kPageSecurityPolicy));
    return response;
}

} // namespace

void AddWebRoutes(THttpRoutes& routes, TWebRoutesOptions options) {
    for (const TPageAsset& asset : PageAssets()) {
        routes.Get(std::string(asset.Path), [&asset](const THttpRequest&) { return Asset(asset); });
    }
    TWebSource* source = options.Source;
    const bool canRestart = !options.Token.empty();
    routes.Get(kStatusPath, [source, canRestart](const THttpRequest&) {
        if (source == nullptr) {
            return JsonError(503, "no monitor runs");
        }
        return Json(200, StatusJson(source->Status(), canRestart));
    });
    const int64_t startedMs = WallClockMs();
    std::shared_ptr<TIncidentAccess> incidents;
    if (!options.HistoryFile.empty()) {
        incidents = std::make_shared<TIncidentAccess>(options.HistoryFile);
    }
    routes.Get(kIncidentsPath, [source, incidents, startedMs](const THttpRequest&) {
        if (source == nullptr) {
            return JsonError(503, "no monitor runs");
        }
        return Incidents(*source, incidents.get(), startedMs);
    });
    if (!options.HistoryFile.empty()) {
        auto access = std::make_shared<THistoryAccess>(options.HistoryFile);
        routes.Get(kHistoryPath,
                   [access](const THttpRequest& request) { return History(*access, request); });
    } else {
        routes.Get(kHistoryPath,
                   [](const THttpRequest&) { return JsonError(404, "history is off"); });
    }
    routes.Post(kRestartPath, RequireBearerToken(options.Token, [source](const THttpRequest&) {
                    if (source == nullptr) {
                        return JsonError(503, "no monitor runs");
                    }
                    const TRestartAnswer answer = source->RestartNow();
                    const int status = answer.Result == TRestartAnswer::TResult::Started   ? 202
                                       : answer.Result == TRestartAnswer::TResult::Refused ? 409
                                                                                           : 503;
                    return Json(status, RestartJson(answer));
                }));
}

} // namespace pingvard
