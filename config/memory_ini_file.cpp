// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/memory_ini_file.h"

#include <fstream>
#include <iterator>

namespace pingvard {

TMemoryIniFile::TMemoryIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)) {
    std::ifstream in(FileName(), std::ios::binary);
    m_readable = static_cast<bool>(in);
    m_content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TMemoryIniFile::ReadText(const std::string& section, const std::string& key,
                                     const std::string& def) {
    const auto entry = Index()->Find(section, key);
    return entry ? std::string(entry->Value.substr(0, TProfileStore::kMaxValueLength)) : def;
}

void TMemoryIniFile::WriteText(const std::string& section, const std::string& key,
                               const std::string& value) {
    if (auto updated = SetProfileValue(m_content, section, key, value)) {
        m_content = std::move(*updated);
        m_index.reset();
    }
}

void TMemoryIniFile::DeleteKey(const std::string& section, const std::string& key) {
    m_content = RemoveProfileValue(m_content, section, key);
    m_index.reset();
}

std::shared_ptr<const TProfileIndex> TMemoryIniFile::Index() {
    if (!m_index) {
        m_index = std::make_shared<const TProfileIndex>(m_content);
    }
    return m_index;
}

} // namespace pingvard
