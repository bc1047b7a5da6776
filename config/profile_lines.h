// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the profile store splits and reads the lines of pingvard.ini: shared by
// its reads (TProfileIndex) and its writes (SetProfileValue), so both see
// the same file.

#include <string_view>
#include <vector>

namespace pingvard {

struct TProfileLine {
    std::string_view text; // without the line ending
    std::string_view eol;  // "\r\n", "\n"; for the last line also "\r" or ""
};

enum class TProfileLineKind { Blank, Comment, Section, Entry, Other };

struct TParsedProfileLine {
    TProfileLineKind kind = TProfileLineKind::Other;
    std::string_view name; // section name or key, blanks removed
};

// A last line cut after its CR (an editor that stopped half-way through
// CR LF) reads like the same line with its LF.
std::vector<TProfileLine> SplitProfileLines(std::string_view content);
TParsedProfileLine ParseProfileLine(std::string_view text);
// The value of an entry line, blanks removed, whole (reads cut it).
std::string_view ProfileEntryValue(std::string_view text);
// A UTF-8 byte-order mark written by some editors must not hide the first section.
std::string_view SkipByteOrderMark(std::string_view content);

} // namespace pingvard
