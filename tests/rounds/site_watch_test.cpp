// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/site_text.h"
#include "rounds/site_watch.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace pingvard {
namespace {

std::string Line(const TSiteDecision& decision) {
    struct TLine {
        std::string operator()(const TSiteChanged& c) const {
            return "state " + std::string(SiteStateName(c.State));
        }
        std::string operator()(const TIncidentBegan& b) const {
            std::string line = SiteDownText(*b.Incident) + ":";
            for (const std::string& host : b.Incident->HostsDown) {
                line += " " + host;
            }
            return line;
        }
        std::string operator()(const TIncidentEnded& e) const {
            std::string line = SiteBackText(*e.Incident) + ":";
            for (const TIncidentStep& step : e.Incident->Steps) {
                line += " " + step.Action + (step.Ok ? " ok" : " failed");
            }
            return line;
        }
        std::string operator()(const TRestartsPaused& p) const {
            return "paused until " + std::to_string(p.UntilMs / 1000) + " s";
        }
        std::string operator()(const TLinkHoldChanged& h) const {
            return h.Held ? LinkHeldText(h.Link, h.Address) : LinkBackText(h.Link, h.Address);
        }
    };
    return std::visit(TLine{}, decision);
}

enum class TOp { Lost, Answered, Link, Probe, Names, Started, Ended, Paused, Resumed };

struct TWatchStep {
    int64_t AtS; // wall clock, seconds
    TOp Op;
    std::string Arg; // Lost, Answered: the slots ("012"); Link: "up", "nocarrier", "noroute";
                     // Probe, Names, Ended: "yes"/"no" ("ok"/"failed"); Started: the action
    std::vector<std::string> Expect;
    bool RoundActive = false;
    uint32_t PausedForS = 0;
};

struct TWatchCase {
    const char* Name;
    std::vector<std::string> Addresses; // the four slots; 0-2 marked
    std::optional<int> AccessPointSlot;
    int32_t Quorum;
    std::vector<TWatchStep> Steps;
};

void PrintTo(const TWatchCase& c, std::ostream* os) {
    *os << c.Name;
}

// MaxTimeouts 2: a host is down after two lost echoes in a row.
class SiteWatch : public testing::TestWithParam<TWatchCase> {
protected:
    SiteWatch() : Watch([this] { return NowMs; }) {
        Watch.Configure(GetParam().Quorum, GetParam().AccessPointSlot);
        View.MaxTimeouts = 2;
        for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
            View.Hosts[slot] = {slot < 3, 0, GetParam().Addresses.at(slot)};
        }
    }

    TSiteDecisions Call(const TWatchStep& step) {
        TRoundStatus round;
        round.Active = step.RoundActive;
        round.PausedForMs = step.PausedForS * 1000;
        TSiteDecisions out;
        const auto append = [&out](TSiteDecisions more) {
            out.insert(out.end(), more.begin(), more.end());
        };
        switch (step.Op) {
        case TOp::Lost:
        case TOp::Answered:
            for (char slot : step.Arg) {
                append(Watch.PingReport(slot - '0', step.Op == TOp::Answered, View, round));
            }
            break;
        case TOp::Link: {
            using K = TLinkState::TKind;
            const TLinkState link = step.Arg == "up"          ? TLinkState{K::Up, "pvA"}
                                    : step.Arg == "nocarrier" ? TLinkState{K::NoCarrier, "pvA"}
                                                              : TLinkState{K::NoRoute, ""};
            append(Watch.Clues({link, "192.168.168.1", {}, {}}, View));
            break;
        }
        case TOp::Probe:
            append(Watch.Clues({{}, {}, step.Arg == "yes", {}}, View));
            break;
        case TOp::Names:
            append(Watch.Clues({{}, {}, {}, step.Arg == "yes"}, View));
            break;
        case TOp::Started: // "name" or "name/verify s"
            Watch.StepStarted(step.Arg.substr(0, step.Arg.find('/')), "program",
                              step.Arg.find('/') == std::string::npos
                                  ? 0
                                  : std::stoul(step.Arg.substr(step.Arg.find('/') + 1)) * 1000);
            break;
        case TOp::Ended:
            Watch.StepEnded(step.Arg == "ok", step.Arg);
            break;
        case TOp::Paused:
            append(Watch.GuardPaused(round));
            break;
        case TOp::Resumed:
            Watch.GuardResumed();
            break;
        }
        return out;
    }

