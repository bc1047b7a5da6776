// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The request reader of one connection, a pure state machine: bytes in,
// requests or an error status out, no I/O. It checks every length before it
// keeps anything, so a client costs at most the head and body limits.
//
//     parser.Push(bytes);
//     while (parser.Parse() == THttpParse::Request) { handle(parser.Take()); }
//     if (parser.Parse() == THttpParse::Error) { answer parser.ErrorStatus(), close }

#include "web/http_limits.h"
#include "web/http_request.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace pingvard {

enum class THttpParse {
    NeedMore, // nothing complete yet
    Request,  // a whole request is ready: Take() it
    Error,    // the input is not a request we take: answer ErrorStatus() and close
};

class THttpRequestParser {
public:
    explicit THttpRequestParser(const THttpLimits& limits) : m_limits(limits) {}

    // Keeps the bytes for Parse().
    void Push(std::string_view bytes) { m_input.append(bytes); }
    THttpParse Parse();
    // The request Parse() announced; its bytes leave the input.
    THttpRequest Take();

    int ErrorStatus() const noexcept { return m_error; }
    // Some byte of the next request has arrived (a blank line before a
    // request-line does not count).
    bool Started() const noexcept;
    // The head asked for "100 Continue" and the body has not come yet.
    bool WantsContinue() const noexcept { return m_headDone && m_expectContinue; }
    // The client asked to close after this request, or spoke HTTP/1.0.
    bool CloseAfter() const noexcept { return m_close; }
    std::size_t Buffered() const noexcept { return m_input.size(); }

private:
    THttpParse Fail(int status);
    THttpParse ParseHead(std::string_view head);
    int ParseRequestLine(std::string_view line); // 0, or the status that refuses it
    bool ParseField(std::string_view line);
    THttpParse CheckFields();
    void SkipLeadingBlankLines();

    const THttpLimits m_limits;
    std::string m_input;
    THttpRequest m_request;
    bool m_headDone = false;
    bool m_lineDone = false;     // the request line is whole and checked
    std::size_t m_scanned = 0;   // m_input before this holds no end of the head
    std::size_t m_headBytes = 0; // of m_input, once m_headDone
    std::size_t m_bodyBytes = 0;
    bool m_expectContinue = false;
    bool m_close = false;
    int m_error = 0;
};

} // namespace pingvard
