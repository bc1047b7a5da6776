// SPDX-License-Identifier: GPL-3.0-or-later
// The real pingvard executable, started as a child process. Every run happens
// inside an empty network namespace that the test creates, so that nothing
// the program sends can leave the machine, whatever its configuration says.

#include "app/exit_status.h"
#include "monitor/host_monitor.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pingvard {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr int kEchoTimeoutMs = 500;
// The shutdown bound of the design (each worker its echo time-out, a session
// 1000 ms) plus slack for a sanitizer build on a busy machine.
constexpr auto kShutdownBound = std::chrono::milliseconds(4 * kEchoTimeoutMs + 1000 + 3000);

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// An empty network namespace with only loopback up, and a resolver of its own
// that nothing answers (ip netns exec reads /etc/netns/NAME/), so that a name
// lookup stays inside too; deleted with the object.
class TIsolatedNamespace {
public:
    TIsolatedNamespace()
        : m_name("pvt-" + std::to_string(getpid()) + "-" + std::to_string(++s_count)),
          m_etc("/etc/netns/" + m_name) {
        std::error_code error;
        fs::create_directories(m_etc, error);
        std::ofstream(m_etc / "resolv.conf")
            << "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n";
        std::ofstream(m_etc / "hosts") << "127.0.0.1 localhost\n";
        m_ok =
            !error && Run("ip netns add " + m_name) && Run("ip -n " + m_name + " link set lo up");
    }
    ~TIsolatedNamespace() {
        Run("ip netns del " + m_name);
        std::error_code ignored;
        fs::remove_all(m_etc, ignored);
    }
    bool Ok() const { return m_ok; }
    const std::string& Name() const { return m_name; }

private:
    static inline int s_count = 0;
    std::string m_name;
    fs::path m_etc;
    bool m_ok = false;
};

// pingvard run inside a namespace with stdout and stderr to files in dir.
class TProgram {
public:
    // wrapper: a command that runs the program (setpriv ...), or empty.
    TProgram(const TIsolatedNamespace& ns, const fs::path& dir, std::vector<std::string> args,
             std::vector<std::string> wrapper = {})
        : m_out(dir / "console.out"), m_err(dir / "console.err") {
        std::vector<std::string> argv = {"/usr/bin/env", "ip", "netns", "exec", ns.Name()};
        argv.insert(argv.end(), wrapper.begin(), wrapper.end());
        argv.push_back(PINGVARD_BINARY);
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (auto& arg : argv)
            raw.push_back(arg.data());
        raw.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_out.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_err.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&m_pid, raw[0], &actions, nullptr, raw.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TProgram() {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

    bool Started() const { return m_pid > 0; }
    void Signal(int signal) { kill(m_pid, signal); }
    // The exit status, or nullopt when still running after limit (or killed by a signal: -signal).
    std::optional<int> WaitExit(std::chrono::milliseconds limit) {
        const auto deadline = TClock::now() + limit;
        while (!m_status && TClock::now() < deadline) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            else
                std::this_thread::sleep_for(10ms);
        }
        return m_status;
    }
    std::string Out() const { return ReadFile(m_out); }
    std::string Err() const { return ReadFile(m_err); }

private:
    fs::path m_out, m_err;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

class ProgramProcess : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: runs pingvard in a network namespace of its own";
        ASSERT_TRUE(m_ns.Ok()) << "cannot create network namespace " << m_ns.Name();
        // Not named after the test: a parameterised test's name holds a '/'.
        std::string pattern = fs::temp_directory_path() / "pingvard_app_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }

    // Four watched loopback addresses that answer at once.
    void WriteLoopbackIni(fs::perms perms = fs::perms::owner_read | fs::perms::owner_write) {
        std::ofstream ini(m_dir / "pingvard.ini");
        ini << "[Constants]\nMaxTimeouts=5\nPingInterval=100\n[ResetHost]\nHostname=127.0.0.1\n";
        for (int slot = 1; slot <= 4; ++slot) {
            ini << "[Host" << slot << "]\nDisplayName=lo" << slot << "\nHostname=127.0.0." << slot
                << "\nTimeout=" << kEchoTimeoutMs << "\n";
        }
        ini.close();
        fs::permissions(m_dir / "pingvard.ini", perms);
    }

    // Waits until done(output) holds or the program ends, at most 20 s.
    static void WaitForOutput(TProgram& program, bool (*done)(const std::string&)) {
        const auto deadline = TClock::now() + 20s;
        while (!done(program.Out()) && TClock::now() < deadline && !program.WaitExit(50ms)) {
        }
    }

    static bool AllHostsShown(const std::string& out) {
        return out.find("host 4 ping=") != std::string::npos;
    }

    static bool AllHostsAnswered(const std::string& out) {
        for (int slot = 1; slot <= 4; ++slot) {
            const auto at = out.find("host " + std::to_string(slot) + " ping=");
            if (at == std::string::npos || out.find("ms ", at) == std::string::npos)
                return false;
        }
        return true;
    }

    TIsolatedNamespace m_ns;
    fs::path m_dir;
};

struct TCommandCase {
    std::vector<std::string> Args;
    int Status;
    std::string Out, Err; // expected substrings
};

class ProgramCommandLine : public ProgramProcess,
                           public testing::WithParamInterface<TCommandCase> {};

TEST_P(ProgramCommandLine, AnswersWithoutStartingTheMonitor) {
    const auto& c = GetParam();
    TProgram program(m_ns, m_dir, c.Args);
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.WaitExit(10s), c.Status);
    EXPECT_NE(program.Out().find(c.Out), std::string::npos) << program.Out();
    EXPECT_NE(program.Err().find(c.Err), std::string::npos) << program.Err();
    EXPECT_FALSE(fs::exists(m_dir / "pingvard.ini"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramCommandLine,
    testing::Values(TCommandCase{{"--version"}, kExitOk, "pingvard 1.", ""},
                    TCommandCase{{"--help", "--headless"}, kExitOk, "Usage: pingvard", ""},
                    TCommandCase{{"--headless", "--colour"},
                                 kExitUsage,
                                 "",
                                 "pingvard: unknown option '--colour'\nTry 'pingvard --help'"},
                    TCommandCase{{"-C"}, kExitUsage, "", "pingvard: option '-C' needs a directory"},
                    TCommandCase{{"-C", "/nonexistent/pingvard"},
                                 kExitFailure,
                                 "",
                                 "pingvard: cannot change directory to '/nonexistent/pingvard'"}));

class ProgramSignal : public ProgramProcess, public testing::WithParamInterface<int> {};

TEST_P(ProgramSignal, EndsCleanlyWithStatusZero) {
    WriteLoopbackIni();
    TProgram program(m_ns, m_dir, {"--headless", "--directory", m_dir.string()});
    ASSERT_TRUE(program.Started());
    WaitForOutput(program, AllHostsAnswered);
    ASSERT_TRUE(AllHostsAnswered(program.Out())) << program.Out() << program.Err();

    const auto signalled = TClock::now();
    program.Signal(GetParam());
    const auto status = program.WaitExit(kShutdownBound);
    ASSERT_TRUE(status) << "still running " << kShutdownBound.count() << " ms after the signal";
    EXPECT_EQ(*status, kExitOk) << program.Err();
    EXPECT_EQ(program.Err(), ""); // also no sanitizer report
    std::cout
        << "signal to exit: "
        << std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - signalled).count()
        << " ms\n";
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramSignal, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int>& param) {
                             return param.param == SIGTERM ? std::string("Term")
                                                           : std::string("Int");
                         });

