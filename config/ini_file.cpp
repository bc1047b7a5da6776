// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ini_file.h"

#include "config/integer_text.h"
#include "config/program_dir.h"

namespace pingvard {

TCustomIniFile::TCustomIniFile(std::string fileName) : m_fileName(std::move(fileName)) {}

int32_t TCustomIniFile::ReadNumber(const std::string& section, const std::string& key,
                                   int32_t def) {
    return ParseIntegerText(ReadText(section, key, "")).value_or(def);
}

void TCustomIniFile::WriteNumber(const std::string& section, const std::string& key,
                                 int32_t value) {
    WriteText(section, key, std::to_string(value));
}

bool TCustomIniFile::ReadFlag(const std::string& section, const std::string& key, bool def) {
    return ReadNumber(section, key, def ? 1 : 0) != 0;
}

void TCustomIniFile::WriteFlag(const std::string& section, const std::string& key, bool value) {
    WriteText(section, key, value ? "1" : "0");
}

TIniFile::TIniFile(std::string fileName, TCancelCheck cancelled)
    : TCustomIniFile(fileName), m_store(std::move(fileName)) {
    m_store.SetCancelCheck(std::move(cancelled));
}

std::shared_ptr<const TProfileIndex> TIniFile::Index() {
    auto index = m_store.Index();
    if (index->Cancelled())
        throw ELoadCancelled("the settings load was cancelled");
    return index;
}

TIniFile::~TIniFile() {
    m_store.Flush();
}

std::string TIniFile::ReadText(const std::string& section, const std::string& key,
                               const std::string& def) {
    const auto entry = Index()->Find(section, key);
    return entry ? std::string(entry->Value.substr(0, TProfileStore::kMaxValueLength))
                 : def.substr(0, TProfileStore::kMaxValueLength);
}

void TIniFile::WriteText(const std::string& section, const std::string& key,
                         const std::string& value) {
    if (!m_store.Write(section, key, value))
        throw EIniFileException("Unable to write to " + FileName());
}

void TCustomIniFile::DeleteKey(const std::string& section, const std::string& key) {
    throw EIniFileException("Unable to remove [" + section + "] " + key + " from " + FileName());
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    if (!m_store.Remove(section, key))
        throw EIniFileException("Unable to write to " + FileName());
}

std::string ConfigFileName() {
    return GetProgramDir() + "pingvard.ini";
}

} // namespace pingvard
