// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/section_reader.h"

#include "config/ini_file.h"
#include "config/ini_text.h"
#include "config/integer_text.h"
#include "config/profile_store.h"

#include <algorithm>

namespace pingvard {

namespace {

constexpr std::size_t kShownValue = 60; // characters of a value in a problem line

std::string Shown(std::string_view value) {
    if (value.size() > kShownValue) {
        return EscapedText(value.substr(0, kShownValue)) + "...";
    }
    return EscapedText(value);
}

std::string LineList(const std::vector<std::size_t>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == lines.size() ? " and " : ", ") + std::to_string(lines[i]);
    }
    return text;
}

} // namespace

TSettingsReader::TSettingsReader(std::shared_ptr<const TProfileIndex> index,
                                 std::vector<std::string>& problems, TCancelCheck cancelled)
    : m_index(std::move(index)), m_problems(problems), m_cancelled(std::move(cancelled)) {}

void TSettingsReader::CheckCancelled() const {
    if (m_cancelled && m_cancelled()) {
        throw ELoadCancelled("the settings load was cancelled");
    }
}

void TSettingsReader::Add(const std::string& line) {
    m_problems.push_back(line);
}

TSectionReader TSettingsReader::Section(std::string name) {
    TSectionReader section(*this, std::move(name));
    const std::vector<std::size_t>& lines = m_index->SectionLines(section.Name());
    if (lines.size() > 1 && m_toldDuplicate.insert(Lower(section.Name())).second) {
        section.Note("is in the file " + std::to_string(lines.size()) + " times (lines " +
                     LineList(lines) + "); of a key in more than one, the first is used");
    }
    return section;
}

TSectionReader::TSectionReader(TSettingsReader& file, std::string name)
    : m_file(file), m_name(std::move(name)) {}

bool TSectionReader::Has(std::string_view key) const {
    return m_file.m_index->Find(m_name, key).has_value();
}

std::optional<std::string> TSectionReader::Value(std::string_view key) {
    const auto entry = m_file.m_index->Find(m_name, key);
    if (!entry) {
        return std::nullopt;
    }
    if (entry->Value.size() > TProfileStore::kMaxValueLength) {
        // The value itself stays out of the line: it may be a secret.
        Note(std::string(key) + " is longer than " +
             std::to_string(TProfileStore::kMaxValueLength) + " characters (" +
             std::to_string(entry->Value.size()) + "); using its first " +
             std::to_string(TProfileStore::kMaxValueLength));
    }
    return std::string(entry->Value.substr(0, TProfileStore::kMaxValueLength));
}

std::string TSectionReader::Text(std::string_view key, std::string_view def) {
    std::optional<std::string> text = Value(key);
    return text ? std::move(*text) : std::string(def);
}

int32_t TSectionReader::Number(std::string_view key, int32_t def, int32_t low, int32_t high) {
    const std::string text = Text(key, "");
    if (text.empty()) {
        return def;
    }
    const std::optional<int32_t> value = ParseIntegerText(text);
    if (!value || *value < low || *value > high) {
        Problem(key, text,
                (value ? "not between " + std::to_string(low) + " and " + std::to_string(high)
                       : std::string("not a number")) +
                    "; using " + std::to_string(def));
        return def;
    }
    return *value;
}

bool TSectionReader::Flag(std::string_view key, bool def) {
    const std::string text = Text(key, "");
    if (text.empty()) {
        return def;
    }
    const std::optional<int32_t> value = ParseIntegerText(text);
    if (!value || (*value != 0 && *value != 1)) {
        Problem(key, text, def ? "not 0 or 1; using 1" : "not 0 or 1; using 0");
        return def;
    }
    return *value == 1;
}

int TSectionReader::Choice(std::string_view key, const std::vector<std::string>& names, int def) {
    const std::string text = Text(key, "");
    if (text.empty()) {
        return def;
    }
    const auto found = std::find(names.begin(), names.end(), Lower(text));
    if (found != names.end()) {
        return static_cast<int>(found - names.begin());
    }
    std::string list;
    for (const std::string& name : names) {
        list += (list.empty() ? "" : ", ") + name;
    }
    Problem(key, text, "not one of " + list + "; using " + names[static_cast<std::size_t>(def)]);
    return def;
}

std::vector<std::string> TSectionReader::List(std::string_view key, std::string_view def) {
    const std::string text = Text(key, def);
    std::vector<std::string> names;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string name(Trim(std::string_view(text).substr(start, comma - start)));
        start = comma + 1;
        if (name.empty()) {
            continue;
        }
        if (std::find(names.begin(), names.end(), name) != names.end()) {
            Problem(key, text, Shown(name) + " named twice; the second left out");
            continue;
        }
        names.push_back(name);
    }
    return names;
}

void TSectionReader::Problem(std::string_view key, std::string_view value, std::string_view what) {
    m_file.Add("pingvard.ini [" + EscapedText(m_name) + "] " + EscapedText(key) + "=" +
               Shown(value) + ": " + EscapedText(what));
}

void TSectionReader::Note(std::string_view what) {
    m_file.Add("pingvard.ini [" + EscapedText(m_name) + "] " + EscapedText(what));
}

} // namespace pingvard
