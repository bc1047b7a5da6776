// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/child_process.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
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

// The file the program's exec runs, found the way execvp finds it, or -errno:
// a program that cannot start is told so at once, with its reason, before
// anything is forked.
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

// What the keeper waits for: its program's end, the end of this process
// (kParentGone, its parent-death signal), and the stop signals sent to the
// whole group, which the program takes for itself.
constexpr int kParentGone = SIGUSR2;
constexpr int kKeeperSignals[] = {SIGCHLD, kParentGone, SIGTERM, SIGINT, SIGHUP, SIGQUIT};
constexpr int kProgramDefaults[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGPIPE, SIGALRM,
                                    SIGTERM, SIGUSR1, SIGUSR2, SIGCHLD};
constexpr long kParentGoneGraceNs = 1000000000; // SIGTERM, then this, then SIGKILL

// Everything the two forked processes use, made before the fork: after it
// only async-signal-safe calls are allowed (this process has other threads).
struct TSpawnPlan {
    std::string File;
    std::vector<std::string> ArgTexts, EnvTexts;
    std::vector<char*> Argv, Envp;
    sigset_t Keeper{}, All{}, None{};
    pid_t Parent = 0;
    int OutputFd = -1, ErrorFd = -1;
    unsigned MaxFd = 0; // the highest descriptor there can be, for want of close_range
};

// close_range, or where a system call filter refuses it, one by one.
void CloseFrom(const TSpawnPlan& plan, unsigned first, unsigned last) noexcept {
    if (first > last || ::syscall(SYS_close_range, first, last, 0U) == 0) {
        return;
    }
    for (unsigned fd = first; fd <= std::min(last, plan.MaxFd); ++fd) {
        ::close(static_cast<int>(fd));
    }
}

[[noreturn]] void ReportAndExit(int errorFd, int error) noexcept {
    [[maybe_unused]] const ssize_t written = ::write(errorFd, &error, sizeof error);
    ::_exit(127);
}

// The program itself: default signals, nothing blocked, stdin from
// /dev/null, output into the pipe, no other descriptor but the error pipe
// (closed by the exec). It dies with its keeper.
[[noreturn]] void RunProgram(const TSpawnPlan& plan) noexcept {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal : kProgramDefaults) {
        ::sigaction(signal, &defaults, nullptr);
    }
    ::sigprocmask(SIG_SETMASK, &plan.None, nullptr);
    const int in = ::open("/dev/null", O_RDONLY);
    if (in < 0 || ::dup2(in, STDIN_FILENO) < 0 || ::dup2(plan.OutputFd, STDOUT_FILENO) < 0 ||
        ::dup2(plan.OutputFd, STDERR_FILENO) < 0) {
        ReportAndExit(plan.ErrorFd, errno);
    }
    const auto error = static_cast<unsigned>(plan.ErrorFd);
    CloseFrom(plan, STDERR_FILENO + 1, error - 1);
    CloseFrom(plan, error + 1, ~0U);
    ::execve(plan.File.c_str(), plan.Argv.data(), plan.Envp.data());
    ReportAndExit(plan.ErrorFd, errno);
}

// Ends as its program ended: the same exit status, or the same signal.
[[noreturn]] void EndAs(int status) noexcept {
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        ::sigaction(signal, &defaults, nullptr);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signal);
        ::sigprocmask(SIG_UNBLOCK, &one, nullptr);
        ::kill(::getpid(), signal);
    }
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128);
}

// The keeper: the leader of the program's process group, between this
// process and the program. When this process ends, however it ends (a
// SIGKILL included), the kernel tells the keeper, which ends the whole group:
// the program and whatever it started. When the program ends, the keeper
// ends what the program left running in its group, and ends as it did.
[[noreturn]] void RunKeeper(const TSpawnPlan& plan) noexcept {
    ::setpgid(0, 0);
    // Every signal stays blocked (the fork left them so): a handler of this
    // process must never run here. The keeper takes its own with sigwaitinfo.
    ::prctl(PR_SET_DUMPABLE, 0); // re-raising a program's SIGSEGV must not dump the keeper
    ::prctl(PR_SET_PDEATHSIG, kParentGone);
    const bool orphan = ::getppid() != plan.Parent; // this process ended before the prctl
    const pid_t program = orphan ? -1 : ::fork();
    if (program == 0) {
        RunProgram(plan);
    }
    if (program < 0) {
        ReportAndExit(plan.ErrorFd, orphan ? ECHILD : errno);
    }
    CloseFrom(plan, 0, ~0U); // the program has its own; the parent's stay with the parent
    for (;;) {
        siginfo_t info{};
        const int signal = ::sigwaitinfo(&plan.Keeper, &info);
        int status = 0;
        if (signal == SIGCHLD && ::waitpid(program, &status, WNOHANG) == program) {
            ::kill(0, SIGTERM); // what it left behind
            EndAs(status);
        }
        if (signal == kParentGone) {
            ::kill(0, SIGTERM);
            const timespec grace{0, kParentGoneGraceNs};
            ::nanosleep(&grace, nullptr);
            ::kill(0, SIGKILL);
        }
    }
}

// Starts the program under its keeper; returns the keeper's pid (the
// program's process group), or -errno.
pid_t Spawn(const TChildCommand& command, int outputFd) {
    const std::variant<std::string, int> file = FindProgram(command.Program);
    if (std::holds_alternative<int>(file)) {
        return -std::get<int>(file);
    }
    TSpawnPlan plan;
    plan.File = std::get<std::string>(file);
    plan.ArgTexts = {command.Program};
    plan.ArgTexts.insert(plan.ArgTexts.end(), command.Args.begin(), command.Args.end());
    plan.EnvTexts = ChildEnvironment(command);
    plan.Argv = Pointers(plan.ArgTexts);
    plan.Envp = Pointers(plan.EnvTexts);
    sigemptyset(&plan.None);
    sigfillset(&plan.All);
    sigemptyset(&plan.Keeper);
    for (int signal : kKeeperSignals) {
        sigaddset(&plan.Keeper, signal);
    }
    plan.Parent = ::getpid();
    plan.OutputFd = outputFd;
    const long maxFd = ::sysconf(_SC_OPEN_MAX);
    plan.MaxFd = static_cast<unsigned>(std::clamp<long>(maxFd, 1024, 65536) - 1);
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        return -errno;
    }
    plan.ErrorFd = errorPipe[1];
    // Blocked across the fork, so that no signal reaches a handler of this
    // process in the keeper before it has a group of its own.
    sigset_t previous;
    ::pthread_sigmask(SIG_SETMASK, &plan.All, &previous);
    const pid_t keeper = ::fork();
    if (keeper == 0) {
        RunKeeper(plan);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(errorPipe[1]);
    if (keeper < 0) {
        const int error = errno;
        ::close(errorPipe[0]);
        return -error;
    }
    // The keeper makes its group itself; set it from here too, so that a
    // stop sent to the group at once cannot miss.
    ::setpgid(keeper, keeper);
    // Closed by the program's exec and by the keeper: nothing read means started.
    int error = 0;
    ssize_t got;
    do {
        got = ::read(errorPipe[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(errorPipe[0]);
    if (got == static_cast<ssize_t>(sizeof error)) {
        int status = 0;
        while (::waitpid(keeper, &status, 0) < 0 && errno == EINTR) {
        }
        return -error;
    }
    return keeper;
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