    int64_t NowMs = 0;
    TSiteWatch Watch;
    TRoundView View;
};

TEST_P(SiteWatch, FollowsTheTable) {
    for (const TWatchStep& step : GetParam().Steps) {
        NowMs = step.AtS * 1000;
        std::vector<std::string> lines;
        for (const TSiteDecision& decision : Call(step)) {
            lines.push_back(Line(decision));
        }
        ASSERT_EQ(lines, step.Expect) << "at " << step.AtS << " s";
    }
}

using S = std::vector<std::string>;
const std::vector<std::string> kAddresses{"10.0.0.11", "10.0.0.12", "10.0.0.13", "192.168.168.1"};
const S kNothing{};
const S kDegraded{"state degraded"};
const S kUp{"state up"};

// The first of the three marked hosts down degrades the site, the last takes it down.
S Down(const std::string& cause, const std::string& hosts = "10.0.0.11 10.0.0.12 10.0.0.13") {
    return {"state degraded", "state down", "Site down (" + cause + "): " + hosts};
}

INSTANTIATE_TEST_SUITE_P(
    Table, SiteWatch,
    testing::Values(
        TWatchCase{"DegradedUntilTheQuorumHasFailed",
                   kAddresses,
                   3,
                   0,
                   {{0, TOp::Answered, "3", kNothing},
                    {1, TOp::Lost, "0", kNothing}, // one lost echo: still answering
                    {2, TOp::Lost, "0", kDegraded},
                    {2, TOp::Lost, "3", kNothing}, // an unmarked host
                    {2, TOp::Answered, "0", kUp}}},
        TWatchCase{"AccessPointAnswering",
                   kAddresses,
                   3,
                   0,
                   {{0, TOp::Answered, "3", kNothing},
                    {1, TOp::Lost, "012", kNothing},
                    {2, TOp::Lost, "012", Down("uplink")}}},
        TWatchCase{"AccessPointSilentToo",
                   kAddresses,
                   3,
                   0,
                   {{1, TOp::Lost, "0123", kNothing}, {2, TOp::Lost, "012", Down("access point")}}},
        TWatchCase{"UnwatchedAccessPointAnsweringTheProbe",
                   {"10.0.0.11", "10.0.0.12", "10.0.0.13", "10.0.0.14"},
                   std::nullopt,
                   0,
                   {{1, TOp::Lost, "012", kNothing},
                    {1, TOp::Probe, "yes", kNothing},
                    {2, TOp::Lost, "012", Down("uplink")}}},
        TWatchCase{"CauseKnownOnlyOnceTheProbeAnswersBeforeAnyStep",
                   {"10.0.0.11", "10.0.0.12", "10.0.0.13", "10.0.0.14"},
                   std::nullopt,
                   0,
                   {{1, TOp::Lost, "012", kNothing},
                    {2, TOp::Lost, "012", Down("cause unknown")},
                    {2, TOp::Probe, "no", kNothing},
                    {3, TOp::Started, "first", kNothing},
                    {4, TOp::Probe, "yes", kNothing}, // the restart's own doing: kept
                    {5, TOp::Ended, "ok", kNothing},
                    {60,
                     TOp::Answered,
                     "012",
                     {"Site back after 58 s (cured by first): first ok", "state up"},
                     true}}},
        TWatchCase{"NoCarrierTowardsTheAccessPointHoldsRestarts",
                   kAddresses,
                   3,
                   0,
                   {{1, TOp::Link, "nocarrier", kNothing}, // no incident: nothing to hold
                    {1, TOp::Lost, "0123", kNothing},
                    {2,
                     TOp::Lost,
                     "012",
                     {"state degraded", "state down",
                      "Site down (local link pvA): 10.0.0.11 10.0.0.12 10.0.0.13",
                      "This machine's link pvA is down: no restart"}},
                    {3, TOp::Link, "up", {"This machine's link pvA is up again"}},
                    {9, TOp::Answered, "012", {"Site back after 7 s (not cured):", "state up"}}}},
        TWatchCase{"NoRouteToTheAccessPoint",
                   kAddresses,
                   3,
                   0,
                   {{1, TOp::Link, "noroute", kNothing},
                    {1, TOp::Lost, "0123", kNothing},
                    {2,
                     TOp::Lost,
                     "012",
                     {"state degraded", "state down",
                      "Site down (local link 192.168.168.1): 10.0.0.11 10.0.0.12 10.0.0.13",
                      "This machine has no route to 192.168.168.1: no restart"}}}},
        TWatchCase{"NamesFailWhileAnAddressAnswers",
                   {"a.example", "b.example", "c.example", "10.0.0.14"},
                   std::nullopt,
                   0,
                   {{0, TOp::Answered, "3", kNothing},
                    {1, TOp::Names, "yes", kNothing},
                    {1, TOp::Probe, "yes", kNothing},
                    {1, TOp::Lost, "012", kNothing},
                    {2, TOp::Lost, "012", Down("name service", "a.example b.example c.example")}}},
        TWatchCase{"NamesFailingWithNoAddressAnsweringIsTheUplink",
                   {"a.example", "b.example", "c.example", "10.0.0.14"},
                   std::nullopt,
                   0,
                   {{1, TOp::Names, "yes", kNothing},
                    {1, TOp::Probe, "yes", kNothing},
                    {1, TOp::Lost, "0123", kNothing},
                    {2, TOp::Lost, "012", Down("uplink", "a.example b.example c.example")}}},
        TWatchCase{"BackOnlyWhenEveryFailedHostAnswered",
                   kAddresses,
                   3,
                   0,
                   {{0, TOp::Answered, "3", kNothing},
                    {1, TOp::Lost, "012", kNothing},
                    {2, TOp::Lost, "012", Down("uplink")},
                    {3, TOp::Started, "first", kNothing},
                    {4, TOp::Ended, "failed", kNothing},
                    {5, TOp::Started, "second", kNothing},
                    {6, TOp::Ended, "ok", kNothing},
                    {7, TOp::Answered, "01", kNothing, true},
                    {8, TOp::Lost, "0", kNothing, true}, // answered once: enough
                    {9,
                     TOp::Answered,
                     "2",
                     {"Site back after 7 s (cured by second): first failed second ok", "state up"},
                     true}}},
        TWatchCase{"AStepWithoutVerifyTimeCuresWhatComesBackWithinABootOnly",
                   kAddresses,
                   3,
                   0,
                   {{0, TOp::Answered, "3", kNothing},
                    {1, TOp::Lost, "012", kNothing},
                    {2, TOp::Lost, "012", Down("uplink")},
                    {3, TOp::Started, "first", kNothing},
                    {4, TOp::Ended, "ok", kNothing}, // its round ends with it
                    {304,
                     TOp::Answered,
                     "012",
                     {"Site back after 5 min (cured by first): first ok", "state up"}},
                    {400, TOp::Lost, "012", kNothing},
                    {401, TOp::Lost, "012", Down("uplink")},
                    {402, TOp::Started, "first/10", kNothing}, // judged by its round
                    {403, TOp::Ended, "ok", kNothing},
                    {420,
                     TOp::Answered,
                     "012", // the round ended uncured
                     {"Site back after 19 s (not cured): first ok", "state up"}},
                    {505, TOp::Lost, "012", kNothing},
                    {506, TOp::Lost, "012", Down("uplink")},
                    {507, TOp::Started, "first", kNothing},
                    {508, TOp::Ended, "ok", kNothing},
                    {809,
                     TOp::Answered,
                     "012",
                     {"Site back after 5 min (not cured): first ok", "state up"}}}},
        TWatchCase{"HostFailingDuringTheIncidentIsWaitedForToo",
                   kAddresses,
                   3,
                   1,
                   {{1, TOp::Lost, "0", kNothing},
                    {2, TOp::Lost, "0", {"state down", "Site down (cause unknown): 10.0.0.11"}},
                    {3, TOp::Lost, "11", kNothing},
                    {4, TOp::Answered, "0", kNothing},
                    {5, TOp::Answered, "1", {"Site back after 3 s (not cured):", "state up"}}}},
        TWatchCase{
            "PausedOncePerPause",
            kAddresses,
            3,
            0,
            {{0, TOp::Paused, "", kNothing, false, 60}, // no incident: nothing to say
             {1, TOp::Lost, "0123", kNothing},
             {2,
              TOp::Lost,
              "012",
              {"state degraded", "state down",
               "Site down (access point): 10.0.0.11 10.0.0.12 10.0.0.13", "paused until 3602 s"},
              false,
              3600},
             {3, TOp::Paused, "", kNothing, false, 3599},
             {4, TOp::Resumed, "", kNothing},
             {5, TOp::Paused, "", {"paused until 65 s"}, false, 60}}}),
    [](const testing::TestParamInfo<TWatchCase>& param) { return std::string(param.param.Name); });

