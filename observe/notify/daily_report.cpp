// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/daily_report.h"

#include "observe/history/incident_reader.h"
#include "observe/history/incident_report.h"
#include "observe/iso_time.h"
#include "observe/web/json_writer.h"
#include "rounds/site_text.h"

#include <ctime>

namespace pingvard {

namespace {

// The report moment of the local day of ms, dayOffset days later. mktime
// settles a time that a daylight-saving change skips.
int64_t ReportMoment(int64_t ms, int32_t minuteOfDay, int dayOffset) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    ::localtime_r(&seconds, &tm);
    tm.tm_mday += dayOffset;
    tm.tm_hour = minuteOfDay / 60;
    tm.tm_min = minuteOfDay % 60;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm)) * 1000;
}

std::string LocalDate(int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    ::localtime_r(&seconds, &tm);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

// "2026-12-09 03:12:31, 6 min, uplink eth1, cured by telnet"
std::string IncidentLine(const TIncidentRecord& record, int64_t nowMs) {
    const TIncident& i = record.Incident;
    std::string cause = CauseText(i.Cause);
    if (!i.Link.empty()) {
        cause += " " + i.Link;
    }
    std::string cured;
    if (i.Open()) {
        cured = "still down";
    } else if (record.Unfinished) {
        cured = "not seen to end (the program stopped)";
    } else {
        cured = i.CuredBy.empty() ? "not cured" : "cured by " + i.CuredBy;
    }
    return FormatLocalTime(i.StartMs, false) + ", " + ElapsedText(i.DurationMs(nowMs)) +
           (i.Open() ? " so far" : "") + ", " + cause + ", " + cured;
}

std::string ShareFact(const TUptime& uptime) {
    const std::optional<double> share = uptime.Share();
    return share ? std::to_string(*share * 100.0) : "null";
}

} // namespace

std::optional<int64_t> DueDailyReport(int64_t nowMs, int32_t minuteOfDay) {
    int64_t moment = ReportMoment(nowMs, minuteOfDay, 0);
    if (moment > nowMs) {
        moment = ReportMoment(nowMs, minuteOfDay, -1);
    }
    if (moment > nowMs || nowMs - moment > kDailyReportGraceMs) {
        return std::nullopt;
    }
    return moment;
}

int64_t NextDailyReport(int64_t nowMs, int32_t minuteOfDay) {
    const int64_t today = ReportMoment(nowMs, minuteOfDay, 0);
    return today > nowMs ? today : ReportMoment(nowMs, minuteOfDay, 1);
}

TDailyHistory ReadDailyHistory(const std::string& historyFile, int64_t nowMs) {
    TDailyHistory history;
    if (historyFile.empty()) {
        history.Problem = "the history is off";
        return history;
    }
    TIncidentReader reader(historyFile);
    if (!reader.Open()) {
        history.Problem = "cannot read the history: " + reader.LastError();
        return history;
    }
    history.Incidents = reader.Incidents(nowMs - kDayMs);
    history.Uptime = reader.Uptime(nowMs);
    if (!reader.LastError().empty()) {
        history.Problem = "cannot read the history: " + reader.LastError();
    }
    return history;
}

TNotification MakeDailyReport(int64_t reportMs, int64_t nowMs, const std::string& site,
                              const TDailyHistory& history) {
    TNotification n;
    const std::string day = LocalDate(reportMs);
    n.Id = std::string("daily-report-") + day;
    n.Event = "daily-report";
    n.TimeMs = nowMs;
    n.Priority = 2;
    n.Body = "Daily report " + day + "\n\nSite: " + site +
             "\nWhen: " + FormatLocalTime(nowMs, false) + "\n";
    n.Facts = "\"site\":" + JsonString(site) + ",\"day\":" + JsonString(day);
    if (!history.Problem.empty()) {
        n.Title = site + ": Daily report " + day + ": no figures";
        n.Body += "\nNo uptime or incidents: " + history.Problem + "\n";
        n.Facts += ",\"uptime_24h\":null,\"uptime_7d\":null,\"incidents_24h\":null,\"problem\":" +
                   JsonString(history.Problem);
        return n;
    }
    const std::size_t count = history.Incidents.size();
    const std::string incidents = std::to_string(count) + (count == 1 ? " incident" : " incidents");
    n.Title =
        site + ": Daily report " + day + ": " + UptimeText(history.Uptime.Day) + ", " + incidents;
    n.Body += "\nUptime last 24 h: " + UptimeText(history.Uptime.Day) + "\n";
    n.Body += "Uptime last 7 days: " + UptimeText(history.Uptime.Week) + "\n";
    n.Body += "Incidents last 24 h: " + std::to_string(count) + "\n";
    for (const TIncidentRecord& record : history.Incidents) {
        n.Body += "- " + IncidentLine(record, nowMs) + "\n";
    }
    n.Facts += ",\"uptime_24h\":" + ShareFact(history.Uptime.Day) +
               ",\"uptime_7d\":" + ShareFact(history.Uptime.Week) +
               ",\"incidents_24h\":" + std::to_string(count);
    return n;
}

} // namespace pingvard
