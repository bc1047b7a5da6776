// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop_launcher.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace pingvard {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

// The platforms Qt tries, in its order.
std::vector<std::string> QtPlatforms() {
    std::vector<std::string> names;
    for (const std::string& entry : Split(Environment("QT_QPA_PLATFORM"), ';')) {
        names.push_back(entry.substr(0, entry.find(':'))); // without its options
    }
    if (!names.empty()) {
        return names;
    }
    const std::string desktops =
        Environment("XDG_CURRENT_DESKTOP") + Environment("XDG_SESSION_DESKTOP");
    const bool gnome =
        desktops.find("GNOME") != std::string::npos || desktops.find("gnome") != std::string::npos;
    if (Environment("XDG_SESSION_TYPE") == "wayland" && !gnome) {
        names.push_back("wayland");
    }
    names.push_back("xcb");
    return names;
}

// libxcb's own check: the server, its authorisation and the screen.
std::string XDisplayProblem() {
    const std::string display = Environment("DISPLAY");
    if (display.empty()) {
        return "no X display is set (DISPLAY)";
    }
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) {
        return "libxcb.so.1 is missing for the X display " + Quoted(display);
    }
    using TConnect = void* (*)(const char*, int*);
    using THasError = int (*)(void*);
    using TDisconnect = void (*)(void*);
    const auto connect = reinterpret_cast<TConnect>(::dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<THasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<TDisconnect>(::dlsym(xcb, "xcb_disconnect"));
    std::string problem;
    if (connect == nullptr || hasError == nullptr || disconnect == nullptr) {
        problem = "libxcb.so.1 lacks xcb_connect";
    } else {
        void* connection = connect(nullptr, nullptr);
        if (hasError(connection) != 0) {
            problem = "the X display " + Quoted(display) + " cannot be opened";
        }
        disconnect(connection); // also for a failed connection, which xcb allocated
    }
    ::dlclose(xcb);
    return problem;
}

bool HasWaylandPlugin() {
    std::vector<std::string> dirs = Split(Environment("QT_QPA_PLATFORM_PLUGIN_PATH"), ':');
    for (const std::string& dir : Split(Environment("QT_PLUGIN_PATH"), ':')) {
        dirs.push_back(dir + "/platforms");
    }
#ifdef PINGVARD_QT_PLUGIN_DIR
    dirs.push_back(std::string(PINGVARD_QT_PLUGIN_DIR) + "/platforms");
#endif
    for (const std::string& dir : dirs) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
            if (entry.path().filename().string().rfind("libqwayland", 0) == 0) {
                return true;
            }
        }
    }
    return false;
}

std::string WaylandDisplayProblem() {
    std::string name = Environment("WAYLAND_DISPLAY");
    if (name.empty()) {
        name = "wayland-0"; // what the Wayland client library assumes
    }
    if (!HasWaylandPlugin()) {
        return "Qt has no Wayland platform plugin for the Wayland display " + Quoted(name);
    }
    const std::string path =
        name.front() == '/' ? name : Environment("XDG_RUNTIME_DIR") + "/" + name;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool accepted = false;
    if (fd >= 0 && path.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        accepted = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return accepted ? "" : "the Wayland display " + Quoted(name) + " cannot be opened";
}

} // namespace

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

std::string DisplayUnavailableReason() {
    std::string problems;
    for (const std::string& platform : QtPlatforms()) {
        std::string problem;
        if (platform == "xcb") {
            problem = XDisplayProblem();
        } else if (platform.rfind("wayland", 0) == 0) {
            problem = WaylandDisplayProblem();
        }
        if (problem.empty()) {
            return "";
        }
        problems += (problems.empty() ? "" : ", and ") + problem;
    }
    return problems;
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

std::string ExecDesktopProgram(const std::string& path, const std::string& language) {
    std::string lang = "--lang=" + language;
    char* const argv[] = {const_cast<char*>(path.c_str()), language.empty() ? nullptr : lang.data(),
                          nullptr};
    ::execv(path.c_str(), argv);
    const int err = errno; // before the allocations of the message
    return "cannot start " + path + ": " + std::strerror(err);
}

} // namespace pingvard
