// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/profile_index.h"

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace pingvard {

// The system's own profile (INI) store: single entries addressed by section and
// key, read from and written to one file. A read sees the file as it is at
// that moment; the parsed file is kept between reads only while the file is
// the same one (device, inode, size, modification and change times), so a
// run of reads costs one parse, not one per read.
//
// Format and the properties callers rely on:
// - "[Name]" starts a section; "key=value" is an entry. Blanks (space, tab)
//   around names and values are removed when reading. Lines whose first
//   non-blank character is ';' or '#' are comments. Values are returned as
//   stored: no quotes are removed, nothing is unescaped.
// - Section and key names match without regard to ASCII letter case; the first
//   matching entry counts.
// - An absent entry (or file) reads as nullopt; a present, empty value reads
//   as "". A read returns at most kMaxValueLength characters.
// - A write replaces the value of the first matching entry in place (the key
//   keeps the spelling it has in the file), adds a missing key after the last
//   non-blank line of its section, and a missing section at the end of the file.
//   A value is one line: it is cut at its first CR, LF or NUL.
// - Every line the write does not touch (comments, unknown keys, blank lines)
//   is kept byte for byte.
// - Line endings: a file the store creates uses LF. Lines it adds to an existing
//   file take the ending of the file's first line (CR LF or LF); a replaced line
//   keeps its own ending.
// - A write replaces the whole file atomically: temporary file in the same
//   directory, write, fsync, rename over the old file, fsync of the directory.
//   The replacement keeps the old file's permission bits and owner; a file the
//   store creates gets mode 0600 (it holds the device password). A symbolic
//   link is followed and its target replaced.
// - A write fails (returns false, file unchanged) when the file or its
//   directory is read-only: no write permission for us, no write bit in the
//   mode at all (even for root), or a read-only file system.
class TProfileStore {
public:
    static constexpr size_t kMaxValueLength = 2047;

    // Fault seam for tests: called after the temporary file has been written,
    // synced and closed, just before it replaces the file. Returning false
    // abandons the write (the temporary file is removed, the write fails).
    using TBeforeReplaceHook = std::function<bool(const std::string& tempFileName)>;

    explicit TProfileStore(std::string fileName);

    const std::string& FileName() const { return m_fileName; }

    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    // The whole file parsed, as the next Read would see it; an absent or
    // unreadable file gives an empty index. Not for concurrent use.
    std::shared_ptr<const TProfileIndex> Index() const;
    bool Write(std::string_view section, std::string_view key, std::string_view value);
    // Several entries of one section in one replacement of the file, so a
    // reader sees all of them or none. A file the write creates starts with
    // header (comment lines, each ending in a line break).
    using TEntries = std::vector<std::pair<std::string, std::string>>;
    bool WriteSection(std::string_view section, const TEntries& entries,
                      std::string_view header = {});
    // Takes the entry out of the file; true when it is absent afterwards.
    bool Remove(std::string_view section, std::string_view key);

    // Nothing is cached, every write is already on disk: kept so that callers
    // can say where a cached store would have to flush.
    bool Flush() noexcept { return true; }

    void SetBeforeReplaceHook(TBeforeReplaceHook hook) { m_beforeReplace = std::move(hook); }
    // Polled while a large file is parsed; an index whose parse it ended is
    // Cancelled, and reads from it find nothing.
    void SetCancelCheck(TCancelCheck cancelled) { m_cancelled = std::move(cancelled); }

private:
    struct TIdentity {
        dev_t Device = 0;
        ino_t Inode = 0;
        off_t Size = -1;
        timespec Modified{}, Changed{};
        bool operator==(const TIdentity&) const;
    };

    bool AlreadyStored(const struct stat& st, std::string_view section, std::string_view key,
                       std::string_view value) const;

    std::string m_fileName;
    TBeforeReplaceHook m_beforeReplace;
    TCancelCheck m_cancelled;
    mutable std::shared_ptr<const TProfileIndex> m_index;
    mutable TIdentity m_indexed;
};

// Minimum age of a temporary file that RemoveStaleTempFiles removes. A write
// holds its temporary file for milliseconds, and under an exclusive flock; the
// age also covers the instant between mkstemp and the lock, and any clock skew
// between this host and a network file system below a minute.
inline constexpr int kStaleTempFileAgeSeconds = 60;

// Removes the temporary files a write of fileName left behind when the process
// was killed before its rename. Only files this store makes qualify: named
// exactly "." + the file's name + "." + six characters of mkstemp's alphabet
// (A-Z, a-z, 0-9), in the directory of the file (a symbolic link followed, as
// the write follows it), a regular file with one link, owned by the effective
// user, unchanged for at least minAgeSeconds, and not locked: a running write
// (of any instance) holds an exclusive flock on its file. Returns the count.
int RemoveStaleTempFiles(const std::string& fileName, int minAgeSeconds = kStaleTempFileAgeSeconds);

// The profile text rules as pure functions, shared by the store and its tests.
std::optional<std::string> FindProfileValue(std::string_view content, std::string_view section,
                                            std::string_view key);
// Returns the content after the write, or nullopt when a name cannot be stored
// (empty, or containing a line break, '=' in a key, ']' in a section).
// Returns the content without the entry (the same content when it is absent).
std::string RemoveProfileValue(std::string_view content, std::string_view section,
                               std::string_view key);
std::optional<std::string> SetProfileValue(std::string_view content, std::string_view section,
                                           std::string_view key, std::string_view value);

} // namespace pingvard
