// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/notification.h"

#include "observe/iso_time.h"
#include "observe/web/json_writer.h"
#include "rounds/site_text.h"

#include <chrono>
#include <cstdio>

namespace pingvard {

namespace {

int64_t UnixMs(std::chrono::system_clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : ", ") + item;
    }
    return out;
}

std::string Clock(int64_t ms) {
    return FormatLocalTime(ms, false);
}

// "07:05:12 telnet (telnet): Reset OK - 8 s"; a step still running says so.
std::string StepLine(const TIncidentStep& step) {
    std::string line = Clock(step.StartMs) + " " + step.Action;
    if (!step.Kind.empty() && step.Kind != step.Action) {
        line += " (" + step.Kind + ")";
    }
    if (step.EndMs == 0) {
        return line + ": running";
    }
    return line + ": " + step.Outcome + " (" + ElapsedText(step.EndMs - step.StartMs) + ")";
}

void IncidentLines(const TIncident& incident, int64_t nowMs, std::string& body) {
    body += "Down since: " + Clock(incident.StartMs) + "\n";
    if (!incident.Open()) {
        body += "Back at: " + Clock(incident.EndMs) + "\n";
    }
    body += "Downtime: " + ElapsedText(incident.DurationMs(nowMs)) +
            (incident.Open() ? " so far" : "") + "\n";
    std::string cause = CauseText(incident.Cause);
    if (!incident.Link.empty()) {
        cause += " " + incident.Link;
    }
    body += "Cause: " + cause + "\n";
    if (!incident.HostsDown.empty()) {
        body += "Hosts down: " + Join(incident.HostsDown) + "\n";
    }
    if (incident.Steps.empty()) {
        body += "Steps: none\n";
    } else {
        body += "Steps:\n";
        for (const TIncidentStep& step : incident.Steps) {
            body += "- " + StepLine(step) + "\n";
        }
    }
    if (!incident.Open()) {
        body +=
            "Cured by: " + (incident.CuredBy.empty() ? "nothing (not cured)" : incident.CuredBy) +
            "\n";
    }
}

std::string IncidentFacts(const TIncident& incident, int64_t nowMs) {
    std::string facts =
        ",\"incident_start\":" + JsonString(FormatLocalTime(incident.StartMs, true));
    facts +=
        ",\"incident_end\":" +
        (incident.Open() ? std::string("null") : JsonString(FormatLocalTime(incident.EndMs, true)));
    facts += ",\"downtime_seconds\":" + std::to_string(incident.DurationMs(nowMs) / 1000);
    facts += ",\"cause\":" + JsonString(CauseName(incident.Cause));
    facts += ",\"hosts_down\":[";
    for (std::size_t i = 0; i < incident.HostsDown.size(); ++i) {
        facts += (i == 0 ? "" : ",") + JsonString(incident.HostsDown[i]);
    }
    facts += "],\"steps\":[";
    for (std::size_t i = 0; i < incident.Steps.size(); ++i) {
        const TIncidentStep& s = incident.Steps[i];
        facts += std::string(i == 0 ? "" : ",") + "{\"action\":" + JsonString(s.Action) +
                 ",\"kind\":" + JsonString(s.Kind) +
                 ",\"start\":" + JsonString(FormatLocalTime(s.StartMs, true)) +
                 ",\"ok\":" + (s.Ok ? "true" : "false") + ",\"outcome\":" + JsonString(s.Outcome) +
                 "}";
    }
    facts += "],\"cured_by\":" + JsonString(incident.CuredBy);
    return facts;
}

int PriorityOf(TMonitorEventKind kind) {
    switch (kind) {
    case TMonitorEventKind::SiteDown:
    case TMonitorEventKind::RestartsPaused:
        return 5;
    case TMonitorEventKind::SiteBack:
    case TMonitorEventKind::RuleFired:
    case TMonitorEventKind::ActionOutcome:
        return 4;
    default:
        break;
    }
    return 3;
}

} // namespace

TNotification MakeNotification(const TMonitorEvent& event, const std::string& site) {
    TNotification n;
    n.Event = std::string(KindName(event.Kind));
    n.TimeMs = UnixMs(event.Time);
    n.Priority = PriorityOf(event.Kind);
    const TIncident* incident = event.Incident.get();
    // The incident's start names the incident; the event's own time tells
    // apart the events that may come more than once in one.
    const int64_t key = incident != nullptr ? incident->StartMs : n.TimeMs;
    n.Id = n.Event + "." + std::to_string(key);
    switch (event.Kind) {
    case TMonitorEventKind::SiteDown:
    case TMonitorEventKind::SiteBack:
        break;
    case TMonitorEventKind::ActionOutcome:
    case TMonitorEventKind::ActionStarted:
        n.Id += "." + std::to_string(incident != nullptr ? incident->Steps.size() : 0) + "." +
                std::to_string(n.TimeMs);
        break;
    default:
        n.Id += "." + std::to_string(n.TimeMs);
        break;
    }
    n.Title = event.Text.empty() ? n.Event : event.Text;
    if (!event.Action.empty()) {
        n.Title = event.Action + ": " + n.Title;
    }
    n.Title = site + ": " + n.Title;
    n.Body = (event.Text.empty() ? n.Event : event.Text) + "\n\n";
    n.Body += "Site: " + site + "\n";
    n.Body += "When: " + Clock(n.TimeMs) + "\n";
    if (!event.Host.empty()) {
        n.Body += "Host: " + event.Host +
                  (event.DisplayName.empty() ? "" : " (" + event.DisplayName + ")") + "\n";
    }
    if (!event.Action.empty()) {
        n.Body += "Action: " + event.Action + " (" + event.ActionKind + ")\n";
    }
    n.Facts = "\"site\":" + JsonString(site);
    if (!event.Host.empty()) {
        n.Facts += ",\"host\":" + JsonString(event.Host);
    }
    if (!event.Action.empty()) {
        n.Facts +=
            ",\"action\":" + JsonString(event.Action) + ",\"ok\":" + (event.Ok ? "true" : "false");
    }
    if (incident != nullptr) {
        n.Body += "\n";
        IncidentLines(*incident, n.TimeMs, n.Body);
        n.Facts += IncidentFacts(*incident, n.TimeMs);
    }
    return n;
}

TNotification TestNotification(int64_t nowMs, const std::string& site) {
    TNotification n;
    n.Id = "test." + std::to_string(nowMs);
    n.Event = "test";
    n.TimeMs = nowMs;
    n.Title = site + ": test message";
    n.Body = "A test message from pingvard on " + site + ", sent at " + Clock(nowMs) +
             ".\nIf you read this, the channel works.\n";
    n.Facts = "\"site\":" + JsonString(site);
    return n;
}

} // namespace pingvard
