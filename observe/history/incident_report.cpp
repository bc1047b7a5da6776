// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/incident_report.h"

#include "observe/history/history_report.h"
#include "observe/iso_time.h"
#include "rounds/site_text.h"

#include <cmath>
#include <cstdio>

namespace pingvard {

namespace {

std::string Joined(const std::vector<std::string>& values, const char* separator) {
    std::string out;
    for (const std::string& value : values) {
        out += (out.empty() ? "" : separator) + value;
    }
    return out;
}

std::string State(const TIncidentRecord& record) {
    return record.Unfinished ? "unfinished" : record.Incident.Open() ? "open" : "ended";
}

std::string Seconds(int64_t ms) {
    return std::to_string(ms / 1000);
}

// Floored, so that a share with any down time never reads as 100%.
std::string Percent(double share) {
    if (share >= 1.0) {
        return "100";
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", std::floor(share * 10000.0) / 100.0);
    return text;
}

void WriteCsvIncident(std::ostream& out, const TIncidentRecord& record, int64_t nowMs) {
    const TIncident& i = record.Incident;
    out << "incident," << FormatLocalTime(i.StartMs, true) << ','
        << (i.Open() ? std::string() : FormatLocalTime(i.EndMs, true)) << ','
        << Seconds(i.DurationMs(nowMs)) << ',' << State(record) << ',' << CauseName(i.Cause) << ','
        << CsvField(i.Link) << ',' << CsvField(Joined(i.HostsDown, " ")) << ','
        << CsvField(i.CuredBy) << ",,,,,,,\n";
    for (const TIncidentStep& s : i.Steps) {
        const bool ended = s.EndMs != 0;
        out << "step," << FormatLocalTime(s.StartMs, true) << ','
            << (ended ? FormatLocalTime(s.EndMs, true) : std::string()) << ','
            << (ended ? Seconds(std::max<int64_t>(s.EndMs - s.StartMs, 0)) : std::string())
            << ",,,,,," << CsvField(s.Action) << ',' << CsvField(s.Kind) << ','
            << (ended ? (s.Ok ? "1" : "0") : "") << ',' << CsvField(s.Outcome) << ",,,\n";
    }
}

void WriteCsvUptime(std::ostream& out, const TUptime& u) {
    const std::optional<double> share = u.Share();
    out << "uptime," << FormatLocalTime(u.FromMs, true) << ',' << FormatLocalTime(u.ToMs, true)
        << ',' << Seconds(u.ToMs - u.FromMs) << ",,,,,,,,,," << Seconds(u.WatchedMs) << ','
        << Seconds(u.DownMs) << ',' << (share ? Percent(*share) : std::string()) << '\n';
}

std::string StepLine(const TIncidentStep& s) {
    std::string line = "    " + FormatLocalTime(s.StartMs, false) + "  " + s.Action;
    if (!s.Kind.empty()) {
        line += " (" + s.Kind + ")";
    }
    if (s.EndMs == 0) {
        return line + "  did not end\n";
    }
    line += std::string(s.Ok ? "  OK" : "  failed") + " after " +
            ElapsedText(std::max<int64_t>(s.EndMs - s.StartMs, 0));
    return line + (s.Outcome.empty() ? "" : ": " + s.Outcome) + "\n";
}

void WriteTextIncident(std::ostream& out, const TIncidentRecord& record, int64_t nowMs) {
    const TIncident& i = record.Incident;
    std::string line = FormatLocalTime(i.StartMs, false);
    if (i.Open()) {
        line += "  open, down " + ElapsedText(i.DurationMs(nowMs)) + " so far";
    } else {
        line += " to " + FormatLocalTime(i.EndMs, false) + "  " + ElapsedText(i.DurationMs(nowMs));
    }
    line += "  " + CauseText(i.Cause);
    if (!i.Link.empty()) {
        line += " " + i.Link;
    }
    if (!i.HostsDown.empty()) {
        line += " (" + Joined(i.HostsDown, ", ") + ")";
    }
    if (record.Unfinished) {
        line += "  unfinished: pingvard ended while the site was down";
    } else if (!i.Open()) {
        line += i.CuredBy.empty() ? "  not cured" : "  cured by " + i.CuredBy;
    }
    out << line << '\n';
    for (const TIncidentStep& s : i.Steps) {
        out << StepLine(s);
    }
}

std::string Watched(const TUptime& u) {
    return u.WatchedMs > 0 ? ElapsedText(u.WatchedMs) : "nothing";
}

} // namespace

std::string UptimeText(const TUptime& uptime) {
    const std::optional<double> share = uptime.Share();
    return share ? Percent(*share) + "%" : "no data";
}

bool WriteIncidentReport(TIncidentReader& reader, const TIncidentReportRequest& request,
                         int64_t nowMs, std::ostream& out, std::string& error) {
    if (!reader.Open()) {
        error = reader.LastError();
        return false;
    }
    const int64_t from = nowMs - request.Since.count() * 1000;
    const std::vector<TIncidentRecord> incidents = reader.Incidents(from);
    const TUptimeSummary uptime = reader.Uptime(nowMs);
    if (request.Csv) {
        out << "record,start,end,duration_s,state,cause,link,hosts,cured_by,action,kind,ok,text,"
               "watched_s,down_s,up_percent\n";
        for (const TIncidentRecord& record : incidents) {
            WriteCsvIncident(out, record, nowMs);
        }
        for (const TUptime* u : {&uptime.Day, &uptime.Week, &uptime.Month}) {
            WriteCsvUptime(out, *u);
        }
        return true;
    }
    if (incidents.empty()) {
        out << "No incidents since " << FormatLocalTime(from, false) << "\n";
    }
    for (const TIncidentRecord& record : incidents) {
        WriteTextIncident(out, record, nowMs);
    }
    out << "Uptime while watched: " << UptimeText(uptime.Day) << " last 24 h, "
        << UptimeText(uptime.Week) << " last 7 days, " << UptimeText(uptime.Month)
        << " last 30 days (watched " << Watched(uptime.Day) << ", " << Watched(uptime.Week) << ", "
        << Watched(uptime.Month) << ")\n";
    return true;
}

} // namespace pingvard
