// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers for tests that need their own network: a fresh network namespace
// (only "lo", brought up) entered by a dedicated thread. Everything the body
// creates, and every thread or child process it starts, lives in that namespace;
// it disappears when the thread ends and its sockets are closed, also when the
// body fails. Nothing can leave it for a real network.
//
// Usage:
//   if (!IsRoot()) GTEST_SKIP() << "needs root: network namespaces";
//   RunInNewNetns([&] { ... EXPECT_...; });
//
// Inside the body, NetnsShell("ip link add ...") configures the namespace and
// WriteNetnsSysctl("net/ipv4/ping_group_range", "0 2147483647") sets a
// per-namespace sysctl.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pingvard::test {

inline bool IsRoot() {
    return ::geteuid() == 0;
}

// Sets IFF_UP on an interface of the calling thread's namespace.
inline bool BringInterfaceUp(const char* name) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return ok;
}

// Runs a shell command; child processes inherit the calling thread's namespace.
inline bool NetnsShell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Writes /proc/sys/<key> as seen from the calling thread's namespace.
inline bool WriteNetnsSysctl(const std::string& key, const std::string& value) {
    std::ofstream file("/proc/sys/" + key);
    file << value << '\n';
    file.flush();
    return static_cast<bool>(file);
}

// Runs body on a thread of its own inside a new network namespace with "lo" up.
// Returns false (with a failure recorded) when the namespace cannot be made.
inline bool RunInNewNetns(const std::function<void()>& body) {
    std::string failure;
    std::thread runner([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            const int err = errno;
            failure = std::string("unshare(CLONE_NEWNET): ") + std::strerror(err);
            return;
        }
        if (!BringInterfaceUp("lo")) {
            failure = "cannot bring lo up in the new namespace";
            return;
        }
        body();
    });
    runner.join();
    EXPECT_EQ(failure, "");
    return failure.empty();
}

// Inside a namespace: a veth pair whose far end silently drops what it gets.
// 10.77.0.2 (and fd77::2) are routed to it and never answer.
inline constexpr const char* kSilentHostV4 = "10.77.0.2";
inline constexpr const char* kSilentHostV6 = "fd77::2";

inline bool AddSilentHost() {
    return NetnsShell("ip link add pv0 type veth peer name pv1") &&
           NetnsShell("ip addr add 10.77.0.1/24 dev pv0") &&
           NetnsShell("ip -6 addr add fd77::1/64 dev pv0 nodad") &&
           NetnsShell("ip link set pv0 up") && NetnsShell("ip link set pv1 up") &&
           // Fixed neighbour entries: no ARP / neighbour discovery, so nothing
           // ever answers or reports the host unreachable.
           NetnsShell("ip neigh add 10.77.0.2 lladdr 02:00:00:00:77:02 dev pv0 nud permanent") &&
           NetnsShell("ip -6 neigh add fd77::2 lladdr 02:00:00:00:77:02 dev pv0 nud permanent");
}

// Writes text to a fresh file in /tmp and bind-mounts it over target in the
// calling thread's mount namespace; the file is removed at once (the mount
// keeps it). False when that fails.
inline bool MountText(const std::string& text, const char* target) {
    char name[] = "/tmp/pingvard-etc-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    const bool mounted = written && ::mount(name, target, nullptr, MS_BIND, nullptr) == 0;
    ::unlink(name);
    return mounted;
}

// Runs body like RunInNewNetns, with a mount namespace of its own in which
// /etc/resolv.conf names the silent host of AddSilentHost as the only name
// server (five seconds per try, two tries: the usual defaults) and /etc/hosts
// knows only localhost. Every lookup of a name there waits for its own limit,
// as when the link to the resolver is down; nothing leaves the namespace.
// Threads that body starts share both namespaces.
inline bool RunWithSilentResolver(const std::function<void()>& body) {
    return RunInNewNetns([&] {
        // Private first: otherwise the mounts below would reach the machine's
        // own namespace through shared propagation.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            const int err = errno;
            ADD_FAILURE() << "cannot make a private mount namespace: " << std::strerror(err);
            return;
        }
        if (!AddSilentHost() ||
            !MountText(std::string("nameserver ") + kSilentHostV4 +
                           "\noptions timeout:5 attempts:2\n",
                       "/etc/resolv.conf") ||
            !MountText("127.0.0.1 localhost\n::1 localhost\n", "/etc/hosts")) {
            ADD_FAILURE() << "cannot set up the silent resolver";
            return;
        }
        body();
    });
}

} // namespace pingvard::test
