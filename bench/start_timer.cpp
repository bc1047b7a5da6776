// SPDX-License-Identifier: GPL-3.0-or-later
// Times exec -> first ICMP echo request on the wire: opens a raw ICMP socket
// (which sees the requests sent to a loopback address), starts the command,
// waits for the first echo request, and ends the command with SIGTERM.
//
//   start_timer [--limit S] -- CMD [ARG...]
//
// Prints one line: "exec_to_first_echo_ms=T" (the kernel's arrival stamp of
// the request less the time read just before the exec). Run it in the
// network namespace of the command. Exits 1 when no echo came in the limit.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double Ms(const timespec& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The arrival stamp of the next echo request, or none at the deadline.
bool AwaitEchoRequest(int fd, int limitMs, timespec& stamp) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        pollfd pfd{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&pfd, 1, static_cast<int>(left)) != 1) {
            return false;
        }
        unsigned char packet[1500];
        alignas(cmsghdr) char control[256];
        iovec part{packet, sizeof packet};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd, &message, 0);
        if (n < 28) {
            continue;
        }
        const std::size_t ihl = (packet[0] & 0x0F) * 4U;
        if (static_cast<std::size_t>(n) < ihl + 8 || packet[ihl] != 8) { // not an echo request
            continue;
        }
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                return true;
            }
        }
        ::clock_gettime(CLOCK_REALTIME, &stamp);
        return true;
    }
}

} // namespace

int main(int argc, char** argv) {
    int limitS = 10;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--limit") == 0 && i + 1 < argc) {
            limitS = std::stoi(argv[++i]);
        }
    }
    std::vector<char*> command(argv + std::min(i + 1, argc), argv + argc);
    if (command.empty()) {
        std::fputs("usage: start_timer [--limit S] -- CMD [ARG...]\n", stderr);
        return 2;
    }
    command.push_back(nullptr);
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    const int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
        std::perror("start_timer: raw ICMP socket");
        return 2;
    }
    timespec started{};
    ::clock_gettime(CLOCK_REALTIME, &started);
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvp(command[0], command.data());
        ::_exit(127);
    }
    timespec echo{};
    const bool seen = child > 0 && AwaitEchoRequest(fd, limitS * 1000, echo);
    if (child > 0) {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
    }
    if (!seen) {
        std::fputs("start_timer: no echo request within the limit\n", stderr);
        return 1;
    }
    std::printf("exec_to_first_echo_ms=%.2f\n", Ms(echo) - Ms(started));
    return 0;
}
