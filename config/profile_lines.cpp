// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/profile_lines.h"

#include "config/ini_text.h"

namespace pingvard {

std::vector<TProfileLine> SplitProfileLines(std::string_view content) {
    std::vector<TProfileLine> lines;
    while (!content.empty()) {
        const auto lf = content.find('\n');
        if (lf == std::string_view::npos) {
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

TParsedProfileLine ParseProfileLine(std::string_view text) {
    const auto trimmed = Trim(text);
    if (trimmed.empty())
        return {TProfileLineKind::Blank, {}};
    if (trimmed.front() == ';' || trimmed.front() == '#')
        return {TProfileLineKind::Comment, {}};
    if (trimmed.front() == '[') {
        const auto close = trimmed.find(']');
        const auto inner = trimmed.substr(1, close == std::string_view::npos ? close : close - 1);
        return {TProfileLineKind::Section, Trim(inner)};
    }
    const auto eq = trimmed.find('=');
    if (eq == std::string_view::npos)
        return {TProfileLineKind::Other, {}};
    return {TProfileLineKind::Entry, Trim(trimmed.substr(0, eq))};
}

std::string_view ProfileEntryValue(std::string_view text) {
    return Trim(text.substr(text.find('=') + 1));
}

std::string_view SkipByteOrderMark(std::string_view content) {
    if (content.starts_with("\xEF\xBB\xBF"))
        content.remove_prefix(3);
    return content;
}

} // namespace pingvard
