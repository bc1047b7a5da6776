// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/resolve.h"

#include <gtest/gtest.h>

namespace pingvard {
namespace {

// Only names the machine answers itself: no lookup may leave it.
TEST(ResolveToIP, KeepsDottedAddresses) {
    EXPECT_EQ(ResolveToIP("127.0.0.7"), "127.0.0.7");
}

TEST(ResolveToIP, ResolvesLocalhostToItsIPv4Address) {
    EXPECT_EQ(ResolveToIP("localhost").rfind("127.", 0), 0u);
}

TEST(ResolveToIP, ReturnsAnIPv6LiteralUnchanged) {
    EXPECT_EQ(ResolveToIP("::1"), "::1");
}

} // namespace
} // namespace pingvard
