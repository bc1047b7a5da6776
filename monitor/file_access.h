#pragma once

#include <string>
#include <sys/stat.h>

namespace pingvard {

// Write permission as the configuration file and the logs see it. We often run
// as root, who may write anything; a file or directory whose permission bits
// grant write to nobody is still read-only then, like the read-only attribute
// users know from other systems. A read-only file system counts as well.
bool ModeGrantsWrite(const struct stat& st) noexcept;

// True when path exists, its mode grants write to someone, and the effective
// user may write it (EACCES, EROFS...).
bool IsWritablePath(const std::string& path) noexcept;

// The directory part of a file name ("." when it has none).
std::string DirectoryOf(const std::string& fileName);

} // namespace pingvard
