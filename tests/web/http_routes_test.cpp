// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_routes.h"
#include "web/http_token.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace pingvard {
namespace {

THttpRequest Request(std::string method, std::string path, std::string authorization = "") {
    THttpRequest r;
    r.Method = std::move(method);
    r.Path = std::move(path);
    if (!authorization.empty()) {
        r.Headers.emplace_back("authorization", std::move(authorization));
    }
    return r;
}

struct TRouteCase {
    const char* Method;
    const char* Path;
    int Status;
    const char* Allow; // "" when no Allow field
};

class HttpRoutesCases : public ::testing::TestWithParam<TRouteCase> {};

TEST_P(HttpRoutesCases, DispatchesByPathThenMethod) {
    THttpRoutes routes;
    routes.Get("/metrics", [](const THttpRequest&) { return THttpResponse::Text(200, "m"); });
    routes.Post("/api/restart", [](const THttpRequest&) { return THttpResponse::Text(200, "r"); });
    routes.Get("/broken", [](const THttpRequest&) -> THttpResponse {
        throw std::runtime_error("database gone");
    });
    const TRouteCase& c = GetParam();
    const THttpResponse response = routes.Dispatch(Request(c.Method, c.Path));
    EXPECT_EQ(response.Status, c.Status);
    std::string allow;
    for (const auto& [name, value] : response.Headers) {
        allow = name == "Allow" ? value : allow;
    }
    EXPECT_EQ(allow, c.Allow);
}

INSTANTIATE_TEST_SUITE_P(Table, HttpRoutesCases,
                         ::testing::Values(TRouteCase{"GET", "/metrics", 200, ""},
                                           TRouteCase{"HEAD", "/metrics", 200, ""},
                                           TRouteCase{"POST", "/metrics", 405, "GET, HEAD"},
                                           TRouteCase{"OPTIONS", "/api/restart", 405, "POST"},
                                           TRouteCase{"GET", "/api/restart", 405, "POST"},
                                           TRouteCase{"DELETE", "/metrics", 405, "GET, HEAD"},
                                           TRouteCase{"get", "/metrics", 405, "GET, HEAD"},
                                           TRouteCase{"GET", "/metrics/", 404, ""},
                                           TRouteCase{"GET", "/", 404, ""},
                                           TRouteCase{"GET", "/broken", 500, ""}));

struct TTokenCase {
    const char* Authorization;
    bool Matches;
};

class BearerTokenCases : public ::testing::TestWithParam<TTokenCase> {};

TEST_P(BearerTokenCases, MatchesOnlyTheExactTokenAfterTheBearerScheme) {
    EXPECT_EQ(BearerTokenMatches(Request("POST", "/", GetParam().Authorization), "s3cret-T0ken"),
              GetParam().Matches);
}

INSTANTIATE_TEST_SUITE_P(Table, BearerTokenCases,
                         ::testing::Values(TTokenCase{"Bearer s3cret-T0ken", true},
                                           TTokenCase{"bearer s3cret-T0ken", true},
                                           TTokenCase{"Bearer   s3cret-T0ken", true},
                                           TTokenCase{"", false}, TTokenCase{"s3cret-T0ken", false},
                                           TTokenCase{"Basic s3cret-T0ken", false},
                                           TTokenCase{"Bearer s3cret-t0ken", false},
                                           TTokenCase{"Bearer s3cret-T0ke", false},
                                           TTokenCase{"Bearer s3cret-T0ken2", false},
                                           TTokenCase{"Bearer", false},
                                           TTokenCase{"Bearers3cret-T0ken", false}));

TEST(BearerToken, AnEmptyTokenNeverMatches) {
    EXPECT_FALSE(BearerTokenMatches(Request("POST", "/", "Bearer "), ""));
    EXPECT_FALSE(BearerTokenMatches(Request("POST", "/", "Bearer x"), ""));
}

TEST(BearerToken, ConstantTimeEqualsComparesWholeTexts) {
    EXPECT_TRUE(ConstantTimeEquals("", ""));
    EXPECT_TRUE(ConstantTimeEquals("abc", "abc"));
    EXPECT_FALSE(ConstantTimeEquals("abc", "abd"));
    EXPECT_FALSE(ConstantTimeEquals("abc", "ab"));
    EXPECT_FALSE(ConstantTimeEquals(std::string("ab\0", 3), "ab"));
}

// The action runs only for the right token; without one configured, never.
TEST(BearerToken, GuardsAnActionAndRunsItOnlyForTheToken) {
    int runs = 0;
    const THttpHandler act = [&](const THttpRequest&) {
        ++runs;
        return THttpResponse::Text(200, "done");
    };
    const THttpHandler guarded = RequireBearerToken("tok", act);
    const THttpResponse missing = guarded(Request("POST", "/"));
    EXPECT_EQ(missing.Status, 401);
    ASSERT_EQ(missing.Headers.size(), 1u);
    EXPECT_EQ(missing.Headers[0].first, "WWW-Authenticate");
    EXPECT_EQ(guarded(Request("POST", "/", "Bearer nope")).Status, 401);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(guarded(Request("POST", "/", "Bearer tok")).Status, 200);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(RequireBearerToken("", act)(Request("POST", "/", "Bearer ")).Status, 403);
    EXPECT_EQ(runs, 1);
}

} // namespace
} // namespace pingvard
