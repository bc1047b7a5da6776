// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/web/web_json.h"

#include "observe/web/json_writer.h"

#include <algorithm>
#include <charconv>

namespace pingvard {

namespace {

std::string_view ResolutionName(THistoryResolution resolution) {
    switch (resolution) {
    case THistoryResolution::Raw:
        return "echo";
    case THistoryResolution::Minute:
        return "minute";
    case THistoryResolution::Hour:
        return "hour";
    }
    return "minute";
}

// The figure of the points, weighted by their answered echoes: the one at
// which half the answered echoes are reached. Nothing when none has it.
template <class TFigure>
std::optional<int64_t> WeightedMedian(const std::vector<const THistoryPoint*>& points,
                                      const TFigure& figure) {
    std::vector<std::pair<int64_t, uint64_t>> values;
    uint64_t total = 0;
    for (const THistoryPoint* p : points) {
        if (const std::optional<int64_t> v = figure(*p)) {
            const uint64_t weight = std::max<uint64_t>(p->Count - std::min(p->Lost, p->Count), 1);
            values.emplace_back(*v, weight);
            total += weight;
        }
    }
    std::sort(values.begin(), values.end());
    uint64_t seen = 0;
    for (const auto& [value, weight] : values) {
        seen += weight;
        if (2 * seen >= total) {
            return value;
        }
    }
    return std::nullopt;
}

// The percentiles a history may keep beside the median (its Spread): folded
// like the median, each over the points that have them. A history without
// them leaves nothing to fold.
template <class TPoint> void FoldSpread(TPoint& bucket, const std::vector<const TPoint*>& members) {
    if constexpr (requires { bucket.Spread->P10Us; }) {
        using TSpreadValue = typename decltype(bucket.Spread)::value_type;
        std::vector<const TPoint*> with;
        for (const TPoint* p : members) {
            if (p->Spread) {
                with.push_back(p);
            }
        }
        if (with.empty()) {
            return;
        }
        TSpreadValue spread{};
        const auto fold = [&](auto field) {
            return WeightedMedian(
                       with,
                       [&](const TPoint& p) { return std::optional<int64_t>((*p.Spread).*field); })
                .value_or(0);
        };
        spread.P10Us = fold(&TSpreadValue::P10Us);
        spread.P25Us = fold(&TSpreadValue::P25Us);
        spread.P75Us = fold(&TSpreadValue::P75Us);
        spread.P90Us = fold(&TSpreadValue::P90Us);
        bucket.Spread = spread;
    }
}

template <class TPoint> void WriteSpread(TJsonWriter& j, const TPoint& p) {
    if constexpr (requires { p.Spread->P10Us; }) {
        if (p.Spread) {
            j.Key("p10Us").Number(int64_t{p.Spread->P10Us});
            j.Key("p25Us").Number(int64_t{p.Spread->P25Us});
            j.Key("p75Us").Number(int64_t{p.Spread->P75Us});
            j.Key("p90Us").Number(int64_t{p.Spread->P90Us});
        }
    }
}

void WriteIncident(TJsonWriter& j, const TIncident& incident, int64_t nowMs) {
    j.BeginObject();
    j.Key("startMs").Number(incident.StartMs);
    j.Key("endMs").Number(incident.EndMs);
    j.Key("open").Bool(incident.Open());
    j.Key("durationMs").Number(incident.DurationMs(nowMs));
    j.Key("cause").String(CauseName(incident.Cause));
    j.Key("link").String(incident.Link);
    j.Key("hostsDown").BeginArray();
    for (const std::string& host : incident.HostsDown) {
        j.String(host);
    }
    j.EndArray();
    j.Key("steps").BeginArray();
    for (const TIncidentStep& step : incident.Steps) {
        j.BeginObject();
        j.Key("action").String(step.Action);
        j.Key("kind").String(step.Kind);
        j.Key("startMs").Number(step.StartMs);
        j.Key("endMs").Number(step.EndMs);
        j.Key("ok").Bool(step.Ok);
        j.Key("outcome").String(step.Outcome);
        j.EndObject();
    }
    j.EndArray();
    j.Key("curedBy").String(incident.CuredBy);
    j.EndObject();
}

} // namespace

std::string StatusJson(const TWebStatus& status, bool canRestart) {
    const TSiteView& site = status.Site;
    TJsonWriter j;
    j.BeginObject();
    j.Key("timeMs").Number(status.TimeMs);
    j.Key("ready").Bool(status.TimeMs != 0);
    j.Key("site").BeginObject();
    j.Key("state").String(SiteStateName(site.State));
    j.Key("answering").Number(int64_t{site.Answering});
    j.Key("watched").Number(int64_t{site.Watched});
    j.Key("downSinceMs").Number(site.DownSinceMs);
    j.Key("cause").String(site.State == TSiteState::Down ? CauseName(site.Cause) : "");
    j.Key("actionRunning").Bool(site.ActionRunning);
    j.Key("runningAction").String(site.RunningAction);
    j.Key("lastOutcome").String(site.LastOutcome);
    j.Key("lastOk").Bool(site.LastOk);
    j.Key("lastOutcomeMs").Number(site.LastOutcomeMs);
    j.EndObject();
    j.Key("incident");
    if (status.Incident) {
        WriteIncident(j, *status.Incident, status.TimeMs);
    } else {
        j.Null();
    }
    j.Key("guard").BeginObject();
    j.Key("paused").Bool(site.PausedUntilMs != 0);
    j.Key("pausedUntilMs").Number(site.PausedUntilMs);
    j.Key("holdOffMs").Number(int64_t{site.HoldOffMs});
    j.Key("round").Number(int64_t{site.Round});
    j.Key("maxRounds").Number(int64_t{site.MaxRounds});
    j.Key("nextAction").String(site.NextAction);
    j.Key("held").Bool(status.Held);
    j.Key("heldByLink").Bool(site.HeldBy.Down());
    j.EndObject();
    j.Key("hosts").BeginArray();
    for (std::size_t i = 0; i < status.Hosts.size(); ++i) {
        const TWebHost& host = status.Hosts[i];
        j.BeginObject();
        j.Key("slot").Number(static_cast<int64_t>(i + 1));
        j.Key("name").String(host.Name);
        j.Key("address").String(host.Address);
        j.Key("watched").Bool(host.Watched);
        j.Key("lastMs").Optional(host.Figures.LastMs);
        j.Key("averageMs").Optional(host.Figures.AverageMs);
        j.Key("lossPercent").Optional(host.Figures.LossPercent);
        j.Key("failures").Number(int64_t{host.Figures.Failures});
        j.Key("down").Bool(host.Down);
        j.EndObject();
    }
    j.EndArray();
    j.Key("status").String(status.StatusText);
    j.Key("canRestart").Bool(canRestart);
    j.EndObject();
    return std::move(j).Take();
}

std::string IncidentsJson(const std::vector<TIncident>& incidents, int64_t coveredFromMs,
                          int64_t nowMs, const std::vector<TUptime>* days) {
    TJsonWriter j;
    j.BeginObject();
    j.Key("timeMs").Number(nowMs);
    j.Key("coveredFromMs").Number(coveredFromMs);
    j.Key("incidents").BeginArray();
    for (const TIncident& incident : incidents) {
        WriteIncident(j, incident, nowMs);
    }
    j.EndArray();
    if (days != nullptr) {
        j.Key("days").BeginArray();
        for (const TUptime& day : *days) {
            j.BeginObject();
            j.Key("fromMs").Number(day.FromMs);
            j.Key("toMs").Number(day.ToMs);
            j.Key("watchedMs").Number(day.WatchedMs);
            j.Key("downMs").Number(day.DownMs);
            j.EndObject();
        }
        j.EndArray();
    }
    j.EndObject();
    return std::move(j).Take();
}

std::string HistoryJson(const THistoryAnswer& a) {
    TJsonWriter j;
    j.BeginObject();
    j.Key("host").String(a.Host.Address);
    j.Key("name").String(a.Host.Name);
    j.Key("since").String(a.Since);
    j.Key("fromMs").Number(a.FromMs);
    j.Key("toMs").Number(a.ToMs);
    j.Key("resolution").String(ResolutionName(a.Resolution));
    j.Key("bucketMs").Number(a.BucketMs);
    j.Key("points").BeginArray();
    for (const THistoryPoint& p : a.Points) {
        j.BeginObject();
        j.Key("t").Number(p.TimeMs);
        j.Key("n").Number(int64_t{p.Count});
        j.Key("lost").Number(int64_t{p.Lost});
        j.Key("minUs").Optional(p.MinUs);
        j.Key("medianUs").Optional(p.MedianUs);
        j.Key("maxUs").Optional(p.MaxUs);
        WriteSpread(j, p);
        j.EndObject();
    }
    j.EndArray();
    j.EndObject();
    return std::move(j).Take();
}

std::string RestartJson(const TRestartAnswer& answer) {
    TJsonWriter j;
    j.BeginObject();
    j.Key("started").Bool(answer.Result == TRestartAnswer::TResult::Started);
    j.Key("result").String(answer.Result == TRestartAnswer::TResult::Started   ? "started"
                           : answer.Result == TRestartAnswer::TResult::Refused ? "refused"
                                                                               : "busy");
    j.Key("reason").String(answer.Reason);
    j.EndObject();
    return std::move(j).Take();
}

std::optional<int64_t> ParseSpan(std::string_view text) {
    if (text.size() < 2) {
        return std::nullopt;
    }
    int64_t unitMs = 0;
    switch (text.back()) {
    case 's':
        unitMs = 1000;
        break;
    case 'm':
        unitMs = 60'000;
        break;
    case 'h':
        unitMs = 3'600'000;
        break;
    case 'd':
        unitMs = 86'400'000;
        break;
    default:
        return std::nullopt;
    }
    const std::string_view digits = text.substr(0, text.size() - 1);
    int64_t count = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (error != std::errc() || end != digits.data() + digits.size() ||
        count > kMaxHistorySpanDays * 86'400'000 / unitMs) {
        return std::nullopt;
    }
    const int64_t ms = count * unitMs;
    if (ms < 60'000 || ms > kMaxHistorySpanDays * 86'400'000) {
        return std::nullopt;
    }
    return ms;
}

std::vector<THistoryPoint> FoldPoints(const std::vector<THistoryPoint>& points, int64_t fromMs,
                                      int64_t bucketMs) {
    std::vector<THistoryPoint> out;
    std::vector<const THistoryPoint*> members; // of the bucket being filled
    const auto close = [&] {
        if (!out.empty()) {
            out.back().MedianUs =
                WeightedMedian(members, [](const THistoryPoint& p) { return p.MedianUs; });
            FoldSpread(out.back(), members);
        }
        members.clear();
    };
    for (const THistoryPoint& p : points) {
        const int64_t bucket = fromMs + (p.TimeMs - fromMs) / bucketMs * bucketMs;
        if (out.empty() || out.back().TimeMs != bucket) {
            close();
            THistoryPoint started;
            started.TimeMs = bucket;
            out.push_back(started);
        }
        THistoryPoint& b = out.back();
        b.Count += p.Count;
        b.Lost += p.Lost;
        if (p.MinUs) {
            b.MinUs = b.MinUs ? std::min(*b.MinUs, *p.MinUs) : *p.MinUs;
        }
        if (p.MaxUs) {
            b.MaxUs = b.MaxUs ? std::max(*b.MaxUs, *p.MaxUs) : *p.MaxUs;
        }
        members.push_back(&p);
    }
    close();
    return out;
}

} // namespace pingvard
