// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/incident.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pingvard {
namespace {

TIncident Closed() {
    TIncident incident;
    incident.StartMs = 1733540000123;
    incident.EndMs = 1733540360123;
    incident.Cause = TSiteCause::Uplink;
    incident.HostsDown = {"10.0.0.11", "gw.example.org"};
    incident.Steps = {{"telnet", "telnet", 1733540001000, 1733540005000, false,
                       "Unable to reset, invalid response in step #2"},
                      {"plug", "http", 1733540100000, 1733540110000, true,
                       "Power cycle OK (plug) <off 10 s> & on\n100%"}};
    incident.CuredBy = "plug";
    return incident;
}

TEST(IncidentText, ReadsBackWhatItWrote) {
    TIncident open;
    open.StartMs = 5;
    open.Cause = TSiteCause::LocalLink;
    open.Link = "eth 0";
    TIncident odd = Closed();
    odd.Steps[0].Action = "";
    odd.Steps[1].EndMs = 0; // still running
    for (const TIncident& incident : {Closed(), open, odd}) {
        const std::string text = IncidentText(incident);
        EXPECT_EQ(ParseIncident(text), incident) << text;
    }
}

TEST(IncidentText, RefusesWhatIsNoIncident) {
    const std::string good = IncidentText(Closed());
    const std::vector<std::string> bad = {
        "",
        "pingvard-incident 2\nstart 1\n",
        "pingvard-incident 1\n", // no start
        "pingvard-incident 1\nstart 12x\n",
        "pingvard-incident 1\nstart 1\ncause weather\n",
        "pingvard-incident 1\nstart 1\nstep a b 1 2 1\n",
        "pingvard-incident 1\nstart 1\nstep a b 1 2 yes text\n",
        "pingvard-incident 1\nstart 1\nhost 10.0.0.%4\n",
        good.substr(1),
    };
    for (const std::string& text : bad) {
        EXPECT_EQ(ParseIncident(text), std::nullopt) << text;
    }
}

TEST(IncidentText, SkipsFieldsOfALaterVersion) {
    const auto incident =
        ParseIncident("pingvard-incident 1\r\nstart 7\r\nnotified mail phone\r\nseverity 2\r\n");
    ASSERT_TRUE(incident);
    EXPECT_EQ(incident->StartMs, 7);
}

TEST(Incident, DurationRunsUntilTheEndAndNeverBelowZero) {
    TIncident incident;
    incident.StartMs = 10000;
    EXPECT_EQ(incident.DurationMs(70000), 60000);
    EXPECT_EQ(incident.DurationMs(5000), 0); // the wall clock went back
    incident.EndMs = 40000;
    EXPECT_EQ(incident.DurationMs(70000), 30000);
}

} // namespace
} // namespace pingvard
