// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace pingvard {

// Process-wide binding to the socket library, counted so that nested users
// balance. On POSIX systems sockets need no loading: the count is kept and the
// calls always succeed. Call from the thread that starts and ends the program.
bool LoadSocketLibrary(const std::string& name);
void ReleaseSocketLibrary(); // never lowers the count below 0
int SocketLibraryUseCount();

inline constexpr const char* kSocketLibraryName = "ws2_32.dll";

// Holds one use of the socket library for its lifetime. Throws ESocketError
// ("Error loading Socket interface (<name>)!") when the library cannot be loaded.
class TSocketLibrary {
public:
    explicit TSocketLibrary(const std::string& name = kSocketLibraryName);
    ~TSocketLibrary();
    TSocketLibrary(const TSocketLibrary&) = delete;
    TSocketLibrary& operator=(const TSocketLibrary&) = delete;
};

} // namespace pingvard
