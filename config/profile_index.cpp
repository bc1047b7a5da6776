// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/profile_index.h"

#include "config/ini_text.h"
#include "config/profile_lines.h"

namespace pingvard {

namespace {

constexpr std::size_t kLinesPerCancelCheck = 4096;

} // namespace

TProfileIndex::TProfileIndex(std::string content, const TCancelCheck& cancelled)
    : m_content(std::move(content)) {
    const std::string_view text = SkipByteOrderMark(m_content);
    TSection* section = nullptr;
    std::size_t number = 0;
    for (const TProfileLine& line : SplitProfileLines(text)) {
        if (++number % kLinesPerCancelCheck == 0 && cancelled && cancelled()) {
            m_sections.clear();
            m_cancelled = true;
            return;
        }
        const TParsedProfileLine parsed = ParseProfileLine(line.text);
        if (parsed.kind == TProfileLineKind::Section) {
            section = &m_sections[Lower(parsed.name)];
            section->Lines.push_back(number);
        } else if (parsed.kind == TProfileLineKind::Entry && section != nullptr) {
            const std::string_view value = ProfileEntryValue(line.text);
            // An empty value may point nowhere (Trim gives {}).
            const std::size_t offset =
                value.empty() ? 0 : static_cast<std::size_t>(value.data() - m_content.data());
            // try_emplace keeps the first: a later duplicate never replaces it.
            section->Entries.try_emplace(
                Lower(parsed.name),
                TStored{offset, value.size(), number,
                        static_cast<std::size_t>(line.text.data() - m_content.data()),
                        line.text.size()});
        }
    }
}

std::optional<TProfileIndex::TEntry> TProfileIndex::Find(std::string_view section,
                                                         std::string_view key) const {
    const auto s = m_sections.find(Lower(Trim(section)));
    if (s == m_sections.end()) {
        return std::nullopt;
    }
    const auto e = s->second.Entries.find(Lower(Trim(key)));
    if (e == s->second.Entries.end()) {
        return std::nullopt;
    }
    const TStored& stored = e->second;
    const std::string_view content(m_content);
    return TEntry{content.substr(stored.Offset, stored.Length), stored.Line,
                  content.substr(stored.TextOffset, stored.TextLength)};
}

const std::vector<std::size_t>& TProfileIndex::SectionLines(std::string_view section) const {
    static const std::vector<std::size_t> kNone;
    const auto s = m_sections.find(Lower(Trim(section)));
    return s == m_sections.end() ? kNone : s->second.Lines;
}

} // namespace pingvard
