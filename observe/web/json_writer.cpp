// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/web/json_writer.h"

#include <cmath>
#include <cstdio>

namespace pingvard {

namespace {

// The length of the valid UTF-8 sequence at text[i], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t n = 0;
    uint32_t low = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2, low = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, low = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, low = 0x10000;
    } else {
        return 0;
    }
    if (i + n > text.size()) {
        return 0;
    }
    uint32_t code = c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= low && code <= 0x10FFFF && !surrogate ? n : 0;
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = Utf8Length(text, i);
            out += n == 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(i, n);
            i += n == 0 ? 1 : n;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // '<' too, so that a text can never close a script element.
            if (c < 0x20 || c == 0x7F || c == '<') {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

void TJsonWriter::Separate() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_first.empty()) {
        if (!m_first.back()) {
            m_text += ',';
        }
        m_first.back() = false;
    }
}

TJsonWriter& TJsonWriter::BeginObject() {
    Separate();
    m_text += '{';
    m_first.push_back(true);
    return *this;
}

TJsonWriter& TJsonWriter::EndObject() {
    m_text += '}';
    m_first.pop_back();
    return *this;
}

TJsonWriter& TJsonWriter::BeginArray() {
    Separate();
    m_text += '[';
    m_first.push_back(true);
    return *this;
}

TJsonWriter& TJsonWriter::EndArray() {
    m_text += ']';
    m_first.pop_back();
    return *this;
}

TJsonWriter& TJsonWriter::Key(std::string_view key) {
    Separate();
    m_text += JsonString(key);
    m_text += ':';
    m_afterKey = true;
    return *this;
}

TJsonWriter& TJsonWriter::String(std::string_view text) {
    Separate();
    m_text += JsonString(text);
    return *this;
}

TJsonWriter& TJsonWriter::Number(int64_t value) {
    Separate();
    m_text += std::to_string(value);
    return *this;
}

TJsonWriter& TJsonWriter::Number(double value) {
    if (!std::isfinite(value)) {
        return Null();
    }
    Separate();
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.3f", value);
    std::string text = buffer;
    // 12.500 -> 12.5, 12.000 -> 12
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') {
        text.pop_back();
    }
    m_text += text == "-0" ? "0" : text;
    return *this;
}

TJsonWriter& TJsonWriter::Bool(bool value) {
    Separate();
    m_text += value ? "true" : "false";
    return *this;
}

TJsonWriter& TJsonWriter::Null() {
    Separate();
    m_text += "null";
    return *this;
}

} // namespace pingvard
