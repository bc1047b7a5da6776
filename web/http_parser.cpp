// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_parser.h"

#include "web/http_text.h"

#include <algorithm>

namespace pingvard {

namespace {

// A line ends in CRLF or, leniently (RFC 9112 2.2), in a bare LF.
std::string_view StripCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

// Where the empty line that ends the head ends, or npos; from `from` on.
std::size_t HeadEnd(std::string_view input, std::size_t from) {
    for (std::size_t lf = input.find('\n', from); lf != std::string_view::npos;
         lf = input.find('\n', lf + 1)) {
        if (lf + 1 < input.size() && input[lf + 1] == '\n') {
            return lf + 2;
        }
        if (lf + 2 < input.size() && input[lf + 1] == '\r' && input[lf + 2] == '\n') {
            return lf + 3;
        }
    }
    return std::string_view::npos;
}

bool IsVisible(char c) {
    return c > 0x20 && c < 0x7f;
}

// Field values: visible characters, blanks and obs-text; never a control.
bool IsFieldValue(std::string_view value) {
    return std::none_of(value.begin(), value.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t') || u == 0x7f;
    });
}

// What a request line could still become: printable text only. A TLS hello
// or other binary sent to the port is refused at once, not after the time-out.
bool CouldBeRequestLine(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 0x20 && u < 0x7f) || c == '\r';
    });
}

constexpr std::size_t kMaxLengthDigits = 15;

} // namespace

bool THttpRequestParser::Started() const noexcept {
    return std::any_of(m_input.begin(), m_input.end(),
                       [](char c) { return c != '\r' && c != '\n'; });
}

THttpParse THttpRequestParser::Fail(int status) {
    m_error = status;
    return THttpParse::Error;
}

void THttpRequestParser::SkipLeadingBlankLines() {
    const std::size_t first = m_input.find_first_not_of("\r\n");
    // A CR that may still be followed by its LF stays.
    const std::size_t keep = first == std::string::npos ? m_input.size() : first;
    std::size_t cut = 0;
    for (std::size_t i = 0; i < keep; ++i) {
        if (m_input[i] == '\n') {
            cut = i + 1;
        }
    }
    if (cut > 0) {
        m_input.erase(0, cut);
        m_scanned = 0;
    }
}

THttpParse THttpRequestParser::Parse() {
    if (m_error != 0) {
        return THttpParse::Error;
    }
    if (!m_headDone) {
        if (!m_lineDone) {
            SkipLeadingBlankLines();
        }
        // Only what came since the last look is scanned: a trickled head
        // costs its length once, not once per byte.
        const std::size_t end = HeadEnd(m_input, m_scanned);
        if (end == std::string::npos) {
            const std::size_t lf = m_lineDone ? 0 : m_input.find('\n', m_scanned);
            if (!m_lineDone && lf != std::string::npos) {
                // A bad request line is answered now, not once the head is whole.
                if (const int status =
                        ParseRequestLine(StripCr(std::string_view(m_input).substr(0, lf)))) {
                    return Fail(status);
                }
                m_request = THttpRequest{};
                m_lineDone = true;
            } else if (!m_lineDone &&
                       !CouldBeRequestLine(std::string_view(m_input).substr(m_scanned))) {
                return Fail(400);
            }
            if (m_input.size() > m_limits.MaxHeadBytes) {
                return Fail(m_lineDone ? 431 : 414);
            }
            // The blank line may span the next bytes: look again from its start.
            m_scanned = m_input.size() < 3 ? 0 : m_input.size() - 3;
            return THttpParse::NeedMore;
        }
        if (end > m_limits.MaxHeadBytes) {
            return Fail(431);
        }
        if (const THttpParse head = ParseHead(std::string_view(m_input).substr(0, end));
            head != THttpParse::Request) {
            return head;
        }
        m_headDone = true;
        m_headBytes = end;
    }
    return m_input.size() - m_headBytes >= m_bodyBytes ? THttpParse::Request : THttpParse::NeedMore;
}

THttpParse THttpRequestParser::ParseHead(std::string_view head) {
    std::size_t lf = head.find('\n');
    if (const int status = ParseRequestLine(StripCr(head.substr(0, lf)))) {
        return Fail(status);
    }
    for (std::size_t start = lf + 1;; start = lf + 1) {
        lf = head.find('\n', start);
        const std::string_view line = StripCr(head.substr(start, lf - start));
        if (line.empty()) {
            break;
        }
        if (m_request.Headers.size() == m_limits.MaxHeaderFields) {
            return Fail(431);
        }
        if (!ParseField(line)) {
            return Fail(400);
        }
    }
    return CheckFields();
}

