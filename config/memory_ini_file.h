// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/ini_file.h"
#include "config/profile_index.h"

#include <memory>
#include <string>

namespace pingvard {

// pingvard.ini as a load would leave it, without touching the file: the
// content is read once, and writes change only this copy. For what must
// write nothing (--test-action, a reload) yet read exactly what a start
// reads, the default script included.
class TMemoryIniFile : public TCustomIniFile {
public:
    // Reads fileName now; an absent or unreadable file reads as empty.
    explicit TMemoryIniFile(std::string fileName);

    bool Readable() const { return m_readable; }
    const std::string& Content() const { return m_content; }

    std::string ReadText(const std::string& section, const std::string& key,
                         const std::string& def) override;
    // Never throws: the file is not written.
    void WriteText(const std::string& section, const std::string& key,
                   const std::string& value) override;
    std::shared_ptr<const TProfileIndex> Index() override;
    void DeleteKey(const std::string& section, const std::string& key) override;

private:
    std::string m_content;
    std::shared_ptr<const TProfileIndex> m_index; // of m_content; dropped by a write
    bool m_readable = false;
};

} // namespace pingvard
