#include "monitor/profile_store.h"

#include "monitor/file_access.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pingvard {
namespace {

class TFd {
public:
    explicit TFd(int fd) noexcept : m_fd(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { Close(); }
    int Get() const noexcept { return m_fd; }
    // Don't retry close on EINTR: the descriptor may already be reused.
    bool Close() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Removes the temporary file unless the rename consumed it.
class TTempFile {
public:
    explicit TTempFile(std::string name) : m_name(std::move(name)) {}
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    ~TTempFile() {
        if (!m_name.empty())
            ::unlink(m_name.c_str());
    }
    const std::string& Name() const { return m_name; }
    void Release() { m_name.clear(); }

private:
    std::string m_name;
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::optional<std::string> ReadAll(const std::string& fileName) {
    TFd fd{::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (fd.Get() < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return content;
        content.append(buffer, static_cast<size_t>(n));
    }
}

// The file a write must replace: a symbolic link is followed so that the
// link itself survives.
std::string ResolveTarget(const std::string& fileName) {
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return fileName;
    char resolved[PATH_MAX];
    return ::realpath(fileName.c_str(), resolved) ? std::string{resolved} : fileName;
}

void SyncDirectory(const std::string& dir) {
    TFd fd{::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (fd.Get() >= 0)
        ::fsync(fd.Get()); // best effort: the rename itself has succeeded
}

} // namespace

TProfileStore::TProfileStore(std::string fileName) : m_fileName(std::move(fileName)) {}

std::optional<std::string> TProfileStore::Read(std::string_view section,
                                               std::string_view key) const {
    const auto content = ReadAll(m_fileName);
    if (!content)
        return std::nullopt;
    return FindProfileValue(*content, section, key);
}

bool TProfileStore::Write(std::string_view section, std::string_view key, std::string_view value) {
    const std::string target = ResolveTarget(m_fileName);
    const std::string dir = DirectoryOf(target);
    if (!IsWritablePath(dir))
        return false;
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || !IsWritablePath(target)))
        return false;
    std::string old;
    if (exists) {
        auto content = ReadAll(target);
        if (!content)
            return false; // never replace what we could not read
        old = std::move(*content);
    }
    const auto updated = SetProfileValue(old, section, key, value);
    if (!updated)
        return false;
    if (exists && *updated == old)
        return true; // already on disk; the permission checks above still ran

    const auto slash = target.find_last_of('/');
    const auto base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = dir + "/." + base + ".XXXXXX";
    TFd fd{::mkstemp(pattern.data())}; // mode 0600
    if (fd.Get() < 0)
        return false;
    TTempFile temp{pattern};
    if (exists) {
        if (::fchown(fd.Get(), st.st_uid, st.st_gid) != 0) {
            // Not allowed unless root: the file then simply becomes ours.
        }
        if (::fchmod(fd.Get(), st.st_mode & 07777) != 0)
            return false;
    }
    if (!WriteAll(fd.Get(), *updated) || ::fsync(fd.Get()) != 0 || !fd.Close())
        return false;
    if (m_beforeReplace && !m_beforeReplace(temp.Name()))
        return false;
    if (::rename(temp.Name().c_str(), target.c_str()) != 0)
        return false;
    temp.Release();
    SyncDirectory(dir);
    return true;
}

} // namespace pingvard
