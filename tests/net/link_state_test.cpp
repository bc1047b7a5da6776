// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/link_state.h"
#include "tests/net/netns_fixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pingvard {
namespace {

using TKind = TLinkState::TKind;

struct TLinkCase {
    const char* Address;
    TLinkState Expected;
};

// A namespace of its own: lo, pvA (10.78.0.1/24, fd78::1/64) whose peer
// pvB is down, so pvA has no carrier; pvC (10.79.0.1/24) with its peer up;
// 10.80.0.0/24 routed as unreachable.
TEST(LinkState, NamesTheRouteAndItsCarrier) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: network namespaces";
    }
    test::RunInNewNetns([] {
        for (const char* command : {
                 "ip link add pvA type veth peer name pvB",
                 "ip addr add 10.78.0.1/24 dev pvA",
                 "ip -6 addr add fd78::1/64 dev pvA nodad",
                 "ip link set pvA up",
                 "ip link add pvC type veth peer name pvD",
                 "ip addr add 10.79.0.1/24 dev pvC",
                 "ip link set pvC up",
                 "ip link set pvD up",
                 "ip route add unreachable 10.80.0.0/24",
             }) {
            ASSERT_TRUE(test::NetnsShell(command)) << command;
        }
        const std::vector<TLinkCase> cases = {
            {"127.0.0.1", {TKind::Up, "lo"}},         {"10.79.0.2", {TKind::Up, "pvC"}},
            {"10.78.0.2", {TKind::NoCarrier, "pvA"}}, {"fd78::2", {TKind::NoCarrier, "pvA"}},
            {"10.99.0.1", {TKind::NoRoute, ""}}, // no default route
            {"10.80.0.9", {TKind::NoRoute, ""}},      {"fd99::1", {TKind::NoRoute, ""}},
            {"router.example", {TKind::Unknown, ""}},
        };
        for (const TLinkCase& c : cases) {
            EXPECT_EQ(LinkTowards(c.Address), c.Expected) << c.Address;
        }
        ASSERT_TRUE(test::NetnsShell("ip link set pvB up"));
        EXPECT_EQ(LinkTowards("10.78.0.2"), (TLinkState{TKind::Up, "pvA"})); // carrier back
        ASSERT_TRUE(test::NetnsShell("ip link set pvA down"));
        EXPECT_EQ(LinkTowards("10.78.0.2").Kind, TKind::NoRoute); // its routes went with it
    });
}

} // namespace
} // namespace pingvard
