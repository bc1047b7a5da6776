// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/echo_liveness.h"
#include "observe/notify_datagram.h"
#include "observe/systemd_notify.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pingvard {
namespace {

using namespace std::chrono_literals;

// A datagram socket standing where systemd's notification socket would be.
class TNotifySocket {
public:
    TNotifySocket() {
        m_path = std::filesystem::temp_directory_path() /
                 ("pv-notify-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()));
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        m_path.copy(addr.sun_path, sizeof addr.sun_path - 1);
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::setenv("NOTIFY_SOCKET", m_path.c_str(), 1);
        ::setenv("WATCHDOG_USEC", "100000", 1); // 100 ms: a ping every 50 ms
        ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
    }
    ~TNotifySocket() {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::unsetenv("WATCHDOG_PID");
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    bool Bound() const { return m_bound; }
    // The next message, or "" when none came within the wait.
    std::string Next(std::chrono::milliseconds wait = 2s) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(wait.count())) != 1) {
            return {};
        }
        char buffer[1024];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_bound = false;
};

TEST(SystemdNotifier, SendsReadyStatusAndWatchdogInOrderOnlyWhileHealthy) {
    TNotifySocket socket;
    ASSERT_TRUE(socket.Bound());
    std::atomic<bool> healthy{true};
    TSystemdNotifier notifier([&] { return healthy.load(); });
    ASSERT_TRUE(notifier.Active());
    EXPECT_EQ(notifier.WatchdogInterval(), 100ms);
    EXPECT_EQ(socket.Next(200ms), ""); // no watchdog before READY
    notifier.Ready();
    TMonitorEvent status;
    status.Kind = TMonitorEventKind::StatusText;
    status.Text = "Reset OK - 7.12.2026 13:05:09";
    notifier.Publish(status);
    EXPECT_EQ(socket.Next(), "READY=1");
    EXPECT_EQ(socket.Next(), "STATUS=Reset OK - 7.12.2026 13:05:09");
    EXPECT_EQ(socket.Next(), "WATCHDOG=1");
    EXPECT_EQ(socket.Next(), "WATCHDOG=1");

    healthy = false;
    while (socket.Next(150ms) == "WATCHDOG=1") { // one may have been on its way
    }
    EXPECT_EQ(socket.Next(300ms), "");
    notifier.Status("line\nbreak");
    EXPECT_EQ(socket.Next(), "STATUS=line break");
    healthy = true;
    EXPECT_EQ(socket.Next(), "WATCHDOG=1");
    notifier.Stopping();
    notifier.Stop();
    std::string last;
    for (std::string m = socket.Next(200ms); !m.empty(); m = socket.Next(200ms)) {
        last = m;
    }
    EXPECT_EQ(last, "STOPPING=1");
}

// WATCHDOG_USEC as the manager sets it, and WATCHDOG_PID naming this process
// or another (a child that inherited the variables).
TEST(NotifyDatagram, WatchdogIntervalOnlyForTheNamedProcess) {
    struct TCase {
        const char* Usec;
        const char* ForPid;
        std::optional<std::chrono::microseconds> Interval;
    };
    const TCase cases[] = {
        {"30000000", nullptr, 30s},         {"30000000", "4242", 30s},
        {"30000000", "4243", std::nullopt}, {"30000000", "", std::nullopt},
        {"30000000", "42x", std::nullopt},  {nullptr, "4242", std::nullopt},
        {"", nullptr, std::nullopt},        {"0", nullptr, std::nullopt},
        {"-5", nullptr, std::nullopt},      {"12s", nullptr, std::nullopt},
        {" 100", nullptr, std::nullopt},    {"99999999999999999999999", nullptr, std::nullopt},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(WatchdogInterval(c.Usec, c.ForPid, 4242), c.Interval)
            << (c.Usec ? c.Usec : "(unset)") << " / " << (c.ForPid ? c.ForPid : "(unset)");
    }
}

// The manager's socket may be an abstract name ('@' first); a relative or
// over-long name is refused without sending anything.
TEST(NotifyDatagram, ReachesAnAbstractSocketAndRefusesOtherNames) {
    const std::string name = "@pv-notify-" + std::to_string(::getpid());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    name.copy(addr.sun_path, name.size());
    addr.sun_path[0] = '\0';
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size())),
              0);
    EXPECT_TRUE(SendNotifyDatagram(name, "READY=1\nSTATUS=up"));
    char buffer[64];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0))),
              "READY=1\nSTATUS=up");
    ::close(fd);
    for (const std::string& bad :
         {std::string("relative/socket"), std::string("@"), std::string(""),
          "/" + std::string(sizeof addr.sun_path, 'x'), std::string("@pv-nobody-listens")}) {
        EXPECT_FALSE(SendNotifyDatagram(bad, "READY=1")) << bad;
    }
}

TEST(SystemdNotifier, StatusTellsTheSiteBesideTheStatusLine) {
    EXPECT_EQ(TSystemdNotifier::StatusLine("", "Reset OK - 7.12.2026 13:05:09"),
              "Reset OK - 7.12.2026 13:05:09");
    EXPECT_EQ(TSystemdNotifier::StatusLine("up, 4 of 4 hosts answer", ""),
              "Site up, 4 of 4 hosts answer");
    EXPECT_EQ(TSystemdNotifier::StatusLine("down since 03:12 (uplink), 0 of 4 hosts answer",
                                           "Reset OK - 7.12.2026 3:14:00"),
              "Site down since 03:12 (uplink), 0 of 4 hosts answer; Reset OK - 7.12.2026 3:14:00");
}

TEST(SystemdNotifier, DoesNothingOutsideAService) {
    ::unsetenv("NOTIFY_SOCKET");
    TSystemdNotifier notifier;
    EXPECT_FALSE(notifier.Active());
    notifier.Ready();
    notifier.Status("x");
}

class TManualClock final : public TTickClock {
public:
    uint32_t Now() const noexcept override { return m_now; }
    std::atomic<uint32_t> m_now{0xFFFFF000u}; // close to the wrap
};

TEST(EchoLiveness, FailsWhenAnySlotStopsReporting) {
    TManualClock clock;
    TEchoLiveness liveness(5000, clock);
    EXPECT_TRUE(liveness.Healthy());
    TMonitorEvent echo;
    for (int step = 0; step < 3; ++step) {
        clock.m_now += 3000;
        for (int slot = 0; slot < 4; ++slot) {
            echo.Slot = slot;
            liveness.Publish(echo);
        }
        EXPECT_TRUE(liveness.Healthy());
    }
    clock.m_now += 3000;
    for (int slot = 0; slot < 3; ++slot) { // slot 4 hangs
        echo.Slot = slot;
        liveness.Publish(echo);
    }
    EXPECT_TRUE(liveness.Healthy());
    clock.m_now += 2001;
    EXPECT_FALSE(liveness.Healthy());
}

} // namespace
} // namespace pingvard
