#include "app/desktop_launcher.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace pingvard {

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

std::string DesktopProgramPath() {
    // Linux names the running executable here; resolving it keeps a symlinked
    // pingvard (e.g. in /usr/local/bin) pointing at its real neighbour.
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    const auto desktop = self.parent_path() / "pingvard-desktop";
    return ::access(desktop.c_str(), X_OK) == 0 ? desktop.string() : std::string();
}

std::string ExecDesktopProgram(const std::string& path) {
    char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
    ::execv(path.c_str(), argv);
    const int err = errno; // before the allocations of the message
    return "cannot start " + path + ": " + std::strerror(err);
}

} // namespace pingvard
