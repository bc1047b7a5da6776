// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/plugsim_http.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace pingvard::plugsim {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    default:
        return "Error";
    }
}

bool ParseHeaders(std::string_view block, THttpRequest& request) {
    while (!block.empty()) {
        const std::size_t end = std::min(block.find("\r\n"), block.size());
        const std::string_view line = block.substr(0, end);
        block.remove_prefix(std::min(end + 2, block.size()));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return false;
        }
        request.Headers[Lower(Trim(line.substr(0, colon)))] =
            std::string(Trim(line.substr(colon + 1)));
    }
    return true;
}

} // namespace

std::string UrlDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::map<std::string, std::string> ParseQuery(std::string_view query) {
    std::map<std::string, std::string> values;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        if (!pair.empty()) {
            values[UrlDecode(pair.substr(0, eq))] =
                eq == std::string_view::npos ? "" : UrlDecode(pair.substr(eq + 1));
        }
        query = amp == std::string_view::npos ? "" : query.substr(amp + 1);
    }
    return values;
}

std::map<std::string, std::string> ParseAuthParams(std::string_view text) {
    std::map<std::string, std::string> params;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '\t')) {
            ++i;
        }
        const std::size_t eq = text.find('=', i);
        if (eq == std::string_view::npos) {
            break;
        }
        const std::string name = Lower(Trim(text.substr(i, eq - i)));
        std::string value;
        i = eq + 1;
        if (i < text.size() && text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    ++i;
                }
                value += text[i];
            }
            ++i; // the closing quote
        } else {
            const std::size_t comma = std::min(text.find(',', i), text.size());
            value = std::string(Trim(text.substr(i, comma - i)));
            i = comma;
        }
        params[name] = value;
    }
    return params;
}

TParse ParseHttpRequest(std::string_view buffer, THttpRequest& request, std::size_t maxBytes) {
    const std::size_t headEnd = buffer.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) {
        return buffer.size() > maxBytes ? TParse::Bad : TParse::Incomplete;
    }
    const std::string_view head = buffer.substr(0, headEnd);
    const std::size_t lineEnd = head.find("\r\n");
    const std::string_view line = head.substr(0, lineEnd);
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = line.rfind(' ');
    if (sp1 == std::string_view::npos || sp2 == sp1 || line.substr(sp2 + 1).rfind("HTTP/1.", 0)) {
        return TParse::Bad;
    }
    request = THttpRequest{};
    request.Method = std::string(line.substr(0, sp1));
    request.Target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    const std::size_t question = request.Target.find('?');
    request.Path = UrlDecode(std::string_view(request.Target).substr(0, question));
    if (question != std::string::npos) {
        request.Query = ParseQuery(std::string_view(request.Target).substr(question + 1));
    }
    if (lineEnd != std::string_view::npos && !ParseHeaders(head.substr(lineEnd + 2), request)) {
        return TParse::Bad;
    }
    std::size_t length = 0;
    if (const auto it = request.Headers.find("content-length"); it != request.Headers.end()) {
        const auto [end, error] =
            std::from_chars(it->second.data(), it->second.data() + it->second.size(), length);
        if (error != std::errc() || end != it->second.data() + it->second.size()) {
            return TParse::Bad;
        }
    }
    if (request.Headers.count("transfer-encoding") != 0 || headEnd + 4 + length > maxBytes) {
        return TParse::Bad; // a plug's web server takes no chunked uploads
    }
    if (buffer.size() < headEnd + 4 + length) {
        return TParse::Incomplete;
    }
    request.Body = std::string(buffer.substr(headEnd + 4, length));
    return TParse::Complete;
}

std::string FormatResponse(const THttpResponse& response) {
    std::string text =
        "HTTP/1.1 " + std::to_string(response.Status) + " " + Reason(response.Status) + "\r\n";
    text += "Server: pingvard-plugsim\r\n";
    text += "Content-Type: " + response.ContentType + "\r\n";
    text += "Content-Length: " + std::to_string(response.Body.size()) + "\r\n";
    text += response.ExtraHeaders;
    text += "Connection: close\r\n\r\n";
    return text + response.Body;
}

} // namespace pingvard::plugsim
