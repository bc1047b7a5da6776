// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/blocking_socket.h"
#include "net/socket_errors.h"
#include "net/socket_library.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <utility>

namespace pingvard {
namespace {

TEST(SocketErrors, DescribesEveryTableCodeAndNamesOthers) {
    const std::pair<int, const char*> samples[] = {
        {0, "OK"},
        {10004, "Interrupted system call"},
        {10041, "Protocol wrong type for Socket"},
        {10054, "Connection reset by peer"},
        {10055, "No Buffer space available"},
        {10059, "Too many references:can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10101, "Disconnect"},
        {11004, "Valid name, no data record of requested type"},
        {12345, "Not a Winsock error (12345)"},
        {-1, "Not a Winsock error (-1)"},
        {10000, "Not a Winsock error (10000)"},
    };
    for (const auto& [code, text] : samples) {
        EXPECT_EQ(ErrorDescription(code), text) << code;
        EXPECT_EQ(TBlockingSocket::ErrorDescription(code), text) << code;
    }
    int described = 0;
    for (int code = 0; code <= 11100; ++code) {
        described += ErrorDescription(code).rfind("Not a Winsock", 0) != 0;
    }
    EXPECT_EQ(described, 52);
}

TEST(SocketErrors, MapsErrnoOntoWinsockCodes) {
    const std::pair<int, int> mapping[] = {
        {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},
        {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051},
        {EACCES, 10013},       {EPERM, 10013},
        {EADDRINUSE, 10048},   {EINTR, 10004},
        {EINVAL, 10022},       {ECONNRESET, 10054},
        {EAGAIN, 10035},       {EINPROGRESS, 10036},
        {ENOBUFS, 10055},      {0, 0},
        {ENOENT, ENOENT}, // no counterpart: kept
    };
    for (const auto& [native, winsock] : mapping) {
        EXPECT_EQ(WinsockFromErrno(native), winsock) << native;
    }
}

TEST(SocketLibrary, CountsUsesAndNeverGoesBelowZero) {
    const int before = SocketLibraryUseCount();
    {
        TSocketLibrary outer;
        TSocketLibrary inner;
        EXPECT_EQ(SocketLibraryUseCount(), before + 2);
    }
    EXPECT_EQ(SocketLibraryUseCount(), before);
    for (int i = 0; i <= before; ++i) {
        ReleaseSocketLibrary();
    }
    EXPECT_EQ(SocketLibraryUseCount(), 0);
    for (int i = 0; i < before; ++i) {
        LoadSocketLibrary(kSocketLibraryName);
    }
}

} // namespace
} // namespace pingvard
