// SPDX-License-Identifier: GPL-3.0-or-later
// The http action against pingvard-plugsim, each case in a network namespace
// of its own with only loopback (and a silent host where a case needs one).
#include "recovery/http_action.h"
#include "tests/net/loopback_peer.h"
#include "tests/net/netns_fixture.h"
#include "tests/recovery/recovery_test_support.h"

#include <gtest/gtest.h>
#include <thread>

namespace pingvard {
namespace {

constexpr int kPlugPort = 8080;
constexpr const char* kPassword = "s3cr%t pw";

struct THttpCase {
    const char* Name;
    std::vector<std::string> PlugArgs; // empty: no plug listens
    TPlugPreset Preset;
    std::string Password = kPassword;
    bool Https = false;
    enum class TPin { None, Right, Wrong } Pin = TPin::None;
    bool Ok = true;
    std::string Status = "Power cycle OK (plug)";
    bool PowerCycled = true;          // the plug switched off and its own timer back on
    THttpAuth Auth = THttpAuth::None; // None: the preset's own
};

class HttpActionAgainstPlug : public testing::TestWithParam<THttpCase> {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<test::TScratchDir>();
        const std::string cert = *s_dir / "cert.pem", key = *s_dir / "key.pem";
        test::Capture("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                      "-keyout " +
                      key + " -out " + cert + " -days 2 -subj /CN=plug 2>/dev/null");
        s_pin = "sha256//" + test::Capture("openssl x509 -in " + cert +
                                           " -pubkey -noout | openssl pkey -pubin -outform der | "
                                           "openssl dgst -sha256 -binary | openssl enc -base64");
        s_pin.erase(s_pin.find_last_not_of("\n") + 1);
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    static std::unique_ptr<test::TScratchDir> s_dir;
    static std::string s_pin;
};
std::unique_ptr<test::TScratchDir> HttpActionAgainstPlug::s_dir;
std::string HttpActionAgainstPlug::s_pin;

bool WaitForLine(const std::string& file, const std::string& text, int limitMs) {
    for (int waited = 0; waited <= limitMs; waited += 50) {
        if (test::ReadFile(file).find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST_P(HttpActionAgainstPlug, PowerCyclesThroughThePlugsOwnTimer) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: network namespaces";
    }
    const THttpCase& c = GetParam();
    test::RunInNewNetns([&] {
        const std::string record = *s_dir / (std::string(c.Name) + ".rec");
        std::vector<std::string> argv{PINGVARD_PLUGSIM_PATH,
                                      "--listen",
                                      "127.0.0.1:" + std::to_string(kPlugPort),
                                      "--record",
                                      record,
                                      "--password",
                                      kPassword};
        argv.insert(argv.end(), c.PlugArgs.begin(), c.PlugArgs.end());
        if (c.Https) {
            argv.insert(argv.end(),
                        {"--tls-cert", *s_dir / "cert.pem", "--tls-key", *s_dir / "key.pem"});
        }
        std::unique_ptr<test::TBackgroundProcess> plug;
        if (!c.PlugArgs.empty()) {
            plug = std::make_unique<test::TBackgroundProcess>(argv, *s_dir / "plugsim.log");
            ASSERT_TRUE(test::WaitForTcp(kPlugPort));
        }
        TActionConfig config;
        config.Name = "plug";
        config.Kind = TActionKind::Http;
        config.TimeLimitMs = 5000;
        config.Http.Preset = c.Preset;
        config.Http.Host = "127.0.0.1";
        config.Http.Port = kPlugPort;
        config.Http.Https = c.Https;
        config.Http.OffTimeS = 1;
        config.Http.Password = c.Password;
        config.Http.Auth = c.Auth;
        if (c.Pin != THttpCase::TPin::None) {
            config.Http.PinnedKey = c.Pin == THttpCase::TPin::Right
                                        ? s_pin
                                        : "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
        }
        THttpAction action(config);
        test::TKeptReport report;
        const TRecoveryOutcome outcome = action.Run(report);
        EXPECT_EQ(outcome.Ok, c.Ok) << report.All();
        EXPECT_EQ(outcome.Status, c.Status) << report.All();
        EXPECT_EQ(report.All().find(c.Password), std::string::npos) << report.All();
        EXPECT_EQ(report.All().find("s3cr%25t"), std::string::npos) << report.All();
        if (c.PowerCycled) {
            EXPECT_TRUE(WaitForLine(record, "relay 0 on", 4000)) << test::ReadFile(record);
            EXPECT_LT(test::ReadFile(record).find("relay 0 off"),
                      test::ReadFile(record).find("relay 0 on"));
        } else if (plug) {
            EXPECT_EQ(test::ReadFile(record).find("relay 0 off"), std::string::npos);
        }
    });
}

THttpCase Failed(THttpCase c, std::string status) {
    c.Ok = false;
    c.Status = std::move(status);
    c.PowerCycled = false;
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpActionAgainstPlug,
    testing::Values(
        THttpCase{"Shelly1Basic", {"--api", "shelly1"}, TPlugPreset::Shelly1},
        THttpCase{"Shelly2DigestSha256", {"--api", "shelly2"}, TPlugPreset::Shelly2},
        THttpCase{"TasmotaQueryPassword", {"--api", "tasmota"}, TPlugPreset::Tasmota},
        THttpCase{"Shelly1DigestMd5Firmware",
                  {"--api", "shelly1", "--auth", "digest"},
                  TPlugPreset::Shelly1,
                  kPassword,
                  false,
                  THttpCase::TPin::None,
                  true,
                  "Power cycle OK (plug)",
                  true,
                  THttpAuth::Digest},
        THttpCase{"HttpsPinnedSelfSigned",
                  {"--api", "shelly2"},
                  TPlugPreset::Shelly2,
                  kPassword,
                  true,
                  THttpCase::TPin::Right},
        Failed({"WrongPassword", {"--api", "shelly2"}, TPlugPreset::Shelly2, "wrong"},
               "Unable to power cycle, HTTP 401 from 127.0.0.1"),
        Failed({"TasmotaWrongPassword", {"--api", "tasmota"}, TPlugPreset::Tasmota, "wrong"},
               "Unable to power cycle, HTTP 401 from 127.0.0.1"),
        Failed({"HttpsOtherKeyPinned",
                {"--api", "shelly1"},
                TPlugPreset::Shelly1,
                kPassword,
                true,
                THttpCase::TPin::Wrong},
               "Unable to power cycle, certificate of 127.0.0.1 does not match the pinned key"),
        Failed({"HttpsSelfSignedUnpinned",
                {"--api", "shelly1"},
                TPlugPreset::Shelly1,
                kPassword,
                true},
               "Unable to power cycle, certificate of 127.0.0.1 not trusted"),
        Failed({"NothingListening", {}, TPlugPreset::Shelly1},
               "Unable to power cycle, cannot connect to 127.0.0.1")),
    [](const testing::TestParamInfo<THttpCase>& param) { return std::string(param.param.Name); });

TEST(HttpAction, HandMadeRequestChecksTheExpectedStatus) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: network namespaces";
    }
    const test::TScratchDir dir;
    test::RunInNewNetns([&] {
        test::TBackgroundProcess plug({PINGVARD_PLUGSIM_PATH, "--api", "shelly2", "--listen",
                                       "127.0.0.1:8080", "--auth", "basic", "--password", "pw"},
                                      dir / "plugsim.log");
        ASSERT_TRUE(test::WaitForTcp(8080));
        TActionConfig config;
        config.Name = "router";
        config.Kind = TActionKind::Http;
        config.TimeLimitMs = 5000;
        config.Http.Method = "POST";
        config.Http.Url = "http://127.0.0.1:8080/rpc";
        config.Http.Body = R"({"id":1,"method":"Switch.Set","params":{"id":0,"on":true}})";
        config.Http.User = "admin";
        config.Http.Password = "pw";
        config.Http.Auth = THttpAuth::Basic;
        TNullActionReport report;
        EXPECT_EQ(THttpAction(config).Run(report).Status, "Reset OK (router)");
        config.Http.ExpectStatus = 204;
        EXPECT_EQ(THttpAction(config).Run(report).Status,
                  "Unable to reset, HTTP 200 from 127.0.0.1");
    });
}

TEST(HttpAction, SilentPlugEndsAtTheTimeLimitAndAbortEndsItSooner) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: network namespaces";
    }
    test::RunInNewNetns([&] {
        ASSERT_TRUE(test::AddSilentHost());
        TActionConfig config;
        config.Name = "plug";
        config.Kind = TActionKind::Http;
        config.TimeLimitMs = 800;
        config.Http.Preset = TPlugPreset::Shelly1;
        config.Http.Host = test::kSilentHostV4;
        TNullActionReport report;
        EXPECT_EQ(THttpAction(config).Run(report).Status,
                  "Unable to power cycle, no answer from 10.77.0.2 within 1 s");

        config.TimeLimitMs = 60000;
        THttpAction action(config);
        std::thread aborter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            action.Abort();
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(action.Run(report).Status, "Unable to power cycle, aborted");
        aborter.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    });
}

// A plug (or whatever answers in its place) that sends a header without end.
TEST(HttpAction, AHugeResponseHeaderIsSaidSo) {
    test::TLoopbackPeer peer;
    peer.Serve([&peer](int fd) {
        char request[4096];
        [[maybe_unused]] const ssize_t got = ::recv(fd, request, sizeof request, 0);
        const std::string start = "HTTP/1.1 200 OK\r\nX-Filler: ";
        [[maybe_unused]] ssize_t sent = ::send(fd, start.data(), start.size(), MSG_NOSIGNAL);
        const std::string chunk(64 * 1024, 'a');
        for (int i = 0; i < 16 * 1024 && !peer.Stopping(); ++i) { // up to 1 GiB
            if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) {
                break;
            }
        }
    });
    TActionConfig config;
    config.Name = "plug";
    config.Kind = TActionKind::Http;
    config.TimeLimitMs = 10000;
    config.Http.Url = "http://127.0.0.1:" + peer.Port() + "/relay/0?turn=off";
    TNullActionReport report;
    EXPECT_EQ(THttpAction(config).Run(report).Status,
              "Unable to reset, response header too large (127.0.0.1)");
    peer.Stop();
}

} // namespace
} // namespace pingvard