// A first start in an empty directory writes the fresh file and says in one
// line where it is, which device it would restart, and that restarts are held
// until the operator confirms; the hold lasts through later starts until
// pingvard --arm (or an edit) confirms the settings.
TEST_F(ProgramProcess, FirstStartHoldsRestartsUntilConfirmed) {
    const std::string file = (m_dir / "pingvard.ini").string();
    const auto runOnce = [&] {
        TProgram program(m_ns, m_dir, {"--headless", "-C", m_dir.string()});
        EXPECT_TRUE(program.Started());
        WaitForOutput(program, AllHostsShown);
        program.Signal(SIGTERM);
        EXPECT_EQ(program.WaitExit(kShutdownBound), kExitOk);
        return std::pair(program.Err(), program.Out());
    };
    const auto [firstErr, firstOut] = runOnce();
    EXPECT_EQ(firstErr.find("pingvard: no pingvard.ini was here: wrote " + file +
                            " with the defaults, in which the device at 192.168.168.1 is "
                            "restarted over telnet when every marked host has failed 5 times in "
                            "a row; restarts are held until you confirm: edit the file and reload "
                            "(SIGHUP), or confirm it as it is with 'pingvard -C " +
                            m_dir.string() + " --arm' and reload\n"),
              0u)
        << firstErr;
    EXPECT_EQ(std::count(firstErr.begin(), firstErr.end(), '\n'), 1) << firstErr;
    EXPECT_NE(firstOut.find(" status Restarts held until the settings are confirmed\n"),
              std::string::npos)
        << firstOut;
    EXPECT_EQ(ReadFile(m_dir / "pingvard.ini"),
              ReadFile(PINGVARD_TEST_DATA_DIR "/fresh_pingvard.ini"));

    const auto [againErr, againOut] = runOnce(); // killed, crashed or restarted: still held
    EXPECT_EQ(againErr.find("pingvard: restarts are held: the settings a first start wrote to " +
                            file + " are not confirmed yet;"),
              0u)
        << againErr;

    TProgram arm(m_ns, m_dir, {"-C", m_dir.string(), "--arm"});
    EXPECT_EQ(arm.WaitExit(10s), kExitOk);
    EXPECT_EQ(arm.Out(), "pingvard: restarts armed for " + file +
                             ": when the marked hosts have failed 5 times in a row, the first "
                             "action is telnet (telnet) on 192.168.168.1; a running pingvard "
                             "takes this at its next reload (SIGHUP) or start\n");
    const auto [armedErr, armedOut] = runOnce();
    EXPECT_EQ(armedErr, "");
    EXPECT_EQ(armedOut.find("Restarts held"), std::string::npos) << armedOut;
    EXPECT_EQ(ReadFile(m_dir / "pingvard.ini"),
              ReadFile(PINGVARD_TEST_DATA_DIR "/fresh_pingvard.ini"));
}

