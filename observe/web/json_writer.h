// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small writer of JSON text (RFC 8259) for the status page's API: objects
// and arrays in the order written, commas placed by the writer, every string
// escaped so any name or outcome text stays one valid value.
//
//     TJsonWriter j;
//     j.BeginObject().Key("state").String("up").Key("hosts").BeginArray();
//     ...
//     j.EndArray().EndObject();
//     std::string text = std::move(j).Take();

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pingvard {

class TJsonWriter {
public:
    TJsonWriter& BeginObject();
    TJsonWriter& EndObject();
    TJsonWriter& BeginArray();
    TJsonWriter& EndArray();
    TJsonWriter& Key(std::string_view key);
    TJsonWriter& String(std::string_view text);
    TJsonWriter& Number(int64_t value);
    // Finite values with up to 3 decimals; null for NaN and infinities.
    TJsonWriter& Number(double value);
    TJsonWriter& Bool(bool value);
    TJsonWriter& Null();
    template <class T> TJsonWriter& Optional(const std::optional<T>& value) {
        if (!value) {
            return Null();
        }
        if constexpr (std::is_floating_point_v<T>) {
            return Number(static_cast<double>(*value));
        } else {
            return Number(static_cast<int64_t>(*value));
        }
    }
    std::string Take() && { return std::move(m_text); }

private:
    void Separate();
    std::string m_text;
    std::vector<bool> m_first; // per open object or array: nothing written in it yet
    bool m_afterKey = false;
};

// text as a JSON string, quotes included; invalid UTF-8 becomes U+FFFD.
std::string JsonString(std::string_view text);

} // namespace pingvard
