// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/console_front_end.h"

#include <gtest/gtest.h>
#include <sstream>

namespace pingvard {
namespace {

class ConsoleFrontEndTest : public testing::Test {
protected:
    std::ostringstream out, err;
    TConsoleFrontEnd Make(TConsoleMode mode) {
        return TConsoleFrontEnd(
            out, err, mode, [] { return 80; }, [] { return std::string("T"); });
    }
};

TEST_F(ConsoleFrontEndTest, ShowsTheFiguresOfOneReportAsOneLine) {
    auto fe = Make(TConsoleMode::Lines);
    for (int slot = 0; slot < 4; ++slot) {
        fe.HostLabel(slot).SetText("h" + std::to_string(slot + 1));
        fe.ShowFigures(slot, {});
    }
    fe.Flush();
    out.str("");
    fe.ShowFigures(2, {.LastMs = 5, .AverageMs = 5.0, .LossPercent = 0});
    fe.Flush();
    EXPECT_EQ(out.str(), "T host 3 ping=5ms average=5ms pl=0% name=h3\n");
    EXPECT_EQ(fe.State().Rows[2].Ping, "5ms");
}

TEST_F(ConsoleFrontEndTest, DetailsGoToStderrOnlyWithDebug) {
    for (const bool debug : {false, true}) {
        err.str("");
        auto fe = Make(TConsoleMode::Lines);
        fe.Debug = debug;
        fe.ReportDetail("host 1 (10.0.0.1): echo times from the kernel's receive timestamps");
        EXPECT_EQ(err.str(), debug ? "pingvard: debug: host 1 (10.0.0.1): echo times from the "
                                     "kernel's receive timestamps\n"
                                   : "");
    }
}

TEST_F(ConsoleFrontEndTest, TrayIndexSelectsTheNearestImage) {
    auto fe = Make(TConsoleMode::Lines);
    const std::pair<int, int> cases[] = {{1, 1}, {2, 2}, {3, 3}, {4, 3}, {99, 3}, {0, 0}, {-1, 0}};
    for (const auto& [set, expected] : cases) {
        fe.SetTrayIconIndex(set);
        EXPECT_EQ(fe.TrayIconIndex(), expected) << set;
    }
}

TEST_F(ConsoleFrontEndTest, StatusAndTrayChangesAreShown) {
    auto fe = Make(TConsoleMode::Lines);
    fe.Flush();
    fe.SetStatusText("Trying to reset...");
    fe.SetTrayIconIndex(1);
    fe.CopyTrayImageToApplicationIcon();
    fe.Flush();
    EXPECT_EQ(out.str(), "T status Trying to reset...\nT tray 1 restart under way\n");
}

TEST_F(ConsoleFrontEndTest, IcmpProblemIsSaidOnceOnStderrAndTheFrameRedrawnBelow) {
    auto fe = Make(TConsoleMode::Terminal);
    fe.Flush();
    fe.ReportIcmpUnavailable("Pinging is not permitted: run setcap cap_net_raw+ep");
    fe.ReportIcmpUnavailable("again");
    EXPECT_EQ(err.str(),
              "pingvard: Pinging is not permitted: run setcap cap_net_raw+ep\n"
              "pingvard: still running; every echo counts as lost and no restart is made until "
              "this is fixed (looked at again about once a minute)\n");
    out.str("");
    fe.Flush();
    EXPECT_EQ(out.str().rfind("\rOrvane AP Pingvard", 0), 0u) << out.str();
}

} // namespace
} // namespace pingvard