TEST_F(ProgramProcess, UnwritableConfigurationIsReportedWithStatusThree) {
    WriteLoopbackIni(fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    TProgram program(m_ns, m_dir, {"--headless", "-C", m_dir.string()});
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.WaitExit(20s), kExitConfigNotWritable);
    const auto expected =
        "pingvard: Unable to write to " + (m_dir / "pingvard.ini").string() + "\n";
    EXPECT_NE(program.Err().find(expected), std::string::npos) << program.Err();
}

// A display that is named but cannot be opened (a stale DISPLAY, a Wayland
// socket that is gone) still leaves a monitor: the console program, with the
// reason said once.
struct TDisplayCase {
    const char* Name;
    const char* Variable; // DISPLAY or WAYLAND_DISPLAY
};

class UnusableDisplay : public ProgramProcess, public testing::WithParamInterface<TDisplayCase> {};

TEST_P(UnusableDisplay, RunsTheConsoleProgramAndSaysWhyOnce) {
#ifndef PINGVARD_HAS_DESKTOP
    GTEST_SKIP() << "built without pingvard-desktop: pingvard never hands over";
#endif
    WriteLoopbackIni();
    // The namespace has no abstract X sockets; no server may own the file one.
    int number = 900 + getpid() % 90;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(number)))
        ++number;
    const bool x11 = std::string(GetParam().Variable) == "DISPLAY";
    const std::string display =
        x11 ? ":" + std::to_string(number) : "pv-wayland-" + std::to_string(number);
    TProgram program(m_ns, m_dir, {"-C", m_dir.string()},
                     {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u",
                      "QT_QPA_PLATFORM", "XDG_SESSION_TYPE=" + std::string(x11 ? "x11" : "wayland"),
                      "XDG_RUNTIME_DIR=" + m_dir.string(), GetParam().Variable + ("=" + display)});
    ASSERT_TRUE(program.Started());
    WaitForOutput(program, AllHostsShown);
    ASSERT_TRUE(AllHostsShown(program.Out())) << program.Out() << program.Err();
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(kShutdownBound), kExitOk);
    const auto err = program.Err();
    const std::string said = "display \"" + display + "\"";
    const auto first = err.find(said);
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(said, first + 1), std::string::npos) << err;
    EXPECT_NE(err.find("; running the console program"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Table, UnusableDisplay,
                         testing::Values(TDisplayCase{"X11", "DISPLAY"},
                                         TDisplayCase{"Wayland", "WAYLAND_DISPLAY"}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST_F(ProgramProcess, MissingPingPermissionIsSaidOnceAndTheProgramKeepsRunning) {
    if (!fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs setpriv (util-linux) to run as an unprivileged user";
    // A new namespace allows no group unprivileged ICMP sockets, and the user
    // nobody may not open raw ones: pinging is impossible.
    WriteLoopbackIni(fs::perms::all);
    fs::permissions(m_dir, fs::perms::all);
    TProgram program(m_ns, m_dir, {"--headless", "-C", m_dir.string()},
                     {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    ASSERT_TRUE(program.Started());
    WaitForOutput(program, AllHostsShown);
    ASSERT_TRUE(AllHostsShown(program.Out())) << program.Out() << program.Err();
    EXPECT_FALSE(program.WaitExit(300ms)) << "ended: " << program.Err();

    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(kShutdownBound), kExitOk);
    const auto err = program.Err();
    const std::string said = "Pinging is not permitted";
    const auto first = err.find("pingvard: " + said);
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(said, first + 10 + said.size()), std::string::npos) << err;
    EXPECT_NE(err.find("setcap cap_net_raw+ep"), std::string::npos) << err;
    EXPECT_NE(program.Out().find(std::string(" status ") + kNoEchoStatusText), std::string::npos)
        << "the console's status line says it too: " << program.Out();
}

} // namespace
} // namespace pingvard