// Whichever clue explains the most wins: this machine's own link first.
TEST(SiteCause, TheLinkThenTheNamesThenTheAccessPoint) {
    using K = TLinkState::TKind;
    struct TCase {
        TLinkState Link;
        std::optional<bool> AccessPoint;
        bool NamesFail;
        bool AddressAnswers;
        TSiteCause Cause;
    };
    const std::vector<TCase> cases = {
        {{K::Up, "eth0"}, true, false, false, TSiteCause::Uplink},
        {{K::Up, "eth0"}, false, false, false, TSiteCause::AccessPoint},
        {{}, std::nullopt, false, false, TSiteCause::Unknown},
        {{K::NoCarrier, "eth0"}, false, false, false, TSiteCause::LocalLink},
        {{K::NoRoute, ""}, true, true, true, TSiteCause::LocalLink},
        {{K::Up, "eth0"}, true, true, true, TSiteCause::NameService},
        {{K::Up, "eth0"}, true, true, false, TSiteCause::Uplink}, // nothing answers by address
        {{K::Up, "eth0"}, false, false, true, TSiteCause::AccessPoint},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(LikelyCause({c.Link, c.AccessPoint, c.NamesFail, c.AddressAnswers}), c.Cause)
            << CauseName(c.Cause);
    }
}

