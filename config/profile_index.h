// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pingvard {

// Polled by a long read of the settings: true asks it to end early (an exit
// request during the start-up load).
using TCancelCheck = std::function<bool()>;

// One reading of a profile file, parsed once: every lookup after that costs
// the same however large the file is. The rules are the profile store's
// (config/profile_store.h): names match without regard to ASCII letter case,
// and of several entries with one name in sections of one name the first in
// the file counts. Values are kept whole; the store's reads cut them.
class TProfileIndex {
public:
    struct TEntry {
        std::string_view Value; // blanks removed, not cut; valid while the index lives
        std::size_t Line = 0;   // 1-based
        std::string_view Text;  // the whole line, without its ending
    };

    TProfileIndex() = default;
    // cancelled is polled every few thousand lines; when it says so the
    // parse ends there and the index stays empty and Cancelled.
    explicit TProfileIndex(std::string content, const TCancelCheck& cancelled = {});
    TProfileIndex(const TProfileIndex&) = delete;
    TProfileIndex& operator=(const TProfileIndex&) = delete;

    std::optional<TEntry> Find(std::string_view section, std::string_view key) const;
    // The 1-based line of each header of the section, in file order; empty
    // when the file has no such section.
    const std::vector<std::size_t>& SectionLines(std::string_view section) const;
    bool Cancelled() const noexcept { return m_cancelled; }

private:
    struct TStored {
        std::size_t Offset, Length, Line, TextOffset, TextLength;
    };
    struct TSection {
        std::vector<std::size_t> Lines;
        std::unordered_map<std::string, TStored> Entries; // by lower-case key
    };

    std::string m_content;
    std::unordered_map<std::string, TSection> m_sections; // by lower-case name
    bool m_cancelled = false;
};

} // namespace pingvard
