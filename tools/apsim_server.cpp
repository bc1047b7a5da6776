// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_server.h"

#include "tools/apsim_record.h"
#include "tools/apsim_session.h"
#include "tools/apsim_signals.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pingvard::apsim {
namespace {

constexpr int kBacklog = 16;
constexpr int kDrainMs = 1000;

class TFd {
public:
    explicit TFd(int fd = -1) : m_fd(fd) {}
    ~TFd() {
        if (m_fd >= 0) {
            close(m_fd); // not retried on EINTR: the number may already be reused
        }
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

std::string AddressText(const sockaddr* address, socklen_t length) {
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "?";
    getnameinfo(address, length, host, sizeof host, port, sizeof port,
                NI_NUMERICHOST | NI_NUMERICSERV);
    const bool v6 = address->sa_family == AF_INET6;
    return (v6 ? "[" : "") + std::string(host) + (v6 ? "]:" : ":") + port;
}

int OpenListener(const TApsimOptions& options, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(options.ListenAddress.c_str(), options.Port.c_str(), &hints, &found);
    if (rc != 0) {
        error = options.ListenAddress + " port " + options.Port + ": " + gai_strerror(rc);
        return -1;
    }
    const int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0);
    const int on = 1;
    const int off = 0;
    bool ok = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
    if (ok && found->ai_family == AF_INET6) {
        // "::" serves IPv4 too, whatever the system default says.
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    ok = ok && bind(fd, found->ai_addr, found->ai_addrlen) == 0 && listen(fd, kBacklog) == 0;
    if (!ok) {
        const int err = errno; // before the calls that build the message
        error = "cannot listen on " + AddressText(found->ai_addr, found->ai_addrlen) + ": " +
                std::strerror(err);
        if (fd >= 0) {
            close(fd);
        }
        freeaddrinfo(found);
        return -1;
    }
    freeaddrinfo(found);
    return fd;
}

bool AppendRecord(const std::string& path, const std::string& line) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    // One write per line keeps lines whole when several simulators share a file.
    ssize_t written;
    do {
        written = write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    close(fd);
    return written == ssize_t(line.size());
}

void Publish(const TApsimOptions& options, const TSessionRecord& record) {
    const std::string line = FormatRecord(record) + "\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    if (!options.RecordFile.empty() && !AppendRecord(options.RecordFile, line)) {
        std::fprintf(stderr, "pingvard-apsim: cannot append to %s: %s\n",
                     options.RecordFile.c_str(), std::strerror(errno));
    }
}

// After the console's last words: FIN, then read what the client still
// sends, so that unread input does not turn our close into a reset.
void CloseGracefully(int fd, int stopFd) {
    shutdown(fd, SHUT_WR);
    const int64_t until = Now().MonoMs + kDrainMs;
    for (int64_t now = Now().MonoMs; now < until; now = Now().MonoMs) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (poll(fds, 2, int(until - now)) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        char buffer[4096];
        if (fds[0].revents != 0 && recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) {
            return;
        }
    }
}

// The reset command runs to its end (a restarting device accepts nobody
// meanwhile); a stop request ends it. Its output goes to stderr so that
// stdout keeps only records.
void RunResetCommand(const std::string& command, const TStopSignal& stop) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE); // ignored here, but the command gets the usual action
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::string shell = "/bin/sh", dashC = "-c", text = command;
    char* argv[] = {shell.data(), dashC.data(), text.data(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        std::fprintf(stderr, "pingvard-apsim: cannot run --on-reset: %s\n", std::strerror(rc));
        return;
    }
    bool signalled = false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return;
        }
        if (!signalled && stop.Requested()) {
            kill(-pid, SIGTERM);
            signalled = true;
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "pingvard-apsim: --on-reset command failed (status %d)\n", status);
    }
}

void ServeSession(int fd, const sockaddr_storage& peer, socklen_t peerLength, int number,
                  const TApsimOptions& options, const TStopSignal& stop) {
    TSessionRecord record;
    record.Accepted = Now();
    record.Number = number;
    record.Peer = AddressText(reinterpret_cast<const sockaddr*>(&peer), peerLength);
    for (const auto& mode : options.ModeNames) {
        record.Modes += (record.Modes.empty() ? "" : ",") + mode;
    }
    TApsimSession session(fd, stop.Fd(), options, record);
    const std::string outcome = session.Run();
    // The record first: the benchmarks read it while the client is closing.
    Publish(options, record);
    if (!session.Aborted() && outcome != "closed-by-client" && outcome != "error") {
        CloseGracefully(fd, stop.Fd());
    }
    if (outcome == "reset" && !options.OnReset.empty()) {
        RunResetCommand(options.OnReset, stop);
    }
}

// Refusing: nothing listens, so connects get ECONNREFUSED, but the process
// stays up for the scripts that manage it.
int WaitForStop(const TApsimOptions& options, const TStopSignal& stop) {
    std::fprintf(stderr, "pingvard-apsim: refusing connections: not listening on %s port %s\n",
                 options.ListenAddress.c_str(), options.Port.c_str());
    pollfd fd{stop.Fd(), POLLIN, 0};
    while (poll(&fd, 1, -1) <= 0) {
    }
    return 0;
}

} // namespace

int RunApsimServer(const TApsimOptions& options) {
    TStopSignal stop;
    // A reader of stdout that goes away must not kill the simulator.
    signal(SIGPIPE, SIG_IGN);
    if (options.Refuse) {
        return WaitForStop(options, stop);
    }
    std::string error;
    const TFd listener(OpenListener(options, error));
    if (listener.Get() < 0) {
        std::fprintf(stderr, "pingvard-apsim: %s\n", error.c_str());
        return 1;
    }
    sockaddr_storage local{};
    socklen_t localLength = sizeof local;
    getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&local), &localLength);
    std::fprintf(stderr, "pingvard-apsim: listening on %s\n",
                 AddressText(reinterpret_cast<sockaddr*>(&local), localLength).c_str());
    for (int served = 0; options.ExitAfter == 0 || served < options.ExitAfter;) {
        pollfd fds[2] = {{listener.Get(), POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || fds[1].revents != 0) {
            if (stop.Requested()) {
                break;
            }
            continue;
        }
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const TFd client(
            accept4(listener.Get(), reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC));
        if (client.Get() < 0) {
            if (errno != EINTR && errno != ECONNABORTED && errno != EAGAIN) {
                poll(&fds[1], 1, 100); // out of descriptors: do not spin
            }
            continue;
        }
        ServeSession(client.Get(), peer, peerLength, ++served, options, stop);
    }
    return 0;
}

} // namespace pingvard::apsim