TEST(SiteWatchResume, GoesOnForTheHostsStillWatched) {
    int64_t now = 100000;
    TSiteWatch watch([&now] { return now; });
    TRoundView view;
    view.MaxTimeouts = 3;
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
        view.Hosts[slot] = {true, 0, "10.0.0." + std::to_string(slot + 1)};
    }
    TIncident open;
    open.StartMs = 40000;
    open.Cause = TSiteCause::Uplink;
    open.HostsDown = {"10.0.0.1", "10.0.0.9"}; // the second is watched no more
    open.Steps = {{"plug", "http", 50000, 60000, true, "Power cycle OK (plug)"}};
    const TSiteDecisions resumed = watch.Resume(open, view);
    ASSERT_EQ(resumed.size(), 1U); // its beginning was told before the restart
    EXPECT_EQ(std::get<TSiteChanged>(resumed[0]).State, TSiteState::Down);
    EXPECT_EQ(watch.State(), TSiteState::Down);
    ASSERT_TRUE(watch.Incident());
    EXPECT_EQ(watch.View({}, {}).DownSinceMs, 40000);
    EXPECT_EQ(watch.View({}, {}).Answering, 0); // no echo since the restart has answered
    watch.PingReport(1, true, view, {});
    EXPECT_EQ(watch.View({}, {}).Answering, 1);

    const TSiteDecisions back = watch.PingReport(0, true, view, {});
    ASSERT_EQ(back.size(), 2U);
    const auto& ended = std::get<TIncidentEnded>(back[0]).Incident;
    EXPECT_EQ(SiteBackText(*ended), "Site back after 1 min (cured by plug)");
    EXPECT_EQ(ended->Steps, open.Steps);

    TIncident gone = open;
    gone.HostsDown = {"10.0.0.9"};
    watch.Resume(gone, view);
    EXPECT_FALSE(watch.Incident());
    EXPECT_EQ(watch.State(), TSiteState::Up);
}

} // namespace
} // namespace pingvard
