// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing and editing of profile text, without any file access.
#include "config/profile_store.h"

#include <algorithm>
#include <vector>

namespace pingvard {
namespace {

struct TLine {
    std::string_view text; // without the line ending
    std::string_view eol;  // "\r\n", "\n"; for the last line also "\r" or ""
};

enum class TLineKind { Blank, Comment, Section, Entry, Other };

struct TParsedLine {
    TLineKind kind = TLineKind::Other;
    std::string_view name; // section name or key
};

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

std::vector<TLine> SplitLines(std::string_view content) {
    std::vector<TLine> lines;
    while (!content.empty()) {
        const auto lf = content.find('\n');
        if (lf == std::string_view::npos) {
            // A last line cut after its CR (an editor that stopped half-way
            // through CR LF) reads like the same line with its LF.
            const bool bareCr = content.back() == '\r';
            lines.push_back({content.substr(0, content.size() - (bareCr ? 1 : 0)),
                             bareCr ? std::string_view{"\r"} : std::string_view{}});
            break;
        }
        const size_t textEnd = (lf > 0 && content[lf - 1] == '\r') ? lf - 1 : lf;
        lines.push_back({content.substr(0, textEnd), content.substr(textEnd, lf + 1 - textEnd)});
        content.remove_prefix(lf + 1);
    }
    return lines;
}

TParsedLine ParseLine(std::string_view text) {
    const auto trimmed = TrimBlanks(text);
    if (trimmed.empty())
        return {TLineKind::Blank, {}};
    if (trimmed.front() == ';' || trimmed.front() == '#')
        return {TLineKind::Comment, {}};
    if (trimmed.front() == '[') {
        const auto close = trimmed.find(']');
        const auto inner = trimmed.substr(1, close == std::string_view::npos ? close : close - 1);
        return {TLineKind::Section, TrimBlanks(inner)};
    }
    const auto eq = trimmed.find('=');
    if (eq == std::string_view::npos)
        return {TLineKind::Other, {}};
    return {TLineKind::Entry, TrimBlanks(trimmed.substr(0, eq))};
}

std::string_view EntryValue(std::string_view text) {
    return TrimBlanks(text.substr(text.find('=') + 1));
}

// A UTF-8 byte-order mark written by some editors must not hide the first section.
std::string_view SkipByteOrderMark(std::string_view content) {
    if (content.starts_with("\xEF\xBB\xBF"))
        content.remove_prefix(3);
    return content;
}

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
        const auto parsed = ParseLine(lines[i].text);
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
    const auto lines = SplitLines(SkipByteOrderMark(content));
    const auto where = Locate(lines, TrimBlanks(section), TrimBlanks(key));
    if (!where.entryLine)
        return std::nullopt;
    const auto value = EntryValue(lines[*where.entryLine].text);
    return std::string{value.substr(0, TProfileStore::kMaxValueLength)};
}

std::optional<std::string> SetProfileValue(std::string_view content, std::string_view section,
                                           std::string_view key, std::string_view value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (!NameStorable(section, ']') || !NameStorable(key, '='))
        return std::nullopt;
    value = value.substr(0, value.find_first_of(std::string_view{"\r\n\0", 3}));

    const size_t bomLength = content.size() - SkipByteOrderMark(content).size();
    auto lines = SplitLines(content.substr(bomLength));
    const auto where = Locate(lines, section, key);
    const auto eol = NewLineEnding(lines);
    std::vector<std::string> added; // owns the text of new lines
    added.reserve(2);

    if (where.entryLine) {
        auto& line = lines[*where.entryLine];
        added.push_back(std::string{ParseLine(line.text).name} + "=" + std::string{value});
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
