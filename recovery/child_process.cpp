// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/child_process.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <variant>

extern char** environ;

namespace pingvard {

namespace {

constexpr int32_t kPollStepMs = 20; // how often a running child's state is looked at

// A pipe whose ends are closed on destruction; the read end is non-blocking.
class TOutputPipe {
public:
    TOutputPipe() noexcept {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            m_read = fds[0];
            m_write = fds[1];
            ::fcntl(m_read, F_SETFL, ::fcntl(m_read, F_GETFL) | O_NONBLOCK);
        }
    }
    ~TOutputPipe() {
        CloseRead();
        CloseWrite();
    }
    TOutputPipe(const TOutputPipe&) = delete;
    TOutputPipe& operator=(const TOutputPipe&) = delete;

    bool Valid() const noexcept { return m_read >= 0 && m_write >= 0; }
    int ReadFd() const noexcept { return m_read; }
    int WriteFd() const noexcept { return m_write; }
    // Don't retry close on EINTR: the descriptor may already be reused.
    void CloseRead() noexcept { CloseFd(m_read); }
    void CloseWrite() noexcept { CloseFd(m_write); }

private:
    static void CloseFd(int& fd) noexcept {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    int m_read = -1;
    int m_write = -1;
};

std::vector<std::string> ChildEnvironment(const TChildCommand& command) {
    std::vector<std::string> env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        const bool replaced = std::any_of(command.Environment.begin(), command.Environment.end(),
                                          [&](const auto& kv) { return kv.first == name; });
        if (!replaced) {
            env.emplace_back(text);
        }
    }
    for (const auto& [name, value] : command.Environment) {
        env.push_back(name + "=" + value);
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// The file posix_spawnp would run, found the way execvp finds it, or -errno.
// Looked up here rather than left to the spawn: where the spawn cannot share
// the child's memory (qemu-user on a build machine), a failed exec shows only
// as exit status 127 and the reason is lost.
std::variant<std::string, int> FindProgram(const std::string& program) {
    if (program.empty()) {
        return ENOENT;
    }
    if (program.find('/') != std::string::npos) {
        return ::access(program.c_str(), X_OK) == 0 ? std::variant<std::string, int>(program)
                                                    : std::variant<std::string, int>(errno);
    }
    const char* path = ::getenv("PATH");
    std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    int error = ENOENT;
    for (;;) {
        const std::size_t end = std::min(dirs.find(':'), dirs.size());
        const std::string dir(dirs.substr(0, end));
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (errno == EACCES) {
            error = EACCES; // as execvp: a file that is there but may not run
        }
        if (end == dirs.size()) {
            return error;
        }
        dirs.remove_prefix(end + 1);
    }
}

// Starts the program; returns its pid, or -errno.
pid_t Spawn(const TChildCommand& command, int outputFd) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    // The program must not inherit what this process blocks or ignores (the
    // signal watcher blocks SIGTERM; SIGPIPE is ignored), or it could not be
    // stopped and would misbehave on a closed pipe.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal :
         {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGCHLD}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0); // a group of its own, ended as a whole
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                        POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> argTexts{command.Program};
    argTexts.insert(argTexts.end(), command.Args.begin(), command.Args.end());
    std::vector<std::string> envTexts = ChildEnvironment(command);
    std::vector<char*> argv = Pointers(argTexts);
    std::vector<char*> envp = Pointers(envTexts);

