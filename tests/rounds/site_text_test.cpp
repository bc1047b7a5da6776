// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/site_text.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pingvard {
namespace {

// Seconds since 1970 as "HH:MM" of UTC, whatever the machine's zone.
std::string UtcClock(int64_t ms) {
    const int64_t minutes = ms / 60000;
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(minutes / 60 % 24),
                  static_cast<int>(minutes % 60));
    return text;
}

TSiteView Down(TSiteCause cause) {
    TSiteView view;
    view.State = TSiteState::Down;
    view.Answering = 1;
    view.Watched = 4;
    view.DownSinceMs = (3 * 60 + 12) * 60000;
    view.Cause = cause;
    return view;
}

TEST(SiteText, LineSaysTheStateAndNothingThatCountsDown) {
    TSiteView up;
    up.Answering = up.Watched = 4;
    TSiteView degraded = up;
    degraded.State = TSiteState::Degraded;
    degraded.Answering = 3;
    TSiteView held = Down(TSiteCause::LocalLink);
    held.HeldBy = {TLinkState::TKind::NoCarrier, "eth0"};
    TSiteView running = Down(TSiteCause::Uplink);
    running.ActionRunning = true;
    running.Round = 2;
    running.NextInMs = 40000;
    TSiteView firstStart = Down(TSiteCause::Uplink);
    firstStart.AwaitingConfirmation = true;
    const std::vector<std::pair<TSiteView, std::string>> cases = {
        {up, "up, 4 of 4 hosts answer"},
        {degraded, "degraded, 3 of 4 hosts answer"},
        {Down(TSiteCause::AccessPoint), "down since 03:12 (access point), 1 of 4 hosts answer"},
        {running, "down since 03:12 (uplink), 1 of 4 hosts answer"},
        {held, "down since 03:12 (local link), 1 of 4 hosts answer; This machine's link eth0 is "
               "down: no restart"},
        {Down(TSiteCause::Unknown), "down since 03:12 (cause unknown), 1 of 4 hosts answer"},
        {firstStart, "down since 03:12 (uplink), 1 of 4 hosts answer; restarts held until the "
                     "settings are confirmed"},
    };
    for (const auto& [view, line] : cases) {
        EXPECT_EQ(SiteLine(view, UtcClock), line);
    }
}

TEST(SiteText, ElapsedRoundsDownToTheSmallerUnit) {
    const std::vector<std::pair<int64_t, std::string>> cases = {
        {-5, "0 s"},           {999, "0 s"},     {59999, "59 s"},        {60000, "1 min"},
        {359999, "5 min"},     {3600000, "1 h"}, {3660000, "1 h 1 min"}, {86400000, "1 d"},
        {90000000, "1 d 1 h"},
    };
    for (const auto& [ms, text] : cases) {
        EXPECT_EQ(ElapsedText(ms), text) << ms;
    }
}

TEST(SiteText, IncidentTextsNameTheCauseAndWhatCuredIt) {
    TIncident incident;
    incident.StartMs = 1000;
    incident.EndMs = 361000;
    incident.Cause = TSiteCause::NameService;
    EXPECT_EQ(SiteDownText(incident), "Site down (name service)");
    EXPECT_EQ(SiteBackText(incident), "Site back after 6 min (not cured)");
    incident.CuredBy = "plug";
    EXPECT_EQ(SiteBackText(incident), "Site back after 6 min (cured by plug)");
    incident.Cause = TSiteCause::LocalLink;
    incident.Link = "eth0";
    EXPECT_EQ(SiteDownText(incident), "Site down (local link eth0)");
    EXPECT_EQ(RestartsPausedText((14 * 60 + 5) * 60000, UtcClock), "Restarts paused until 14:05");
}

TEST(SiteText, RuleNamesTheHostsThatFailed) {
    TRoundView view;
    view.MaxTimeouts = 5;
    view.Hosts = {{{true, 5, "10.0.0.11"},
                   {true, 7, "gw"},
                   {true, 4, "10.0.0.13"},
                   {false, 9, "192.168.168.1"}}};
    EXPECT_EQ(RuleFiredText(view), "10.0.0.11, gw failed 5 times in a row");
    view.MaxTimeouts = 1;
    view.Hosts[0].Failures = 0;
    view.Hosts[1].Failures = 0;
    EXPECT_EQ(RuleFiredText(view), "10.0.0.13 failed 1 time in a row");
}

TEST(SiteText, HeldLinkNamesTheLinkOrTheAddress) {
    using K = TLinkState::TKind;
    EXPECT_EQ(LinkHeldText({K::NoCarrier, "eth0"}, "192.168.168.1"),
              "This machine's link eth0 is down: no restart");
    EXPECT_EQ(LinkHeldText({K::NoRoute, ""}, "192.168.168.1"),
              "This machine has no route to 192.168.168.1: no restart");
    EXPECT_EQ(LinkBackText({K::Up, "eth0"}, "192.168.168.1"),
              "This machine's link eth0 is up again");
    EXPECT_EQ(LinkBackText({}, "192.168.168.1"), "This machine can reach 192.168.168.1 again");
}

TEST(SiteImage, FollowsTheStateAndTheAction) {
    struct TCase {
        TSiteState State;
        bool Running;
        bool FailedStep;
        int Image;
    };
    const std::vector<TCase> cases = {
        {TSiteState::Up, false, false, kTrayNormal},
        {TSiteState::Up, false, true, kTrayNormal}, // a failed attempt: the tooltip says so
        {TSiteState::Degraded, false, false, kTrayNormal},
        {TSiteState::Up, true, false, kTrayResetting},
        {TSiteState::Down, true, true, kTrayResetting},
        {TSiteState::Down, false, true, kTrayFailed},
        {TSiteState::Down, false, false, kTraySiteDown},
    };
    for (const TCase& c : cases) {
        TSiteView view;
        view.State = c.State;
        view.ActionRunning = c.Running;
        view.FailedStep = c.FailedStep;
        EXPECT_EQ(TrayImageFor(view), c.Image)
            << SiteStateName(c.State) << " running " << c.Running << " failed " << c.FailedStep;
    }
}

} // namespace
} // namespace pingvard
