// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_parser.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

THttpLimits SmallLimits() {
    THttpLimits limits;
    limits.MaxHeadBytes = 256;
    limits.MaxHeaderFields = 4;
    limits.MaxBodyBytes = 32;
    return limits;
}

TEST(HttpParser, TakesARequestWithItsFieldsAndQuery) {
    THttpRequestParser parser(SmallLimits());
    parser.Push("GET /api/history?host=a%20b&since=1h HTTP/1.1\r\nHost: x\r\n"
                "User-Agent:  curl/7.88 \r\n\r\n");
    ASSERT_EQ(parser.Parse(), THttpParse::Request);
    EXPECT_FALSE(parser.CloseAfter());
    const THttpRequest r = parser.Take();
    EXPECT_EQ(r.Method, "GET");
    EXPECT_EQ(r.Path, "/api/history");
    EXPECT_EQ(r.QueryParam("host"), "a b");
    EXPECT_EQ(r.QueryParam("since"), "1h");
    EXPECT_EQ(r.QueryParam("none"), std::nullopt);
    EXPECT_EQ(r.Header("USER-AGENT"), "curl/7.88");
    EXPECT_EQ(parser.Buffered(), 0u);
}

// However the bytes are split, the same request comes out once.
TEST(HttpParser, ReadsTheSameRequestFedByteByByte) {
    for (const std::string eol : {"\n", "\r\n"}) {
        const std::string bytes = eol + "POST /act HTTP/1.1" + eol + "Host: x" + eol +
                                  "Content-Length: 5" + eol + eol + "hello";
        THttpRequestParser parser(SmallLimits());
        int requests = 0;
        for (char c : bytes) {
            parser.Push(std::string_view(&c, 1));
            if (parser.Parse() == THttpParse::Request) {
                EXPECT_EQ(parser.Take().Body, "hello");
                ++requests;
            }
        }
        EXPECT_EQ(requests, 1) << (eol == "\n" ? "LF" : "CRLF");
    }
}

TEST(HttpParser, KeepsAPipelinedRequestForItsTurn) {
    THttpRequestParser parser(SmallLimits());
    parser.Push("GET /a HTTP/1.1\r\nHost: x\r\n\r\nGET /b HTTP/1.1\r\nHost: x\r\n"
                "Connection: keep-alive, close\r\n\r\n");
    ASSERT_EQ(parser.Parse(), THttpParse::Request);
    EXPECT_EQ(parser.Take().Path, "/a");
    ASSERT_EQ(parser.Parse(), THttpParse::Request);
    EXPECT_TRUE(parser.CloseAfter());
    EXPECT_EQ(parser.Take().Path, "/b");
    EXPECT_EQ(parser.Parse(), THttpParse::NeedMore);
    EXPECT_FALSE(parser.Started());
}

struct TRequestCase {
    const char* Name;
    std::string Bytes;
    THttpParse Outcome;
    int Status; // for Error
};

class HttpParserCases : public ::testing::TestWithParam<TRequestCase> {};

TEST_P(HttpParserCases, AnswersAsTheGrammarAndTheLimitsSay) {
    const TRequestCase& c = GetParam();
    THttpRequestParser parser(SmallLimits());
    parser.Push(c.Bytes);
    ASSERT_EQ(parser.Parse(), c.Outcome) << c.Name;
    if (c.Outcome == THttpParse::Error) {
        EXPECT_EQ(parser.ErrorStatus(), c.Status) << c.Name;
    }
}

