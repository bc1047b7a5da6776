// SPDX-License-Identifier: GPL-3.0-or-later
// Times SIGTERM -> exit of a program: starts it with its output on a pipe,
// waits until a line containing the ready text appears (and a settle time
// more), sends SIGTERM and measures until the process has been reaped.
//
//   shutdown_timer [--ready TEXT] [--settle MS] [--limit S] [--log FILE] -- CMD [ARG...]
//
// Prints one line: "sigterm_to_exit_ms=T status=S" (S: exit status, or
// "signal N"). Exits 1 when the ready text never came within the limit.

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace pingvard {
namespace {

using TClock = std::chrono::steady_clock;

struct TTimerOptions {
    std::string Ready;
    int SettleMs = 0;
    int LimitSeconds = 60;
    std::string LogFile = "/dev/null";
    std::vector<char*> Command;
};

bool ParseArguments(int argc, char** argv, TTimerOptions& o) {
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return false;
        if (arg == "--ready")
            o.Ready = argv[++i];
        else if (arg == "--settle")
            o.SettleMs = std::stoi(argv[++i]);
        else if (arg == "--limit")
            o.LimitSeconds = std::stoi(argv[++i]);
        else if (arg == "--log")
            o.LogFile = argv[++i];
        else
            return false;
    }
    for (++i; i < argc; ++i)
        o.Command.push_back(argv[i]);
    o.Command.push_back(nullptr);
    return o.Command.size() > 1;
}

pid_t Spawn(std::vector<char*>& command, int& outFd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        execvp(command[0], command.data());
        _exit(127);
    }
    close(fds[1]);
    outFd = fds[0];
    return pid;
}

// Copies the child's output to the log until the deadline; true once a
// complete output so far contains the ready text (or at once when none is set).
class TOutputWatch {
public:
    TOutputWatch(int fd, const std::string& logFile) : m_fd(fd), m_log(logFile) {}
    bool Pump(int timeoutMs) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n <= 0) {
            m_eof = true;
            return false;
        }
        m_log.write(buffer, n).flush();
        m_seen.append(buffer, static_cast<size_t>(n));
        return true;
    }
    bool Contains(const std::string& text) const { return m_seen.find(text) != std::string::npos; }
    bool Eof() const { return m_eof; }

private:
    int m_fd;
    std::ofstream m_log;
    std::string m_seen;
    bool m_eof = false;
};

std::string StatusText(int status) {
    if (WIFEXITED(status))
        return std::to_string(WEXITSTATUS(status));
    return "signal" + std::to_string(WTERMSIG(status));
}

} // namespace
} // namespace pingvard

int main(int argc, char** argv) {
    using namespace pingvard;
    TTimerOptions options;
    if (!ParseArguments(argc, argv, options)) {
        std::fputs("usage: shutdown_timer [--ready TEXT] [--settle MS] [--limit S] [--log FILE]"
                   " -- CMD [ARG...]\n",
                   stderr);
        return 2;
    }
    int outFd = -1;
    const pid_t pid = Spawn(options.Command, outFd);
    if (pid < 0)
        return 1;
    TOutputWatch watch(outFd, options.LogFile);
    const auto limit = TClock::now() + std::chrono::seconds(options.LimitSeconds);
    while (!options.Ready.empty() && !watch.Contains(options.Ready) && !watch.Eof() &&
           TClock::now() < limit)
        watch.Pump(100);
    if (!options.Ready.empty() && !watch.Contains(options.Ready)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        std::fprintf(stderr, "shutdown_timer: '%s' never appeared\n", options.Ready.c_str());
        return 1;
    }
    const auto settleEnd = TClock::now() + std::chrono::milliseconds(options.SettleMs);
    while (TClock::now() < settleEnd)
        watch.Pump(10);
    const auto sent = TClock::now();
    kill(pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const auto exited = TClock::now();
    while (!watch.Eof() && watch.Pump(100)) {
    }
    std::printf("sigterm_to_exit_ms=%.1f status=%s\n",
                std::chrono::duration<double, std::milli>(exited - sent).count(),
                StatusText(status).c_str());
    return 0;
}