int THttpRequestParser::ParseRequestLine(std::string_view line) {
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
        return 400;
    }
    const std::string_view method = line.substr(0, sp1);
    std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = line.substr(sp2 + 1);
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const bool versionShape = version.size() == 8 && version.substr(0, 5) == "HTTP/" &&
                              digit(version[5]) && version[6] == '.' && digit(version[7]);
    if (!IsToken(method) || target.empty() || !versionShape ||
        !std::all_of(target.begin(), target.end(), IsVisible) ||
        target.find('#') != std::string_view::npos) {
        return 400;
    }
    if (version[5] != '1') {
        return 505; // HTTP/2's preface ends up here too
    }
    // The absolute form a proxy would send: only the path and query count.
    bool absolute = false;
    if (const std::size_t scheme = target.find("://");
        target.front() != '/' && scheme != std::string_view::npos) {
        const std::size_t path = target.find_first_of("/?", scheme + 3);
        target = path == std::string_view::npos ? std::string_view("/") : target.substr(path);
        absolute = true;
    }
    if (target.front() != '/' && !(absolute && target.front() == '?') &&
        !(target == "*" && method == "OPTIONS")) {
        return 400;
    }
    const std::size_t query = target.find('?');
    const std::string_view path = target.substr(0, query);
    m_request.Method.assign(method);
    m_request.Path.assign(path.empty() ? std::string_view("/") : path);
    m_request.Query.assign(query == std::string_view::npos ? std::string_view()
                                                           : target.substr(query + 1));
    m_request.MinorVersion = version[7] - '0';
    return 0;
}

bool THttpRequestParser::ParseField(std::string_view line) {
    const std::size_t colon = line.find(':');
    // No blank before the colon (RFC 9112 5.1), no folded continuation line.
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
        return false;
    }
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (!IsFieldValue(value)) {
        return false;
    }
    m_request.Headers.emplace_back(LowerCase(line.substr(0, colon)), std::string(value));
    return true;
}

THttpParse THttpRequestParser::CheckFields() {
    int hosts = 0;
    bool hasLength = false, hasCoding = false;
    std::string length;
    for (const auto& [name, value] : m_request.Headers) {
        if (name == "host") {
            ++hosts;
        } else if (name == "transfer-encoding") {
            hasCoding = true;
        } else if (name == "content-length") {
            // "5, 5" from a proxy that merged fields is one length; "5, 6" is smuggling.
            for (std::string_view rest = value; !rest.empty();) {
                const std::size_t comma = rest.find(',');
                const std::string_view one = TrimBlanks(rest.substr(0, comma));
                rest =
                    comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
                if (one.empty() ||
                    !std::all_of(one.begin(), one.end(),
                                 [](char c) { return c >= '0' && c <= '9'; }) ||
                    (hasLength && one != length)) {
                    return Fail(400);
                }
                hasLength = true;
                length = std::string(one);
            }
        } else if (name == "connection") {
            for (std::string_view rest = value; !rest.empty();) {
                const std::size_t comma = rest.find(',');
                m_close = m_close || EqualsNoCase(TrimBlanks(rest.substr(0, comma)), "close");
                rest =
                    comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
        } else if (name == "expect") {
            if (!EqualsNoCase(value, "100-continue")) {
                return Fail(417);
            }
            m_expectContinue = true;
        }
    }
    if (hosts > 1 || (hosts == 0 && m_request.MinorVersion >= 1)) {
        return Fail(400);
    }
    if (hasCoding) {
        // No chunked bodies are taken; with a length as well it is smuggling.
        return Fail(hasLength ? 400 : 501);
    }
    const std::size_t digits = length.find_first_not_of('0');
    if (digits != std::string::npos &&
        (length.size() - digits > kMaxLengthDigits ||
         std::stoull(length.substr(digits)) > m_limits.MaxBodyBytes)) {
        return Fail(413);
    }
    m_bodyBytes = digits == std::string::npos ? 0 : std::stoull(length.substr(digits));
    m_expectContinue = m_expectContinue && m_bodyBytes > 0;
    m_close = m_close || m_request.MinorVersion == 0;
    return THttpParse::Request;
}

THttpRequest THttpRequestParser::Take() {
    THttpRequest request = std::move(m_request);
    request.Body = m_input.substr(m_headBytes, m_bodyBytes);
    m_input.erase(0, m_headBytes + m_bodyBytes);
    m_request = THttpRequest{};
    m_headDone = m_lineDone = false;
    m_headBytes = m_bodyBytes = m_scanned = 0;
    m_expectContinue = m_close = false;
    return request;
}

} // namespace pingvard
