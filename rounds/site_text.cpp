// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/site_text.h"

#include <cstdio>
#include <ctime>

namespace pingvard {

namespace {

std::string Answering(const TSiteView& view) {
    return std::to_string(view.Answering) + " of " + std::to_string(view.Watched) + " hosts answer";
}

// "local link eth0", "local link 192.168.168.1", or the cause alone.
std::string CauseWithLink(TSiteCause cause, const std::string& link) {
    std::string text = CauseText(cause);
    if (cause == TSiteCause::LocalLink && !link.empty()) {
        text += " " + link;
    }
    return text;
}

} // namespace

std::string LocalClockText(int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    const std::time_t now = std::time(nullptr);
    std::tm at{};
    std::tm today{};
    localtime_r(&seconds, &at);
    localtime_r(&now, &today);
    char text[32];
    const bool sameDay = at.tm_year == today.tm_year && at.tm_yday == today.tm_yday;
    std::strftime(text, sizeof text, sameDay ? "%H:%M" : "%Y-%m-%d %H:%M", &at);
    return text;
}

std::string CauseText(TSiteCause cause) {
    switch (cause) {
    case TSiteCause::Uplink:
        return "uplink";
    case TSiteCause::AccessPoint:
        return "access point";
    case TSiteCause::LocalLink:
        return "local link";
    case TSiteCause::NameService:
        return "name service";
    case TSiteCause::Unknown:
        break;
    }
    return "cause unknown";
}

std::string ElapsedText(int64_t ms) {
    const int64_t s = ms > 0 ? ms / 1000 : 0;
    const auto pair = [](int64_t big, const char* bigUnit, int64_t small, const char* smallUnit) {
        std::string text = std::to_string(big) + " " + bigUnit;
        return small > 0 ? text + " " + std::to_string(small) + " " + smallUnit : text;
    };
    if (s < 60) {
        return std::to_string(s) + " s";
    }
    if (s < 3600) {
        return std::to_string(s / 60) + " min";
    }
    if (s < 86400) {
        return pair(s / 3600, "h", s % 3600 / 60, "min");
    }
    return pair(s / 86400, "d", s % 86400 / 3600, "h");
}

std::string LinkHeldText(const TLinkState& link, const std::string& address) {
    if (link.Kind == TLinkState::TKind::NoCarrier) {
        return "This machine's link " + link.Interface + " is down: no restart";
    }
    return "This machine has no route to " + address + ": no restart";
}

std::string LinkBackText(const TLinkState& link, const std::string& address) {
    if (!link.Interface.empty()) {
        return "This machine's link " + link.Interface + " is up again";
    }
    return "This machine can reach " + address + " again";
}

std::string SiteDownText(const TIncident& incident) {
    return "Site down (" + CauseWithLink(incident.Cause, incident.Link) + ")";
}

std::string SiteBackText(const TIncident& incident) {
    const std::string how = incident.CuredBy.empty() ? "not cured" : "cured by " + incident.CuredBy;
    return "Site back after " + ElapsedText(incident.DurationMs(incident.EndMs)) + " (" + how + ")";
}

std::string RestartsPausedText(int64_t untilMs, const TClockText& clock) {
    return "Restarts paused until " + clock(untilMs);
}

std::string RuleFiredText(const TRoundView& view) {
    std::string hosts;
    for (const TRoundHost& host : view.Hosts) {
        if (host.Marked && host.Failures >= view.MaxTimeouts) {
            hosts += (hosts.empty() ? "" : ", ") + host.Address;
        }
    }
    return hosts + " failed " + std::to_string(view.MaxTimeouts) + " time" +
           (view.MaxTimeouts == 1 ? "" : "s") + " in a row";
}

namespace {

std::string StateLine(const TSiteView& view, const TClockText& clock) {
    switch (view.State) {
    case TSiteState::Up:
        return "up, " + Answering(view);
    case TSiteState::Degraded:
        return "degraded, " + Answering(view);
    case TSiteState::Down:
        break;
    }
    std::string line = "down since " + clock(view.DownSinceMs) + " (" + CauseText(view.Cause) +
                       "), " + Answering(view);
    if (view.HeldBy.Down()) {
        line += "; " + LinkHeldText(view.HeldBy, view.HeldAddress);
    }
    return line;
}

} // namespace

std::string SiteLine(const TSiteView& view, const TClockText& clock) {
    const std::string line = StateLine(view, clock);
    return view.AwaitingConfirmation ? line + "; restarts held until the settings are confirmed"
                                     : line;
}

} // namespace pingvard
