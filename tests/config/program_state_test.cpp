// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/program_state.h"
#include "tests/config/temp_dir.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

struct TElapsedCase {
    const char* Name;
    TClockReading Then, Now;
    int64_t Expect;
};

class ElapsedBetweenRuns : public testing::TestWithParam<TElapsedCase> {};

TEST_P(ElapsedBetweenRuns, TrustsTheBootClockWithinABootAndNeverGoesBack) {
    EXPECT_EQ(ElapsedMs(GetParam().Then, GetParam().Now), GetParam().Expect);
}

constexpr int64_t kWall = 1767225600000; // 2026-01-01

INSTANTIATE_TEST_SUITE_P(
    Table, ElapsedBetweenRuns,
    testing::Values(
        TElapsedCase{"SameBoot", {kWall, 5000, "a"}, {kWall + 7000, 12000, "a"}, 7000},
        // The wall clock was set an hour ahead between the runs.
        TElapsedCase{
            "SameBootWallClockSet", {kWall, 5000, "a"}, {kWall + 3607000, 12000, "a"}, 7000},
        TElapsedCase{"OtherBoot", {kWall, 90000000, "a"}, {kWall + 600000, 30000, "b"}, 600000},
        TElapsedCase{
            "OtherBootClockWentBack", {kWall, 90000000, "a"}, {kWall - 600000, 30000, "b"}, 0},
        // No boot ids (a service that cannot see /proc/sys): clocks that agree
        // are one boot, a boot clock that went back is another boot.
        TElapsedCase{"NoIdsClocksAgree", {kWall, 5000, ""}, {kWall + 7010, 12000, ""}, 7000},
        TElapsedCase{"NoIdsRebooted", {kWall, 90000000, ""}, {kWall + 600000, 30000, ""}, 600000},
        TElapsedCase{"NoIdsWallClockSet", {kWall, 5000, ""}, {kWall - 3593000, 12000, ""}, 0}),
    [](const testing::TestParamInfo<TElapsedCase>& param) {
        return std::string(param.param.Name);
    });

TEST(ProgramStateFile, GuardComesBackAgedByTheTimeBetweenTheRuns) {
    const test::TTempCurrentDir dir;
    TProgramStateFile state(StateFileName());
    const TGuardMemory kept{{90000, 1000}, true, 1000, 360000, 2};
    ASSERT_TRUE(state.SaveGuard(kept, {kWall, 5000, "a"}));
    EXPECT_EQ(TProgramStateFile(StateFileName()).Guard({kWall + 9999999, 15000, "a"}),
              (TGuardMemory{{100000, 11000}, true, 11000, 360000, 2}));
    EXPECT_EQ(dir.Read("pingvard.state").find("[Guard]\n"), dir.Read("pingvard.state").find('['));
}

TEST(ProgramStateFile, NothingKeptReadsAsNothing) {
    const test::TTempCurrentDir dir;
    TProgramStateFile state(StateFileName());
    EXPECT_EQ(state.Guard(ReadClocks()), TGuardMemory{});
    EXPECT_EQ(state.Confirmation(), TStartConfirmation{});
    EXPECT_FALSE(dir.Exists("pingvard.state"));
    dir.Write("pingvard.state", "[Guard]\nSaved=x\nRounds=1,2\n");
    EXPECT_EQ(state.Guard(ReadClocks()), TGuardMemory{});
}

// Each owner writes its own section; the others stay as they are.
TEST(ProgramStateFile, KeepsWhatItDoesNotKnow) {
    const test::TTempCurrentDir dir;
    dir.Write("pingvard.state", "[Incident]\nSince=1\n; a note\n");
    TProgramStateFile state(StateFileName());
    ASSERT_TRUE(state.SaveConfirmation({true, "00ff"}));
    ASSERT_TRUE(state.SaveGuard({}, {kWall, 1, ""}));
    ASSERT_TRUE(state.SaveConfirmation({false, ""}));
    const std::string text = dir.Read("pingvard.state");
    EXPECT_EQ(text.rfind("[Incident]\nSince=1\n; a note\n", 0), 0U) << text;
    EXPECT_NE(text.find("[Start]\nConfirmed=1\nFresh=\n"), std::string::npos) << text;
    EXPECT_EQ(state.Confirmation(), TStartConfirmation{});
}

TEST(ProgramStateFile, ConfirmationOfAFirstStartComesBack) {
    const test::TTempCurrentDir dir;
    dir.Write("pingvard.ini", "[Constants]\r\nMaxTimeouts=5\r\n");
    const std::string digest = ConfigDigest("pingvard.ini");
    EXPECT_EQ(digest.size(), 16U);
    TProgramStateFile state(StateFileName());
    ASSERT_TRUE(state.SaveConfirmation({true, digest}));
    EXPECT_EQ(TProgramStateFile(StateFileName()).Confirmation(),
              (TStartConfirmation{true, digest}));
    dir.Write("pingvard.ini", "[Constants]\r\nMaxTimeouts=6\r\n");
    EXPECT_NE(ConfigDigest("pingvard.ini"), digest);
    EXPECT_EQ(ConfigDigest("absent.ini"), "");
}

// Names and texts may hold blanks, line breaks, '%' and comment marks: the
// incident comes back whole, and an ended one leaves nothing to take up.
TEST(ProgramStateFile, AnOpenIncidentComesBackWhole) {
    const test::TTempCurrentDir dir;
    TIncident open;
    open.StartMs = kWall;
    open.Cause = TSiteCause::LocalLink;
    open.Link = "eth 0";
    open.HostsDown = {"10.0.0.1", "; not a comment"};
    open.Steps = {{"plug", "http", kWall + 1, kWall + 2, false, "Unable to reset:  100%\nfail"},
                  {"router", "ssh", kWall + 3, 0, false, ""}};
    TProgramStateFile state(StateFileName());
    ASSERT_TRUE(state.SaveIncident(&open));
    EXPECT_EQ(TProgramStateFile(StateFileName()).Incident(), open);
    EXPECT_EQ(TProgramStateFile::IncidentLine(open).find('\n'), std::string::npos);
    ASSERT_TRUE(state.SaveIncident(nullptr));
    EXPECT_EQ(state.Incident(), std::nullopt);
    dir.Write("pingvard.state", "[Incident]\nOpen=not an incident\n");
    EXPECT_EQ(state.Incident(), std::nullopt);
}

} // namespace
} // namespace pingvard
