// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/profile_store.h"

#include "config/file_access.h"
#include "config/profile_lines.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pingvard {
namespace {

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

std::optional<std::string> ReadAllFrom(int fd, off_t sizeHint) {
    std::string content;
    if (sizeHint > 0)
        content.reserve(static_cast<size_t>(sizeHint));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return content;
        content.append(buffer, static_cast<size_t>(n));
    }
}

// O_NONBLOCK: a FIFO planted under the name must not block the reader.
int OpenRegular(const std::string& fileName, struct stat& st) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        TUniqueFd{fd}.Close();
        return -1;
    }
    return fd;
}

std::optional<std::string> ReadAll(const std::string& fileName) {
    struct stat st {};
    const TUniqueFd fd{OpenRegular(fileName, st)};
    if (fd.Get() < 0)
        return std::nullopt;
    return ReadAllFrom(fd.Get(), st.st_size);
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
    TUniqueFd fd{::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (fd.Get() >= 0)
        ::fsync(fd.Get()); // best effort: the rename itself has succeeded
}

std::string BaseName(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

constexpr size_t kTempSuffixLength = 6; // mkstemp's XXXXXX

// "." + base + "." + six of mkstemp's characters.
bool IsTempFileName(const std::string& name, const std::string& base) {
    const std::string prefix = "." + base + ".";
    if (name.size() != prefix.size() + kTempSuffixLength || name.compare(0, prefix.size(), prefix))
        return false;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

bool IsStaleTempFile(const std::string& path, int minAgeSeconds) {
    // O_NOFOLLOW: a symbolic link of that name is not ours; O_NONBLOCK: nor is a FIFO.
    TUniqueFd fd{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        st.st_uid != ::geteuid() || std::time(nullptr) - st.st_mtime < minAgeSeconds)
        return false;
    // A write in progress holds the lock until its rename.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    struct stat now {};
    return ::lstat(path.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev;
}

// Temporary file in the same directory, write, fsync, rename: a crash at any
// point leaves either the old file or the new one, never a part of either. A
// kill leaves the temporary file, which RemoveStaleTempFiles clears later.
bool ReplaceFile(const std::string& target, const std::string& content, const struct stat* old,
                 const TProfileStore::TBeforeReplaceHook& beforeReplace) {
    const std::string dir = DirectoryOf(target);
    std::string pattern = dir + "/." + BaseName(target) + ".XXXXXX";
    TUniqueFd fd{::mkstemp(pattern.data())}; // mode 0600
    if (fd.Get() < 0)
        return false;
    TTempFile temp{pattern};
    // Held through the rename (a second descriptor, since fd is closed before
    // it): the lock tells a starting instance that this file is being written.
    TUniqueFd lock{::dup(fd.Get())};
    if (lock.Get() < 0 || ::flock(lock.Get(), LOCK_EX) != 0)
        return false;
    if (old) {
        if (::fchown(fd.Get(), old->st_uid, old->st_gid) != 0) {
            // Not allowed unless root: the file then simply becomes ours.
        }
        if (::fchmod(fd.Get(), old->st_mode & 07777) != 0)
            return false;
    }
    if (!WriteAll(fd.Get(), content) || ::fsync(fd.Get()) != 0 || !fd.Close())
        return false;
    if (beforeReplace && !beforeReplace(temp.Name()))
        return false;
    if (::rename(temp.Name().c_str(), target.c_str()) != 0)
        return false;
    temp.Release();
    SyncDirectory(dir);
    return true;
}

} // namespace

int RemoveStaleTempFiles(const std::string& fileName, int minAgeSeconds) {
    const std::string target = ResolveTarget(fileName);
    const std::string dir = DirectoryOf(target);
    const std::string base = BaseName(target);
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(dir.c_str()), ::closedir);
    if (!listing)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string name = entry->d_name;
        if (!IsTempFileName(name, base))
            continue;
        const std::string path = dir + "/" + name;
        if (IsStaleTempFile(path, minAgeSeconds) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    return removed;
}

TProfileStore::TProfileStore(std::string fileName) : m_fileName(std::move(fileName)) {}

bool TProfileStore::TIdentity::operator==(const TIdentity& o) const {
    const auto same = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return Device == o.Device && Inode == o.Inode && Size == o.Size && same(Modified, o.Modified) &&
           same(Changed, o.Changed);
}

std::shared_ptr<const TProfileIndex> TProfileStore::Index() const {
    struct stat st {};
    const TUniqueFd fd{OpenRegular(m_fileName, st)};
    if (fd.Get() < 0) {
        m_index.reset();
        return std::make_shared<const TProfileIndex>();
    }
    const TIdentity identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    if (m_index && identity == m_indexed)
        return m_index;
    m_index.reset();
    auto content = ReadAllFrom(fd.Get(), st.st_size);
    if (!content)
        return std::make_shared<const TProfileIndex>();
    auto index = std::make_shared<const TProfileIndex>(std::move(*content), m_cancelled);
    if (index->Cancelled())
        return index;
    m_index = std::move(index);
    m_indexed = identity;
    return m_index;
}

// The entry's line as the write would make it is already in the file the
// last read parsed: the start-up load's writes back of what it just read then
// cost nothing, however large the file.
bool TProfileStore::AlreadyStored(const struct stat& st, std::string_view section,
                                  std::string_view key, std::string_view value) const {
    const TIdentity identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    if (!m_index || !(identity == m_indexed))
        return false;
    const auto entry = m_index->Find(section, key);
    if (!entry)
        return false;
    value = value.substr(0, value.find_first_of(std::string_view{"\r\n\0", 3}));
    const std::string_view name = ParseProfileLine(entry->Text).name;
    return entry->Text.size() == name.size() + 1 + value.size() && entry->Text.starts_with(name) &&
           entry->Text[name.size()] == '=' && entry->Text.ends_with(value);
}

std::optional<std::string> TProfileStore::Read(std::string_view section,
                                               std::string_view key) const {
    const auto entry = Index()->Find(section, key);
    if (!entry)
        return std::nullopt;
    return std::string{entry->Value.substr(0, kMaxValueLength)};
}

bool TProfileStore::Write(std::string_view section, std::string_view key, std::string_view value) {
    return WriteSection(section, {{std::string(key), std::string(value)}});
}

bool TProfileStore::Remove(std::string_view section, std::string_view key) {
    const std::string target = ResolveTarget(m_fileName);
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
        return true; // no file, no entry
    }
    if (!S_ISREG(st.st_mode) || !IsWritablePath(target) || !IsWritablePath(DirectoryOf(target))) {
        return false;
    }
    const auto old = ReadAll(target);
    if (!old) {
        return false;
    }
    const std::string updated = RemoveProfileValue(*old, section, key);
    return updated == *old || ReplaceFile(target, updated, &st, m_beforeReplace);
}

bool TProfileStore::WriteSection(std::string_view section, const TEntries& entries,
                                 std::string_view header) {
    const std::string target = ResolveTarget(m_fileName);
    if (!IsWritablePath(DirectoryOf(target)))
        return false;
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || !IsWritablePath(target)))
        return false;
    if (exists && entries.size() == 1 &&
        AlreadyStored(st, section, entries.front().first, entries.front().second))
        return true; // the permission checks above still ran
    std::string old;
    if (exists) {
        auto content = ReadAll(target);
        if (!content)
            return false; // never replace what we could not read
        old = std::move(*content);
    }
    std::optional<std::string> updated = exists ? old : std::string(header);
    for (const auto& [key, value] : entries) {
        updated = SetProfileValue(*updated, section, key, value);
        if (!updated)
            return false;
    }
    if (exists && *updated == old)
        return true; // already on disk; the permission checks above still ran
    return ReplaceFile(target, *updated, exists ? &st : nullptr, m_beforeReplace);
}

} // namespace pingvard
