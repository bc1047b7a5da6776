// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's own shared modules, loaded on first use so that their
// libraries are mapped only by a configuration that needs them. Resolved at
// once (RTLD_NOW): a missing library is one clear line here, never a crash
// at the first call. A module stays mapped until the program ends.

#include <optional>
#include <string>
#include <vector>

namespace pingvard {

class TLoadedModule {
public:
    // The first of dirs that holds file; nothing, with error set to one line
    // naming the file and the reason, when none can be loaded.
    static std::optional<TLoadedModule>
    Load(const std::string& file, const std::vector<std::string>& dirs, std::string& error);
    TLoadedModule(TLoadedModule&& other) noexcept;
    TLoadedModule& operator=(TLoadedModule&&) = delete;
    TLoadedModule(const TLoadedModule&) = delete;
    ~TLoadedModule();

    // The entry point of that name, or null with error set.
    void* Symbol(const char* name, std::string& error) const;
    const std::string& Path() const noexcept { return m_path; }

private:
    TLoadedModule(void* handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}

    void* m_handle;
    std::string m_path;
};

// Where the program's modules are: beside the running executable (the build
// tree), then the package's private library directory relative to it
// (PINGVARD_MODULE_DIR, "../lib/pingvard" from the program's bin directory).
std::vector<std::string> ProgramModuleDirs();

} // namespace pingvard
