// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/config/config_test_support.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pingvard::test {

TScopedTempDir::TScopedTempDir() : m_previous(std::filesystem::current_path()) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pingvard-test.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
    std::filesystem::current_path(m_path);
}

TScopedTempDir::~TScopedTempDir() {
    std::error_code ec;
    std::filesystem::current_path(m_previous, ec);
    // Tests take write permission away; give it back so the tree can go.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_path, ec))
        if (entry.is_directory(ec) && !entry.is_symlink(ec))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string ReadFileText(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileText(const std::string& fileName, const std::string& text) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out << text;
}

bool FileExists(const std::string& fileName) {
    struct stat st {};
    return ::lstat(fileName.c_str(), &st) == 0;
}

mode_t FileMode(const std::string& fileName) {
    struct stat st {};
    return ::stat(fileName.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

int RunInChild(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            ::_exit(99);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MountNamespaceUnavailableReason() {
    if (::geteuid() != 0)
        return "needs root: mounts in a private mount namespace";
    const int status = RunInChild([] { ::_exit(::unshare(CLONE_NEWNS) == 0 ? 0 : 1); });
    if (status != 0)
        return "unshare(CLONE_NEWNS) is not permitted here";
    return {};
}

namespace {

// Mounts made after this stay in the child's own namespace.
bool PrivateMounts() {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// The old current directory still points below the new mount: enter it again.
bool MountReadOnly(const std::string& dir) {
    return PrivateMounts() && ::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(nullptr, dir.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0 &&
           ::chdir(dir.c_str()) == 0;
}

bool MountSmallTmpfs(const std::string& dir, size_t sizeBytes) {
    const auto options = "size=" + std::to_string(sizeBytes) + ",mode=0755";
    return PrivateMounts() && ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0 &&
           ::chdir(dir.c_str()) == 0;
}

std::string RunInChildWithMount(const std::function<bool()>& mount,
                                const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string result;
        try {
            result = mount() ? body() : "could not mount";
        } catch (const std::exception& e) {
            result = std::string{"exception: "} + e.what();
        }
        if (result.empty())
            result = "ok";
        [[maybe_unused]] auto n = ::write(fds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string result;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            result.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (result.empty())
        return "child ended without a result";
    return result == "ok" ? "" : result;
}

} // namespace

std::string RunWithReadOnlyMount(const std::string& dir, const std::function<std::string()>& body) {
    return RunInChildWithMount([&] { return MountReadOnly(dir); }, body);
}

std::string FillAfterAPartPageLog() {
    const std::string old = std::string(4088, 'o') + "\r\n"; // 6 bytes left in its page
    WriteFileText("pingvard.log", old);
    std::ofstream filler("filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
    return old;
}

std::string RunWithSmallFileSystem(const std::string& dir, size_t sizeBytes,
                                   const std::function<std::string()>& body) {
    return RunInChildWithMount([&] { return MountSmallTmpfs(dir, sizeBytes); }, body);
}

} // namespace pingvard::test
