// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/dialog/hook_write.h"
#include "config/observe_settings.h"

#include <gtest/gtest.h>
#include <map>

namespace pingvard {
namespace {

// Sections and keys in memory; any write is recorded (reading must not write).
class TMemoryIni final : public TCustomIniFile {
public:
    explicit TMemoryIni(std::map<std::string, std::string> values)
        : TCustomIniFile("pingvard.ini"), m_values(std::move(values)) {}
    std::string ReadText(const std::string& section, const std::string& key,
                         const std::string& def) override {
        const auto it = m_values.find(section + "/" + key);
        return it == m_values.end() ? def : it->second;
    }
    void WriteText(const std::string& section, const std::string& key,
                   const std::string& value) override {
        m_values[section + "/" + key] = value;
        ++Writes;
    }
    void DeleteKey(const std::string& section, const std::string& key) override {
        m_values.erase(section + "/" + key);
        ++Writes;
    }
    std::shared_ptr<const TProfileIndex> Index() override {
        std::string text;
        std::string section;
        for (const auto& [name, value] : m_values) { // sorted: a section's keys together
            const auto slash = name.find('/');
            if (name.substr(0, slash) != section) {
                section = name.substr(0, slash);
                text += "[" + section + "]\n";
            }
            text += name.substr(slash + 1) + "=" + value + "\n";
        }
        return std::make_shared<const TProfileIndex>(text);
    }
    int Writes = 0;

private:
    std::map<std::string, std::string> m_values;
};

TEST(ObserveSettings, AbsentSectionsGiveTheDefaultsAndWriteNothing) {
    TMemoryIni ini({});
    std::vector<std::string> problems;
    const TObserveSettings s = ReadObserveSettings(ini, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(ini.Writes, 0);
    EXPECT_TRUE(s.History.Enabled);
    EXPECT_EQ(HistoryFileName(s.History, "/var/lib/pingvard/"), "/var/lib/pingvard/history.db");
    EXPECT_EQ(s.History.RawHours, 48);
    EXPECT_FALSE(s.Metrics.Enabled);
    EXPECT_EQ(s.Metrics.Address, "127.0.0.1");
    EXPECT_EQ(s.Metrics.Port, 9770);
    EXPECT_TRUE(s.Hooks.empty());
    EXPECT_TRUE(s.Notifications.RuleFired && s.Notifications.ActionOutcome);
    EXPECT_FALSE(s.Notifications.HostDown || s.Notifications.HostUp);
}

TEST(ObserveSettings, ReadsHooksWithArgumentsEventsAndLimits) {
    TMemoryIni ini({{"Hooks/Names", "pager, log"},
                    {"Hook.pager/Program", "/usr/local/bin/page-me"},
                    {"Hook.pager/Arg1", "--text=a b; c"},
                    {"Hook.pager/Arg2", ""},
                    {"Hook.pager/Arg4", "never read: Arg3 is absent"},
                    {"Hook.pager/Events", "rule-fired, action-outcome"},
                    {"Hook.pager/TimeLimit", "$1E"},
                    {"Hook.log/Program", "logger"}});
    std::vector<std::string> problems;
    const TObserveSettings s = ReadObserveSettings(ini, problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(s.Hooks.size(), 2u);
    EXPECT_EQ(s.Hooks[0].Name, "pager");
    EXPECT_EQ(s.Hooks[0].Args, (std::vector<std::string>{"--text=a b; c", ""}));
    EXPECT_EQ(s.Hooks[0].Events,
              (std::vector{TMonitorEventKind::RuleFired, TMonitorEventKind::ActionOutcome}));
    EXPECT_EQ(s.Hooks[0].TimeLimitMs, 30'000);
    EXPECT_EQ(s.Hooks[1].Events.size(), 4u);
    EXPECT_EQ(s.Hooks[1].TimeLimitMs, 10'000);
}

struct TBadCase {
    const char* Name;
    std::map<std::string, std::string> Values;
    std::string Problem;
};

class ObserveSettingsInvalid : public testing::TestWithParam<TBadCase> {};

TEST_P(ObserveSettingsInvalid, GiveOneLineAndTheDefault) {
    TMemoryIni ini(GetParam().Values);
    std::vector<std::string> problems;
    const TObserveSettings s = ReadObserveSettings(ini, problems);
    EXPECT_EQ(problems, std::vector<std::string>{GetParam().Problem});
    EXPECT_EQ(s.Metrics.Address, "127.0.0.1");
    EXPECT_EQ(s.Metrics.Port, 9770);
    EXPECT_EQ(s.History.RawHours, 48);
    EXPECT_TRUE(s.Hooks.empty() || s.Hooks[0].Events.size() == 4);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ObserveSettingsInvalid,
    testing::Values(
        TBadCase{"PortOutOfRange",
                 {{"Metrics/Port", "70000"}},
                 "pingvard.ini [Metrics] Port=70000: not between 1 and 65535; using 9770"},
        TBadCase{"EveryInterfaceUnasked",
                 {{"Metrics/Address", "0.0.0.0"}},
                 "pingvard.ini [Metrics] Address=0.0.0.0: every interface needs "
                 "AllInterfaces=1; using 127.0.0.1"},
        TBadCase{"HostName",
                 {{"Metrics/Address", "localhost"}},
                 "pingvard.ini [Metrics] Address=localhost: not a numeric IPv4 or IPv6 "
                 "address; using 127.0.0.1"},
        TBadCase{"Flag",
                 {{"Metrics/Enabled", "yes"}},
                 "pingvard.ini [Metrics] Enabled=yes: not 0 or 1; using 0"},
        TBadCase{"Retention",
                 {{"History/RawHours", "0"}},
                 "pingvard.ini [History] RawHours=0: not between 1 and 8760; using 48"},
        TBadCase{"HookWithoutProgram",
                 {{"Hooks/Names", "pager"}},
                 "pingvard.ini [Hook.pager] Program=: a hook needs a program; using no hook "
                 "pager"},
        TBadCase{"EchoIsNoHookEvent",
                 {{"Hooks/Names", "a"}, {"Hook.a/Program", "x"}, {"Hook.a/Events", "echo"}},
                 "pingvard.ini [Hook.a] Events=echo: \"echo\" is not a hook event; using "
                 "host-down,host-up,rule-fired,action-outcome"}),
    [](const testing::TestParamInfo<TBadCase>& p) { return std::string(p.param.Name); });

TEST(ObserveSettings, WrittenValuesReadBackTheSame) {
    TMemoryIni ini({});
    TMetricsSettings metrics{true, "::1", 9100, false};
    TNotificationSettings notes{false, true, true, false};
    THistorySettings history{false, "/srv/pv.db", 24, 30, 2};
    WriteMetricsSettings(ini, metrics);
    WriteNotificationSettings(ini, notes);
    WriteHistorySettings(ini, history);
    std::vector<std::string> problems;
    const TObserveSettings s = ReadObserveSettings(ini, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(s.Metrics.Address, "::1");
    EXPECT_EQ(s.Metrics.Port, 9100);
    EXPECT_TRUE(s.Notifications.HostDown);
    EXPECT_FALSE(s.Notifications.RuleFired);
    EXPECT_EQ(HistoryFileName(s.History, "/x/"), "/srv/pv.db");
    EXPECT_EQ(s.History.MinuteDays, 30);
}

// The dialog's write of the hooks: read back the same, a removed argument
// taken out, a removed hook out of the list.
TEST(ObserveSettings, WrittenHooksReadBackTheSame) {
    TMemoryIni ini({});
    std::vector<THookConfig> before(2);
    before[0].Name = "pager";
    before[0].Program = "/usr/bin/page";
    before[0].Args = {"--site", "home", "x"};
    before[1].Name = "log";
    before[1].Program = "/usr/bin/logger";
    WriteHookSettings(ini, before, {});
    std::vector<THookConfig> after = {before[0]};
    after[0].Args = {"--site"};
    after[0].Events = {TMonitorEventKind::SiteDown, TMonitorEventKind::SiteBack};
    after[0].TimeLimitMs = 60000;
    WriteHookSettings(ini, after, before);
    std::vector<std::string> problems;
    const TObserveSettings s = ReadObserveSettings(ini, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(s.Hooks, after);
    EXPECT_EQ(ini.ReadText("Hook.pager", "Arg2", "<absent>"), "<absent>");
    EXPECT_EQ(ini.ReadText("Hook.pager", "Events", ""), "site-down,site-back");
}

} // namespace
} // namespace pingvard
