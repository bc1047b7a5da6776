// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/plugsim_auth.h"
#include "tools/plugsim_device.h"
#include "tools/plugsim_http.h"

#include <gtest/gtest.h>

namespace pingvard::plugsim {
namespace {

// RFC 7616 section 3.9.1: the same request answered with MD5 and with SHA-256.
TEST(PlugsimAuth, DigestResponsesMatchTheRfcExample) {
    const TDigestInput in{"Mufasa",
                          "http-auth@example.org",
                          "Circle of Life",
                          "GET",
                          "/dir/index.html",
                          "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v",
                          "00000001",
                          "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ",
                          "auth"};
    EXPECT_EQ(DigestResponse(TAuthScheme::DigestMd5, in), "8ca523f5e9506fed4657c9700eebdbec");
    EXPECT_EQ(DigestResponse(TAuthScheme::DigestSha256, in),
              "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
}

TEST(PlugsimAuth, BasicNeedsTheExactCredentials) {
    const TAuthenticator auth({TAuthScheme::Basic, "admin", "pw", "plug"});
    THttpRequest request;
    request.Headers["authorization"] = "Basic YWRtaW46cHc="; // admin:pw
    EXPECT_TRUE(auth.Check(request));
    request.Headers["authorization"] = "Basic YWRtaW46cHd4"; // admin:pwx
    EXPECT_FALSE(auth.Check(request));
}

TEST(PlugsimHttp, ParsesARequestOnlyOnceItIsWhole) {
    const std::string text = "POST /rpc/Switch.Set?id=0&x=a%20b+c HTTP/1.1\r\nHost: p\r\n"
                             "Content-Length: 4\r\n\r\nbody";
    THttpRequest request;
    EXPECT_EQ(ParseHttpRequest(text.substr(0, text.size() - 1), request), TParse::Incomplete);
    ASSERT_EQ(ParseHttpRequest(text, request), TParse::Complete);
    EXPECT_EQ(request.Path, "/rpc/Switch.Set");
    EXPECT_EQ(request.Query["x"], "a b c");
    EXPECT_EQ(request.Headers["host"], "p");
    EXPECT_EQ(request.Body, "body");
    EXPECT_EQ(ParseHttpRequest("GARBAGE\r\n\r\n", request), TParse::Bad);
}

class TFakeWorld : public TPlugWorld {
public:
    void RunCommand(const std::string& command, int) override { Lines.push_back("run " + command); }
    void Record(const std::string& line) override {
        if (line.rfind("request", 0) != 0) {
            Lines.push_back(line);
        }
    }
    std::vector<std::string> Lines;
};

struct TDeviceCase {
    const char* Name;
    TPlugApi Api;
    std::string Target;
    std::vector<std::string> Lines; // after the plug's own timer and the boot
};

class PlugsimDevice : public testing::TestWithParam<TDeviceCase> {};

TEST_P(PlugsimDevice, SwitchesBackOnItsOwnTimer) {
    TFakeWorld world;
    TAuthenticator open({});
    TDeviceOptions options;
    options.Api = GetParam().Api;
    options.OffCommand = "down";
    options.OnCommand = "up";
    options.BootDelay = std::chrono::seconds(3);
    TPlugDevice device(options, open, world);
    THttpRequest request;
    const std::string text = "GET " + GetParam().Target + " HTTP/1.1\r\n\r\n";
    ASSERT_EQ(ParseHttpRequest(text, request), TParse::Complete);
    const TClock::time_point t0{};
    EXPECT_EQ(device.Handle(request, t0).Status, 200);
    device.Advance(t0 + std::chrono::milliseconds(9999));
    EXPECT_FALSE(device.IsOn(0));
    device.Advance(t0 + std::chrono::seconds(13));
    EXPECT_EQ(world.Lines, GetParam().Lines);
}

const std::vector<std::string> kCycle{"relay 0 off", "run down", "relay 0 on", "device 0 up",
                                      "run up"};

INSTANTIATE_TEST_SUITE_P(
    Table, PlugsimDevice,
    testing::Values(
        TDeviceCase{"Shelly1Timer", TPlugApi::Shelly1, "/relay/0?turn=off&timer=10", kCycle},
        TDeviceCase{"Shelly2ToggleAfter", TPlugApi::Shelly2,
                    "/rpc/Switch.Set?id=0&on=false&toggle_after=10", kCycle},
        TDeviceCase{"TasmotaBacklogDelay", TPlugApi::Tasmota,
                    "/cm?cmnd=Backlog%20Power1%20Off%3BDelay%20100%3BPower1%20On", kCycle}),
    [](const testing::TestParamInfo<TDeviceCase>& param) { return std::string(param.param.Name); });

} // namespace
} // namespace pingvard::plugsim
