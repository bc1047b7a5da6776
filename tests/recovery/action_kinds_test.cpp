// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/action_kinds.h"

#include <gtest/gtest.h>
#include <ostream>

namespace pingvard {
namespace {

struct TKindCase {
    const char* Name;
    TActionKind Kind;
    TPlugPreset Preset;
    std::string StartingText;
    std::vector<std::string> Secrets;
    std::string Target;
};

void PrintTo(const TKindCase& c, std::ostream* os) {
    *os << c.Name;
}

// Every password set, so the row must pick its own.
TActionConfig Config(const TKindCase& c) {
    TActionConfig config;
    config.Name = "dev";
    config.Kind = c.Kind;
    config.Ssh.Password = "ssh-secret";
    config.Http.Password = "http-secret";
    config.Http.Preset = c.Preset;
    config.Program.Program = "/bin/true";
    config.Ssh.Host = "router";
    config.Http.Host = "plug";
    if (c.Preset == TPlugPreset::None) {
        config.Http.Url = "http://admin:pw@switch:8080/reset?token=t0k3n";
    }
    return config;
}

class ActionKind : public testing::TestWithParam<TKindCase> {};

TEST_P(ActionKind, MakesItsOwnActionShowsItsStartAndKeepsItsSecrets) {
    const TKindCase& c = GetParam();
    const TActionConfig config = Config(c);
    const TActionKindInfo& info = KindInfo(c.Kind);
    EXPECT_EQ(MakeAction(config, {})->Kind(), info.Name);
    EXPECT_EQ(FindActionKind(info.Name), c.Kind);
    EXPECT_EQ(info.StartingText(config), c.StartingText);
    EXPECT_EQ(info.Secrets(config), c.Secrets);
    EXPECT_EQ(info.Target(config, "192.168.168.1"), c.Target);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ActionKind,
    testing::Values(
        TKindCase{"Telnet",
                  TActionKind::Telnet,
                  TPlugPreset::None,
                  "Trying to reset...",
                  {},
                  "192.168.168.1"},
        TKindCase{"Ssh",
                  TActionKind::Ssh,
                  TPlugPreset::None,
                  "Trying to reset (dev)...",
                  {"ssh-secret"},
                  "router"},
        TKindCase{"HttpByHand",
                  TActionKind::Http,
                  TPlugPreset::None,
                  "Trying to reset (dev)...",
                  {"http-secret"},
                  "switch"},
        TKindCase{"HttpPlug",
                  TActionKind::Http,
                  TPlugPreset::Tasmota,
                  "Trying to power cycle (dev)...",
                  {"http-secret"},
                  "plug"},
        TKindCase{
            "Program", TActionKind::Program, TPlugPreset::None, "Running dev...", {}, "/bin/true"}),
    [](const testing::TestParamInfo<TKindCase>& param) { return std::string(param.param.Name); });

} // namespace
} // namespace pingvard
