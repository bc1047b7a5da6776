// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_response.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

const auto kNoon =
    std::chrono::system_clock::from_time_t(1'797'336'000); // Tue, 15 Dec 2026 12:00 UTC

TEST(HttpResponse, CarriesTheSecurityFieldsAndTheLength) {
    const std::string bytes =
        SerializeResponse(THttpResponse::Text(200, "hello"), false, false, kNoon);
    EXPECT_EQ(bytes, "HTTP/1.1 200 OK\r\n"
                     "Content-Type: text/plain; charset=utf-8\r\n"
                     "Content-Length: 5\r\n"
                     "Date: Tue, 15 Dec 2026 12:00:00 GMT\r\n"
                     "Cache-Control: no-store\r\n"
                     "Content-Security-Policy: default-src 'none'; frame-ancestors 'none'\r\n"
                     "X-Content-Type-Options: nosniff\r\n"
                     "Referrer-Policy: no-referrer\r\n"
                     "\r\n"
                     "hello");
}

TEST(HttpResponse, AnswersHeadWithTheLengthButNoBodyAndSaysWhenItCloses) {
    const std::string bytes =
        SerializeResponse(THttpResponse::Text(404, "not here"), true, true, kNoon);
    EXPECT_NE(bytes.find("Content-Length: 8\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("Connection: close\r\n"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), "\r\n\r\n");
}

TEST(HttpResponse, AHandlersOwnPolicyReplacesTheDefaultAndNoFieldCanBreakALine) {
    THttpResponse page = THttpResponse::Text(200, "<p>");
    page.Headers = {{"Content-Security-Policy", std::string(kPageSecurityPolicy)},
                    {"Cache-Control", "no-cache"},
                    {"X-Evil", "a\r\nSet-Cookie: s=1"},
                    {"Bad Name", "x"}};
    const std::string bytes = SerializeResponse(page, false, false, kNoon);
    EXPECT_EQ(bytes.find("no-store"), std::string::npos);
    EXPECT_EQ(bytes.find("default-src 'none'; frame-ancestors"), std::string::npos);
    EXPECT_NE(bytes.find("script-src 'self'"), std::string::npos);
    EXPECT_EQ(bytes.find("Set-Cookie"), std::string::npos);
    EXPECT_EQ(bytes.find("Bad Name"), std::string::npos);
}

TEST(HttpResponse, ErrorsNameTheirStatus) {
    for (const int status : {400, 404, 405, 408, 413, 414, 431, 503, 505}) {
        const THttpResponse r = THttpResponse::Error(status);
        EXPECT_EQ(r.Body, std::to_string(status) + " " + std::string(ReasonPhrase(status)) + "\n");
        EXPECT_FALSE(ReasonPhrase(status).empty()) << status;
    }
}

} // namespace
} // namespace pingvard