    const std::variant<std::string, int> file = FindProgram(command.Program);
    pid_t pid = -1;
    const int error = std::holds_alternative<int>(file)
                          ? std::get<int>(file)
                          : ::posix_spawn(&pid, std::get<std::string>(file).c_str(), &actions,
                                          &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        return -error;
    }
    // The child makes its group itself, but the spawn may return before it has
    // (a fork-based spawn, as under qemu-user): set it from here too, so that a
    // stop sent to the group at once cannot miss. Fails harmlessly once the
    // child has run the program.
    ::setpgid(pid, pid);
    return pid;
}

void ReadAvailable(TOutputPipe& pipe, const TChildCommand& command, std::string& output) {
    if (pipe.ReadFd() < 0) {
        return;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(pipe.ReadFd(), buffer, sizeof buffer);
        if (got > 0) {
            const std::size_t room = command.MaxOutput - std::min(command.MaxOutput, output.size());
            output.append(buffer, std::min(room, static_cast<std::size_t>(got)));
            continue; // keep draining, so the program never blocks on a full pipe
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0) {
            pipe.CloseRead(); // every writer has gone
        }
        return;
    }
}

bool Reap(pid_t pid, int options, TChildResult& result) {
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(pid, &status, options);
    } while (got < 0 && errno == EINTR);
    if (got != pid) {
        return false;
    }
    if (result.End == TChildResult::TEnd::NotStarted) {
        if (WIFEXITED(status)) {
            result.End = TChildResult::TEnd::Exited;
            result.ExitStatus = WEXITSTATUS(status);
        } else {
            result.End = TChildResult::TEnd::Signalled;
            result.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
    }
    return true;
}

// Ends the whole group: SIGTERM, then SIGKILL once the grace has passed.
void Terminate(pid_t pid, const TChildCommand& command, const TTickClock& clock,
               TChildResult& result) {
    ::kill(-pid, SIGTERM);
    const uint32_t start = clock.Now();
    while (int64_t{TickDifference(start, clock.Now())} < command.KillGraceMs) {
        if (Reap(pid, WNOHANG, result)) {
            ::kill(-pid, SIGKILL); // whatever the program left behind in its group
            return;
        }
        ::poll(nullptr, 0, 10);
    }
    ::kill(-pid, SIGKILL);
    Reap(pid, 0, result);
}

} // namespace

std::string TChildResult::Describe(int32_t timeLimitMs) const {
    switch (End) {
    case TEnd::Exited:
        return "exit status " + std::to_string(ExitStatus);
    case TEnd::Signalled:
        return "killed by signal " + std::to_string(Signal);
    case TEnd::TimedOut:
        return "time limit of " + std::to_string(timeLimitMs) + " ms reached";
    case TEnd::Aborted:
        return "aborted";
    case TEnd::NotStarted:
        break;
    }
    return std::string("cannot start: ") + std::strerror(Error);
}

TChildResult TChildProcess::Run(const TChildCommand& command) {
    const TTickClock& clock = command.Clock != nullptr ? *command.Clock : SystemTickClock();
    TChildResult result;
    if (m_abort.Raised()) {
        result.End = TChildResult::TEnd::Aborted;
        return result;
    }
    TOutputPipe pipe;
    if (!pipe.Valid()) {
        result.Error = errno;
        return result;
    }
    const uint32_t start = clock.Now();
    const pid_t pid = Spawn(command, pipe.WriteFd());
    pipe.CloseWrite(); // the child holds its own copy; EOF comes when it closes it
    if (pid < 0) {
        result.Error = -pid;
        return result;
    }
    int64_t afterEofWait = 1; // the program usually ends right after closing its output
    for (;;) {
        ReadAvailable(pipe, command, result.Output);
        if (Reap(pid, WNOHANG, result)) {
            ReadAvailable(pipe, command, result.Output);
            break;
        }
        const int64_t elapsed = TickDifference(start, clock.Now());
        if (m_abort.Raised() || (command.TimeLimitMs > 0 && elapsed >= command.TimeLimitMs)) {
            result.End =
                m_abort.Raised() ? TChildResult::TEnd::Aborted : TChildResult::TEnd::TimedOut;
            Terminate(pid, command, clock, result);
            break;
        }
        int64_t wait = kPollStepMs;
        if (pipe.ReadFd() < 0) {
            wait = afterEofWait;
            afterEofWait = std::min<int64_t>(afterEofWait * 2, kPollStepMs);
        }
        if (command.TimeLimitMs > 0) {
            wait = std::clamp<int64_t>(command.TimeLimitMs - elapsed, 0, wait);
        }
        pollfd fds[2] = {{m_abort.WaitFd(), POLLIN, 0}, {pipe.ReadFd(), POLLIN, 0}};
        ::poll(fds, pipe.ReadFd() >= 0 ? 2 : 1, static_cast<int>(wait));
    }
    result.ElapsedMs = TickDifference(start, clock.Now());
    return result;
}

} // namespace pingvard