const std::string kHost = "Host: x\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, HttpParserCases,
    ::testing::Values(
        TRequestCase{"http10_without_host", "GET / HTTP/1.0\r\n\r\n", THttpParse::Request, 0},
        TRequestCase{"absolute_form", "GET http://x:9770/metrics HTTP/1.1\r\n" + kHost + "\r\n",
                     THttpParse::Request, 0},
        TRequestCase{"absolute_form_without_path",
                     "GET http://x:9770?a=1 HTTP/1.1\r\n" + kHost + "\r\n", THttpParse::Request, 0},
        TRequestCase{"repeated_equal_length",
                     "POST / HTTP/1.1\r\n" + kHost + "Content-Length: 2, 2\r\n\r\nok",
                     THttpParse::Request, 0},
        TRequestCase{"body_not_yet_whole",
                     "POST / HTTP/1.1\r\n" + kHost + "Content-Length: 9\r\n\r\nok",
                     THttpParse::NeedMore, 0},
        TRequestCase{"missing_host", "GET / HTTP/1.1\r\n\r\n", THttpParse::Error, 400},
        TRequestCase{"two_hosts", "GET / HTTP/1.1\r\n" + kHost + kHost + "\r\n", THttpParse::Error,
                     400},
        TRequestCase{"blank_before_colon", "GET / HTTP/1.1\r\nHost : x\r\n\r\n", THttpParse::Error,
                     400},
        TRequestCase{"folded_line", "GET / HTTP/1.1\r\n" + kHost + "X: a\r\n b\r\n\r\n",
                     THttpParse::Error, 400},
        TRequestCase{"control_in_value", "GET / HTTP/1.1\r\n" + kHost + "X: a\x01\r\n\r\n",
                     THttpParse::Error, 400},
        TRequestCase{"two_spaces", "GET  / HTTP/1.1\r\n" + kHost + "\r\n", THttpParse::Error, 400},
        TRequestCase{"fragment", "GET /#top HTTP/1.1\r\n" + kHost + "\r\n", THttpParse::Error, 400},
        TRequestCase{"relative_target", "GET metrics HTTP/1.1\r\n" + kHost + "\r\n",
                     THttpParse::Error, 400},
        // Refused as soon as the line is whole or the bytes cannot be one.
        TRequestCase{"bad_method_early", "G(T / HTTP/1.1\r\n", THttpParse::Error, 400},
        TRequestCase{"tls_hello", std::string("\x16\x03\x01\x02\x00\x01", 6), THttpParse::Error,
                     400},
        TRequestCase{"http2_preface", "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", THttpParse::Error, 505},
        TRequestCase{"chunked",
                     "POST / HTTP/1.1\r\n" + kHost + "Transfer-Encoding: chunked\r\n\r\n",
                     THttpParse::Error, 501},
        TRequestCase{"chunked_and_length",
                     "POST / HTTP/1.1\r\n" + kHost +
                         "Transfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n",
                     THttpParse::Error, 400},
        TRequestCase{"two_lengths",
                     "POST / HTTP/1.1\r\n" + kHost +
                         "Content-Length: 2\r\nContent-Length: 3\r\n\r\n",
                     THttpParse::Error, 400},
        TRequestCase{"signed_length", "POST / HTTP/1.1\r\n" + kHost + "Content-Length: -1\r\n\r\n",
                     THttpParse::Error, 400},
        TRequestCase{"body_too_large", "POST / HTTP/1.1\r\n" + kHost + "Content-Length: 33\r\n\r\n",
                     THttpParse::Error, 413},
        TRequestCase{"huge_length",
                     "POST / HTTP/1.1\r\n" + kHost + "Content-Length: 99999999999999999999\r\n\r\n",
                     THttpParse::Error, 413},
        TRequestCase{"unknown_expectation", "GET / HTTP/1.1\r\n" + kHost + "Expect: x\r\n\r\n",
                     THttpParse::Error, 417},
        TRequestCase{"too_many_fields",
                     "GET / HTTP/1.1\r\n" + kHost + "A: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n\r\n",
                     THttpParse::Error, 431},
        TRequestCase{"head_too_large", "GET / HTTP/1.1\r\n" + kHost + "A: " + std::string(300, 'a'),
                     THttpParse::Error, 431},
        TRequestCase{"target_too_long", "GET /" + std::string(300, 'a'), THttpParse::Error, 414}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(HttpParser, AsksForContinueOnlyWhileTheBodyIsAwaited) {
    THttpRequestParser parser(SmallLimits());
    parser.Push("POST / HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n");
    EXPECT_EQ(parser.Parse(), THttpParse::NeedMore);
    EXPECT_TRUE(parser.WantsContinue());
    parser.Push("ok");
    EXPECT_EQ(parser.Parse(), THttpParse::Request);
    EXPECT_EQ(parser.Take().Body, "ok");
    EXPECT_FALSE(parser.WantsContinue());
}

TEST(HttpRequest, DecodesEscapesAndRefusesBrokenOnes) {
    EXPECT_EQ(PercentDecode("a%2Fb+c", true), "a/b c");
    EXPECT_EQ(PercentDecode("a+b", false), "a+b");
    EXPECT_EQ(PercentDecode("%zz", true), std::nullopt);
    EXPECT_EQ(PercentDecode("%4", true), std::nullopt);
}

} // namespace
} // namespace pingvard
