// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/history_report.h"

#include "observe/iso_time.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <tuple>
#include <vector>

namespace pingvard {

namespace {

struct TRow {
    int64_t TimeMs = 0;
    int Order = 0; // hosts in their order, events after them
    const THistoryHost* Host = nullptr;
    const THistoryPoint* Point = nullptr;
    const THistoryRecord* Event = nullptr;
};

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Millis(const std::optional<int64_t>& us) {
    if (!us) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(*us) / 1000.0);
    return text;
}

std::string EventDetail(const THistoryRecord& e) {
    std::string action = e.Action;
    if (!e.ActionKind.empty()) {
        action += " (" + e.ActionKind + ")";
    }
    switch (e.Kind) {
    case TMonitorEventKind::HostDown:
    case TMonitorEventKind::HostUp:
        return e.Host;
    case TMonitorEventKind::ActionStarted:
        return action;
    case TMonitorEventKind::ActionOutcome:
        return action + (e.Ok ? " OK: " : " failed: ") + e.Text;
    default:
        return e.Text;
    }
}

void WriteCsv(std::ostream& out, const TRow& row, std::string_view pointKind) {
    out << FormatLocalTime(row.TimeMs, true) << ',';
    if (row.Point != nullptr) {
        const THistoryPoint& p = *row.Point;
        out << pointKind << ',' << CsvField(row.Host->Address) << ',' << CsvField(row.Host->Name)
            << ',' << p.Count << ',' << p.Lost << ',' << Millis(p.MinUs) << ','
            << Millis(p.MedianUs) << ',' << Millis(p.MaxUs) << ",,,";
        const auto part = [&](int64_t THistorySpread::*field) {
            return p.Spread ? Millis((*p.Spread).*field) : std::string();
        };
        out << ',' << part(&THistorySpread::P10Us) << ',' << part(&THistorySpread::P25Us) << ','
            << part(&THistorySpread::P75Us) << ',' << part(&THistorySpread::P90Us) << '\n';
        return;
    }
    const THistoryRecord& e = *row.Event;
    const bool outcome =
        e.Kind == TMonitorEventKind::ActionOutcome || e.Kind == TMonitorEventKind::GuardChanged;
    out << KindName(e.Kind) << ',' << CsvField(e.Host) << ",,,,,,," << CsvField(e.Action) << ','
        << (outcome ? (e.Ok ? "1" : "0") : "") << ',' << CsvField(e.Text) << ",,,,\n";
}

void WriteText(std::ostream& out, const TRow& row) {
    char line[256];
    const std::string time = FormatLocalTime(row.TimeMs, false);
    if (row.Point != nullptr) {
        const THistoryPoint& p = *row.Point;
        std::snprintf(line, sizeof line, "%s  %-15s %7u %5u %9s %9s %9s\n", time.c_str(),
                      row.Host->Address.c_str(), p.Count, p.Lost, Millis(p.MinUs).c_str(),
                      Millis(p.MedianUs).c_str(), Millis(p.MaxUs).c_str());
        out << line;
        return;
    }
    out << time << "  " << KindName(row.Event->Kind) << "  " << EventDetail(*row.Event) << '\n';
}

} // namespace

std::string CsvField(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos) {
        return value;
    }
    std::string quoted = "\"";
    for (char c : value) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::optional<std::chrono::seconds> ParseSince(std::string_view text) {
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || value <= 0 || end == text.data()) {
        return std::nullopt;
    }
    const std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
    int64_t factor = 0;
    if (unit.empty() || unit == "s") {
        factor = 1;
    } else if (unit == "m") {
        factor = 60;
    } else if (unit == "h") {
        factor = 3600;
    } else if (unit == "d") {
        factor = 86400;
    } else if (unit == "w") {
        factor = 7 * 86400;
    }
    constexpr int64_t kMaxSeconds = 100LL * 366 * 86400; // beyond any retention
    if (factor == 0 || value > kMaxSeconds / factor) {
        return std::nullopt;
    }
    return std::chrono::seconds(value * factor);
}

bool WriteHistoryReport(THistoryReader& reader, const THistoryReportRequest& request, int64_t nowMs,
                        std::ostream& out, std::string& error) {
    if (!reader.Open()) {
        error = reader.LastError();
        return false;
    }
    std::vector<THistoryHost> hosts = reader.Hosts();
    if (!request.Host.empty()) {
        std::erase_if(hosts, [&](const THistoryHost& h) {
            return h.Address != request.Host && !SameText(h.Name, request.Host);
        });
        if (hosts.empty()) {
            error = "no history for host " + request.Host;
            return false;
        }
    }
    const int64_t from = nowMs - request.Since.count() * 1000;
    const THistoryResolution resolution = ChooseResolution(from, nowMs, nowMs);
    std::vector<std::vector<THistoryPoint>> series;
    std::vector<TRow> rows;
    for (const THistoryHost& host : hosts) {
        series.push_back(reader.Points(host.Address, from, nowMs, resolution));
    }
    for (std::size_t h = 0; h < hosts.size(); ++h) {
        for (const THistoryPoint& p : series[h]) {
            rows.push_back({p.TimeMs, static_cast<int>(h), &hosts[h], &p, nullptr});
        }
    }
    const std::vector<THistoryRecord> events = reader.Events(from, nowMs);
    for (const THistoryRecord& e : events) {
        const bool forHost =
            e.Host.empty() ||
            std::any_of(hosts.begin(), hosts.end(), [&](auto& h) { return h.Address == e.Host; });
        if (request.Host.empty() || forHost) {
            rows.push_back({e.TimeMs, static_cast<int>(hosts.size()), nullptr, nullptr, &e});
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const TRow& a, const TRow& b) {
        return std::tie(a.TimeMs, a.Order) < std::tie(b.TimeMs, b.Order);
    });
    const std::string_view pointKind = resolution == THistoryResolution::Raw      ? "echo"
                                       : resolution == THistoryResolution::Minute ? "minute"
                                                                                  : "hour";
    if (request.Csv) {
        // New columns go at the end: scripts read the others by position.
        out << "time,kind,host,name,echoes,lost,min_ms,median_ms,max_ms,action,ok,text,"
               "p10_ms,p25_ms,p75_ms,p90_ms\n";
    } else {
        char header[160];
        std::snprintf(header, sizeof header, "%-19s  %-15s %7s %5s %9s %9s %9s  (per %s)\n", "time",
                      "host", "echoes", "lost", "min ms", "median ms", "max ms",
                      std::string(pointKind).c_str());
        out << header;
    }
    for (const TRow& row : rows) {
        if (request.Csv) {
            WriteCsv(out, row, pointKind);
        } else {
            WriteText(out, row);
        }
    }
    return true;
}

} // namespace pingvard
