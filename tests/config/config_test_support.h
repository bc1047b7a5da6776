// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers shared by the configuration and log tests: a fresh current
// directory per test, whole-file reads and writes, and a read-only mount.

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace pingvard::test {

// Creates a fresh directory under the system's temporary directory and makes
// it the current directory (the program directory) until destruction.
class TScopedTempDir {
public:
    TScopedTempDir();
    ~TScopedTempDir();
    TScopedTempDir(const TScopedTempDir&) = delete;
    TScopedTempDir& operator=(const TScopedTempDir&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::string m_previous;
};

class TempDirTest : public ::testing::Test {
protected:
    TScopedTempDir m_dir;
};

std::string ReadFileText(const std::string& fileName);
void WriteFileText(const std::string& fileName, const std::string& text);
bool FileExists(const std::string& fileName);
mode_t FileMode(const std::string& fileName); // permission bits, 0 when absent

// Why mounts in a private namespace cannot be made here ("" when they can).
std::string MountNamespaceUnavailableReason();
// Runs body in a forked child that sees dir bind-mounted read-only in a
// private mount namespace. body returns "" on success or what went wrong;
// the result is that text, or a description of how the child failed.
std::string RunWithReadOnlyMount(const std::string& dir, const std::function<std::string()>& body);

// Runs body in a forked child that sees an empty tmpfs of sizeBytes mounted
// over dir (and has dir as its current directory); results as above.
std::string RunWithSmallFileSystem(const std::string& dir, size_t sizeBytes,
                                   const std::function<std::string()>& body);

// Inside RunWithSmallFileSystem: a pingvard.log that ends part-way into a
// page, and a file "filler" that takes every page left, so that the next log
// line fits only in part. Returns the log's text.
std::string FillAfterAPartPageLog();

// Runs body in a forked child; returns the child's exit status (0 when body
// returns, 99 when it throws, -1 when the child was killed by a signal).
int RunInChild(const std::function<void()>& body);

} // namespace pingvard::test
