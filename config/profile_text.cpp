// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing and editing of profile text, without any file access.
#include "config/ini_text.h"
#include "config/profile_index.h"
#include "config/profile_lines.h"
#include "config/profile_store.h"

#include <vector>

namespace pingvard {
namespace {

using TLine = TProfileLine;
using TLineKind = TProfileLineKind;

struct TLocation {
    std::optional<size_t> sectionLine; // header of the first matching section
    std::optional<size_t> entryLine;   // first matching entry in a matching section
    size_t lastContentLine = 0;        // last non-blank line of the first matching section
};

TLocation Locate(const std::vector<TLine>& lines, std::string_view section, std::string_view key) {
    TLocation where;
    bool inSection = false;
    bool inFirstSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto parsed = ParseProfileLine(lines[i].text);
        if (parsed.kind == TLineKind::Section) {
            inSection = EqualNoCase(parsed.name, section);
            inFirstSection = inSection && !where.sectionLine;
            if (inFirstSection) {
                where.sectionLine = i;
                where.lastContentLine = i;
            }
            continue;
        }
        if (inFirstSection && parsed.kind != TLineKind::Blank)
            where.lastContentLine = i;
        if (inSection && parsed.kind == TLineKind::Entry && !where.entryLine &&
            EqualNoCase(parsed.name, key))
            where.entryLine = i;
    }
    return where;
}

std::string_view NewLineEnding(const std::vector<TLine>& lines) {
    if (!lines.empty() && lines.front().eol == "\r\n")
        return "\r\n";
    return "\n";
}

bool NameStorable(std::string_view name, char forbidden) {
    return !name.empty() &&
           name.find_first_of(std::string{"\r\n", 2} + forbidden) == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::string Join(const std::vector<TLine>& lines) {
    std::string out;
    for (const auto& line : lines) {
        out.append(line.text);
        out.append(line.eol);
    }
    return out;
}

} // namespace

std::optional<std::string> FindProfileValue(std::string_view content, std::string_view section,
                                            std::string_view key) {
    const TProfileIndex index{std::string(content)};
    const auto entry = index.Find(section, key);
    if (!entry)
        return std::nullopt;
    return std::string{entry->Value.substr(0, TProfileStore::kMaxValueLength)};
}

std::string RemoveProfileValue(std::string_view content, std::string_view section,
                               std::string_view key) {
    const size_t bomLength = content.size() - SkipByteOrderMark(content).size();
    auto lines = SplitProfileLines(content.substr(bomLength));
    const auto where = Locate(lines, Trim(section), Trim(key));
    if (!where.entryLine) {
        return std::string{content};
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*where.entryLine));
    return std::string{content.substr(0, bomLength)} + Join(lines);
}

std::optional<std::string> SetProfileValue(std::string_view content, std::string_view section,
                                           std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (!NameStorable(section, ']') || !NameStorable(key, '='))
        return std::nullopt;
    value = value.substr(0, value.find_first_of(std::string_view{"\r\n\0", 3}));

    const size_t bomLength = content.size() - SkipByteOrderMark(content).size();
    auto lines = SplitProfileLines(content.substr(bomLength));
    const auto where = Locate(lines, section, key);
    const auto eol = NewLineEnding(lines);
    std::vector<std::string> added; // owns the text of new lines
    added.reserve(2);

    if (where.entryLine) {
        auto& line = lines[*where.entryLine];
        added.push_back(std::string{ParseProfileLine(line.text).name} + "=" + std::string{value});
        line.text = added.back();
        return std::string{content.substr(0, bomLength)} + Join(lines);
    }
    const auto newEntry = std::string{key} + "=" + std::string{value};
    size_t insertAfter = lines.size();
    if (where.sectionLine) {
        insertAfter = where.lastContentLine + 1;
        added.push_back(newEntry);
    } else {
        added.push_back("[" + std::string{section} + "]");
        added.push_back(newEntry);
    }
    if (insertAfter > 0 && !lines[insertAfter - 1].eol.ends_with('\n'))
        lines[insertAfter - 1].eol = lines[insertAfter - 1].eol.empty() ? eol : "\r\n";
    std::vector<TLine> inserted;
    for (const auto& text : added)
        inserted.push_back({text, eol});
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAfter), inserted.begin(),
                 inserted.end());
    return std::string{content.substr(0, bomLength)} + Join(lines);
}

} // namespace pingvard
