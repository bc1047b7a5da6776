// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace pingvard::test {

// A fresh directory made the current one (the program directory) for the
// lifetime of the object.
class TTempCurrentDir {
public:
    TTempCurrentDir() : m_previous(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "pingvard-mon-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        m_path = pattern;
        std::filesystem::current_path(m_path);
    }
    ~TTempCurrentDir() {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TTempCurrentDir(const TTempCurrentDir&) = delete;
    TTempCurrentDir& operator=(const TTempCurrentDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    bool Exists(const std::string& name) const { return std::filesystem::exists(m_path / name); }
    std::string Read(const std::string& name) const {
        std::ifstream in(m_path / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(m_path / name, std::ios::binary) << text;
    }

private:
    std::filesystem::path m_previous;
    std::filesystem::path m_path;
};

} // namespace pingvard::test
