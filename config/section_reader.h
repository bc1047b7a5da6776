// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one reader of the newer sections of pingvard.ini ([Recovery], [Guard],
// [Action.*], [History], [Metrics], [Hooks], [Hook.*], [Notifications],
// [Desktop]): every value from one parse of the file, and every problem as one
// line in one wording, with what is used instead:
//
//   pingvard.ini [Section] Key=value: what is wrong; using what instead
//   pingvard.ini [Section] what is wrong; what is done instead
//
// Values in these lines are shortened and escaped (config/ini_text.h), so a
// line is one terminal line whatever the file holds. The rules, the same for
// every section:
// - An absent key, or one with an empty value, takes its default; numbers and
//   flags follow the integer rule (config/integer_text.h), a flag is 0 or 1.
// - A value longer than the file's 2047 characters is cut there, as every
//   read of the file is, and said so.
// - A section the file holds more than once is read as the profile store
//   reads it (of a key in several, the first counts), and said so once.
// - A list (comma-separated names) drops blanks and empty items and says so
//   for a name given twice; the first stays.

#include "config/profile_index.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

class TSectionReader;

// One read of the file's newer sections: hands out a reader per section and
// keeps the problem lines in the order they were found.
class TSettingsReader {
public:
    TSettingsReader(std::shared_ptr<const TProfileIndex> index, std::vector<std::string>& problems,
                    TCancelCheck cancelled = {});

    TSectionReader Section(std::string name);
    // Throws ELoadCancelled (config/ini_file.h) once the check says so.
    void CheckCancelled() const;

private:
    friend class TSectionReader;
    void Add(const std::string& line);

    std::shared_ptr<const TProfileIndex> m_index;
    std::vector<std::string>& m_problems;
    TCancelCheck m_cancelled;
    std::set<std::string> m_toldDuplicate; // lower-case section names
};

class TSectionReader {
public:
    const std::string& Name() const { return m_name; }
    bool Has(std::string_view key) const;

    // The value, or nullopt when the key is absent.
    std::optional<std::string> Value(std::string_view key);
    std::string Text(std::string_view key, std::string_view def = {});
    int32_t Number(std::string_view key, int32_t def, int32_t low, int32_t high);
    bool Flag(std::string_view key, bool def);
    // One of names (lower case; matched without regard to case): its index, or def.
    int Choice(std::string_view key, const std::vector<std::string>& names, int def);
    // The comma-separated names of the key, or of def when it is absent.
    std::vector<std::string> List(std::string_view key, std::string_view def = {});

    // "pingvard.ini [S] key=value: what".
    void Problem(std::string_view key, std::string_view value, std::string_view what);
    // "pingvard.ini [S] what".
    void Note(std::string_view what);

private:
    friend class TSettingsReader;
    TSectionReader(TSettingsReader& file, std::string name);

    TSettingsReader& m_file;
    std::string m_name;
};

} // namespace pingvard
