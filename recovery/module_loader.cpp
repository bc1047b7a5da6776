// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/module_loader.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#ifndef PINGVARD_MODULE_DIR
#define PINGVARD_MODULE_DIR "../lib/pingvard"
#endif

namespace pingvard {

std::optional<TLoadedModule> TLoadedModule::Load(const std::string& file,
                                                 const std::vector<std::string>& dirs,
                                                 std::string& error) {
    std::string searched;
    for (const std::string& dir : dirs) {
        const std::string path = (std::filesystem::path(dir) / file).lexically_normal().string();
        if (::access(path.c_str(), F_OK) != 0) {
            searched += (searched.empty() ? "" : ", ") + dir;
            continue;
        }
        // NODELETE: code of the module (and of the libraries it brought)
        // stays mapped after the handle goes, so nothing can call into an
        // unmapped page, and sanitizers can still name its frames at exit.
        if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
            return TLoadedModule(handle, path);
        }
        const char* why = ::dlerror();
        error = "cannot load " + path + " (" + (why != nullptr ? why : "unknown error") + ")";
        return std::nullopt;
    }
    error = file + " is not installed (looked in " + searched + ")";
    return std::nullopt;
}

TLoadedModule::TLoadedModule(TLoadedModule&& other) noexcept
    : m_handle(other.m_handle), m_path(std::move(other.m_path)) {
    other.m_handle = nullptr;
}

TLoadedModule::~TLoadedModule() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
    }
}

void* TLoadedModule::Symbol(const char* name, std::string& error) const {
    ::dlerror();
    void* symbol = ::dlsym(m_handle, name);
    if (symbol == nullptr) {
        error = m_path + " has no " + name + " (a module of another build)";
    }
    return symbol;
}

std::vector<std::string> ProgramModuleDirs() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    const std::filesystem::path bin = exe.parent_path();
    return {bin.string(), (bin / PINGVARD_MODULE_DIR).lexically_normal().string()};
}

} // namespace pingvard
