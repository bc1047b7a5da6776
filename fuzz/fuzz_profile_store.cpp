// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzer for the profile text rules behind pingvard.ini: arbitrary file content,
// then one write of a fuzzer-chosen entry. Checks that the written value reads
// back (also under another letter case of the names), that no other entry
// changes, that writing the same value again changes nothing, and that no read
// returns more than 2047 characters.
#include "config/profile_store.h"

#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMaxRead = 2047;

void Fail(const char* what, std::string_view section, std::string_view key) {
    std::fprintf(stderr, "profile store: %s ([%.*s] %.*s)\n", what,
                 static_cast<int>(section.size()), section.data(), static_cast<int>(key.size()),
                 key.data());
    std::abort();
}

// Names as the program uses them: letters, digits and a little punctuation,
// never blank at either end. Other bytes would make a name ambiguous in the
// file format itself (a key starting with ';' or '[').
std::string MakeName(const std::string& raw) {
    static constexpr std::string_view kAlphabet = "ABCXYZabcxyz0189_.- ";
    std::string name;
    for (unsigned char c : raw) {
        name += kAlphabet[c % kAlphabet.size()];
    }
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    while (!name.empty() && name.front() == ' ') {
        name.erase(0, 1);
    }
    return name.empty() ? "K" : name;
}

std::string FlipCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return text;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return out;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return Lower(a) == Lower(b);
}

std::string_view Trim(std::string_view text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// What a value reads back as: one line, blanks around it removed, 2047 at most.
std::string ExpectedReadBack(std::string_view value) {
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    return std::string(Trim(value).substr(0, kMaxRead));
}

// Section and key names that appear in the content, found independently of the
// store's own parser (roughly: it only chooses what to probe).
void CollectNames(std::string_view content, std::vector<std::string>& sections,
                  std::vector<std::string>& keys) {
    while (!content.empty() && sections.size() < 8 && keys.size() < 12) {
        std::size_t end = content.find('\n');
        std::string_view line = Trim(content.substr(0, end));
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line = Trim(line.substr(0, line.size() - 1));
        }
        if (line.starts_with('[')) {
            sections.emplace_back(Trim(line.substr(1, line.find(']') - 1)));
        } else if (std::size_t eq = line.find('='); eq != std::string_view::npos && eq > 0) {
            keys.emplace_back(Trim(line.substr(0, eq)));
        }
    }
}

void CheckReadLength(const std::optional<std::string>& value, std::string_view section,
                     std::string_view key) {
    if (value && value->size() > kMaxRead) {
        Fail("read longer than 2047 characters", section, key);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = MakeName(input.ConsumeRandomLengthString(12));
    const std::string key = MakeName(input.ConsumeRandomLengthString(12));
    const std::string value = input.ConsumeRandomLengthString(4096);
    const std::string content = input.ConsumeRemainingBytesAsString();

    const std::optional<std::string> written =
        pingvard::SetProfileValue(content, section, key, value);
    if (!written) {
        Fail("a storable name was refused", section, key);
    }
    const std::string expected = ExpectedReadBack(value);
    for (const auto& [s, k] :
         {std::pair{section, key}, std::pair{FlipCase(section), FlipCase(key)}}) {
        const std::optional<std::string> back = pingvard::FindProfileValue(*written, s, k);
        CheckReadLength(back, s, k);
        if (back != expected) {
            Fail("the written value does not read back", s, k);
        }
    }
    if (pingvard::SetProfileValue(*written, section, key, value) != written) {
        Fail("writing the same value again changed the file", section, key);
    }

    std::vector<std::string> sections{section};
    std::vector<std::string> keys{key};
    CollectNames(content, sections, keys);
    for (const std::string& s : sections) {
        for (const std::string& k : keys) {
            const std::optional<std::string> before = pingvard::FindProfileValue(content, s, k);
            CheckReadLength(before, s, k);
            if (SameNoCase(s, section) && SameNoCase(k, key)) {
                continue;
            }
            std::optional<std::string> after = pingvard::FindProfileValue(*written, s, k);
            if (after != before) {
                Fail("an entry that was not written changed", s, k);
            }
        }
    }
    return 0;
}
