// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/plug_request.h"
#include "recovery/secret_mask.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

THttpSettings Plug(TPlugPreset preset, std::string password = "pw") {
    THttpSettings s;
    s.Preset = preset;
    s.Host = "192.0.2.5";
    s.OffTimeS = 12;
    s.Password = std::move(password);
    return s;
}

struct TRequestCase {
    const char* Name;
    THttpSettings Settings;
    std::string Url;
    THttpAuth Auth;
    std::string Problem;
};

class PlugRequest : public testing::TestWithParam<TRequestCase> {};

TEST_P(PlugRequest, SchedulesTheWholeCycleInOneRequest) {
    const TRequestCase& c = GetParam();
    const TPlugRequestResult built = BuildPlugRequest(c.Settings);
    EXPECT_EQ(built.Problem, c.Problem);
    EXPECT_EQ(built.Request.Url, c.Url);
    EXPECT_EQ(built.Request.Auth, c.Auth);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlugRequest,
    testing::Values(
        TRequestCase{"Shelly1", Plug(TPlugPreset::Shelly1),
                     "http://192.0.2.5/relay/0?turn=off&timer=12", THttpAuth::Basic, ""},
        TRequestCase{"Shelly1NoPassword", Plug(TPlugPreset::Shelly1, ""),
                     "http://192.0.2.5/relay/0?turn=off&timer=12", THttpAuth::None, ""},
        TRequestCase{"Shelly2SecondSwitchHttps",
                     [] {
                         THttpSettings s = Plug(TPlugPreset::Shelly2);
                         s.Channel = 1;
                         s.Https = true;
                         s.Port = 8443;
                         return s;
                     }(),
                     "https://192.0.2.5:8443/rpc/Switch.Set?id=1&on=false&toggle_after=12",
                     THttpAuth::Digest, ""},
        TRequestCase{"TasmotaBacklogInTenths", Plug(TPlugPreset::Tasmota, "p&w"),
                     "http://192.0.2.5/cm?user=admin&password=p%26w&cmnd=Backlog%20Power1%20Off%"
                     "3BDelay%20120%3BPower1%20On",
                     THttpAuth::None, ""},
        TRequestCase{"TasmotaIPv6",
                     [] {
                         THttpSettings s = Plug(TPlugPreset::Tasmota, "");
                         s.Host = "fd00::5";
                         return s;
                     }(),
                     "http://[fd00::5]/cm?cmnd=Backlog%20Power1%20Off%3BDelay%20120%3BPower1%20On",
                     THttpAuth::None, ""},
        TRequestCase{"TasmotaOffTimeBeyondItsDelay",
                     [] {
                         THttpSettings s = Plug(TPlugPreset::Tasmota);
                         s.OffTimeS = 361;
                         return s;
                     }(),
                     "", THttpAuth::None, "off time out of range"},
        TRequestCase{"NoHost",
                     [] {
                         THttpSettings s = Plug(TPlugPreset::Shelly2);
                         s.Host.clear();
                         return s;
                     }(),
                     "", THttpAuth::None, "no plug host set"},
        TRequestCase{"ByHandWithoutUrl", THttpSettings{}, "", THttpAuth::None, "no URL set"}),
    [](const testing::TestParamInfo<TRequestCase>& param) {
        return std::string(param.param.Name);
    });

TEST(PlugRequest, OutcomeHostNeverShowsUserInformation) {
    EXPECT_EQ(UrlHost("https://admin:pw@192.0.2.5:8443/x?y"), "192.0.2.5");
    EXPECT_EQ(UrlHost("http://[fd00::5]:80/"), "fd00::5");
    EXPECT_EQ(UrlHost("http://plug.lan"), "plug.lan");
}

TEST(SecretMask, MasksPlainAndPercentEncodedForms) {
    EXPECT_EQ(MaskSecrets("password=p%26w&x=p&w", {"p&w", ""}), "password=********&x=********");
}

} // namespace
} // namespace pingvard
