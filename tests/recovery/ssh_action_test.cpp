// SPDX-License-Identifier: GPL-3.0-or-later
// The ssh action against the real OpenSSH server. Each case runs sshd with its
// own configuration, host key and port inside a network namespace the test
// creates, and in private mount and PID namespaces where a test account exists
// in bind-mounted copies of /etc/passwd, /etc/shadow and /etc/group: the
// machine's own accounts, sshd configuration and host keys are never touched,
// and everything the server started dies with its PID namespace.
#include "recovery/ssh_action.h"
#include "tests/net/netns_fixture.h"
#include "tests/recovery/recovery_test_support.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdexcept>
#include <thread>

namespace pingvard {
namespace {

constexpr int kSshPort = 2222;
constexpr const char* kUser = "pvreboot";
constexpr const char* kPassword = "c0rrect horse";

class TSshServerFiles {
public:
    TSshServerFiles() {
        // A uid nobody on this machine has, so "kill -1" as the account reaches
        // only the account's own processes.
        m_uid = 61000 + static_cast<int>(::getpid() % 3000);
        while (::getpwuid(static_cast<uid_t>(m_uid)) != nullptr) {
            ++m_uid;
        }
        const std::string home = m_dir / "home";
        std::filesystem::create_directory(home);
        if (::chown(home.c_str(), static_cast<uid_t>(m_uid), static_cast<gid_t>(m_uid)) != 0) {
            throw std::runtime_error("cannot give the test account its home " + home);
        }
        for (const char* key : {"host", "other", "client"}) {
            test::Capture("ssh-keygen -q -t ed25519 -N '' -C pv -f " + m_dir / key);
        }
        std::filesystem::permissions(m_dir / "client", std::filesystem::perms(0600));
        test::WriteFile(m_dir / "authorized_keys", test::ReadFile(m_dir / "client.pub"));
        const std::string hash =
            test::Capture(std::string("openssl passwd -6 '") + kPassword + "'");
        const std::string id = std::to_string(m_uid);
        test::WriteFile(m_dir / "passwd", test::ReadFile("/etc/passwd") + kUser + ":x:" + id + ":" +
                                              id + "::" + home + ":/bin/sh\n");
        test::WriteFile(m_dir / "group", test::ReadFile("/etc/group") + kUser + ":x:" + id + ":\n");
        test::WriteFile(m_dir / "shadow",
                        test::ReadFile("/etc/shadow") + kUser + ":" +
                            hash.substr(0, hash.find('\n')) + ":19000:0:99999:7:::\n",
                        0640);
        // The device's reboot: record it, then everything of the account dies at
        // once, before sshd can send an exit status.
        test::WriteFile(m_dir / "reboot",
                        "#!/bin/sh\necho reboot >> " + home + "/record\nkill -KILL -1\n", 0755);
        test::WriteFile(m_dir / "sshd_config",
                        "Port " + std::to_string(kSshPort) + "\nListenAddress 127.0.0.1\nHostKey " +
                            m_dir / "host" + "\nPidFile " + m_dir / "sshd.pid" +
                            "\nAuthorizedKeysFile " + m_dir / "authorized_keys" +
                            "\nStrictModes no\nUsePAM no\nPasswordAuthentication yes\n"
                            "KbdInteractiveAuthentication no\nPermitRootLogin no\nAllowUsers " +
                            kUser + "\nLogLevel VERBOSE\n",
                        0600);
        m_fingerprint = test::Capture("ssh-keygen -l -E sha256 -f " + m_dir / "host.pub");
        m_fingerprint = m_fingerprint.substr(m_fingerprint.find(' ') + 1);
        m_fingerprint = m_fingerprint.substr(0, m_fingerprint.find(' '));
    }

    // Starts sshd in the calling thread's network namespace.
    std::unique_ptr<test::TBackgroundProcess> StartServer() const {
        const std::string d = m_dir.Path().string();
        const std::string script =
            "mount --bind " + d + "/passwd /etc/passwd && mount --bind " + d +
            "/shadow /etc/shadow && mount --bind " + d +
            "/group /etc/group && mount -t tmpfs tmpfs /run && mkdir -m 755 /run/sshd && "
            "exec /usr/sbin/sshd -D -e -f " +
            d + "/sshd_config";
        return std::make_unique<test::TBackgroundProcess>(
            std::vector<std::string>{"unshare", "--mount", "--propagation", "private", "--pid",
                                     "--fork", "--kill-child", "/bin/sh", "-c", script},
            m_dir / "sshd.log", SIGKILL);
    }

    std::string KnownHosts(const char* key) const {
        const std::string pub = test::ReadFile(m_dir / (std::string(key) + ".pub"));
        return "[127.0.0.1]:" + std::to_string(kSshPort) + " " + pub;
    }

    const test::TScratchDir& Dir() const { return m_dir; }
    const std::string& Fingerprint() const { return m_fingerprint; }
    std::string Record() const { return test::ReadFile(m_dir / "home/record"); }

private:
    test::TScratchDir m_dir;
    int m_uid = 0;
    std::string m_fingerprint;
};

enum class THostKey { Pinned, PinnedOther, KnownHosts, KnownHostsOther, Unknown };
enum class TLogin { Key, Password, WrongPassword };

struct TSshCase {
    const char* Name;
    THostKey HostKey;
    TLogin Login;
    std::string Command; // "@" stands for the scratch directory
    bool Ok;
    std::string Status;
    bool Rebooted = false;
    int32_t LimitMs = 10000;
};

class SshActionAgainstOpenSsh : public testing::TestWithParam<TSshCase> {
protected:
    static void SetUpTestSuite() {
        if (test::IsRoot() && ::access("/usr/sbin/sshd", X_OK) == 0) {
            s_files = std::make_unique<TSshServerFiles>();
        }
    }
    static void TearDownTestSuite() { s_files.reset(); }

    TActionConfig Config(const TSshCase& c) const {
        const test::TScratchDir& dir = s_files->Dir();
        TActionConfig config;
        config.Name = "router";
        config.Kind = TActionKind::Ssh;
        config.TimeLimitMs = c.LimitMs;
        config.Ssh.Host = "127.0.0.1";
        config.Ssh.Port = kSshPort;
        config.Ssh.User = kUser;
        config.Ssh.Command = c.Command;
        if (const std::size_t at = c.Command.find('@'); at != std::string::npos) {
            config.Ssh.Command.replace(at, 1, dir.Path().string());
        }
        if (c.Login == TLogin::Key) {
            config.Ssh.KeyFile = dir / "client";
        } else {
            config.Ssh.Password = c.Login == TLogin::Password ? kPassword : "wrong";
        }
        config.Ssh.KnownHostsFile = dir / (std::string(c.Name) + ".known_hosts");
        switch (c.HostKey) {
        case THostKey::Pinned:
            config.Ssh.HostKey = s_files->Fingerprint();
            break;
        case THostKey::PinnedOther:
            config.Ssh.HostKey = "SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
            break;
        case THostKey::KnownHosts:
            test::WriteFile(config.Ssh.KnownHostsFile, s_files->KnownHosts("host"));
            break;
        case THostKey::KnownHostsOther:
            test::WriteFile(config.Ssh.KnownHostsFile, s_files->KnownHosts("other"));
            break;
        case THostKey::Unknown:
            break;
        }
        return config;
    }

    static std::unique_ptr<TSshServerFiles> s_files;
};
std::unique_ptr<TSshServerFiles> SshActionAgainstOpenSsh::s_files;

TEST_P(SshActionAgainstOpenSsh, RunsTheCommandOnlyOnAVerifiedServer) {
    if (!s_files) {
        GTEST_SKIP() << "needs root (namespaces) and openssh-server";
    }
    const TSshCase& c = GetParam();
    test::RunInNewNetns([&] {
        const auto server = s_files->StartServer();
        ASSERT_TRUE(test::WaitForTcp(kSshPort)) << test::ReadFile(s_files->Dir() / "sshd.log");
        TSshAction action(Config(c));
        test::TKeptReport report;
        const auto start = std::chrono::steady_clock::now();
        const TRecoveryOutcome outcome = action.Run(report);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(outcome.Ok, c.Ok) << report.All() << test::ReadFile(s_files->Dir() / "sshd.log");
        EXPECT_EQ(outcome.Status, c.Status) << report.All();
        EXPECT_EQ(report.All().find(kPassword), std::string::npos) << report.All();
        EXPECT_LT(elapsed, std::chrono::milliseconds(c.LimitMs + 1000));
        EXPECT_EQ(s_files->Record().find("reboot") != std::string::npos, c.Rebooted);
    });
    std::filesystem::remove(s_files->Dir() / "home/record");
}

INSTANTIATE_TEST_SUITE_P(
    Table, SshActionAgainstOpenSsh,
    testing::Values(
        // The command kills the session before sshd can report an exit status.
        TSshCase{"KeyLoginRebootDropsTheSession", THostKey::Pinned, TLogin::Key, "@/reboot", true,
                 "Reset OK (router)", true},
        TSshCase{"PasswordLoginKnownHosts", THostKey::KnownHosts, TLogin::Password, "@/reboot",
                 true, "Reset OK (router)", true},
        TSshCase{"ExitStatusZero", THostKey::Pinned, TLogin::Password, "true", true,
                 "Reset OK (router)"},
        TSshCase{"ExitStatusThree", THostKey::Pinned, TLogin::Key, "exit 3", false,
                 "Unable to reset, exit status 3 from 127.0.0.1"},
        TSshCase{"WrongPassword", THostKey::Pinned, TLogin::WrongPassword, "@/reboot", false,
                 "Unable to reset, login refused by 127.0.0.1"},
        TSshCase{"UnknownHostKey", THostKey::Unknown, TLogin::Password, "@/reboot", false,
                 "Unable to reset, unknown host key of 127.0.0.1"},
        TSshCase{"ChangedPinnedKey", THostKey::PinnedOther, TLogin::Password, "@/reboot", false,
                 "Unable to reset, host key of 127.0.0.1 changed"},
        TSshCase{"ChangedKnownHostsKey", THostKey::KnownHostsOther, TLogin::Key, "@/reboot", false,
                 "Unable to reset, host key of 127.0.0.1 changed"},
        TSshCase{"HungCommandAtItsLimit", THostKey::Pinned, TLogin::Key, "sleep 30", false,
                 "Unable to reset, command still running on 127.0.0.1 after 2 s", false, 1500}),
    [](const testing::TestParamInfo<TSshCase>& param) { return std::string(param.param.Name); });

TEST(SshAction, NothingListeningCannotConnect) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: network namespaces";
    }
    test::RunInNewNetns([] {
        TActionConfig config;
        config.Name = "router";
        config.Kind = TActionKind::Ssh;
        config.Ssh.Host = "127.0.0.1";
        config.Ssh.Port = kSshPort;
        TNullActionReport report;
        EXPECT_EQ(TSshAction(config).Run(report).Status,
                  "Unable to reset, cannot connect to 127.0.0.1");
    });
}

TEST(SshAction, AbortEndsAConnectPromptly) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "needs root: network namespaces";
    }
    test::RunInNewNetns([] {
        ASSERT_TRUE(test::AddSilentHost());
        TActionConfig config;
        config.Name = "router";
        config.Kind = TActionKind::Ssh;
        config.TimeLimitMs = 60000;
        config.Ssh.Host = test::kSilentHostV4;
        TSshAction action(config);
        std::thread aborter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            action.Abort();
        });
        const auto start = std::chrono::steady_clock::now();
        TNullActionReport report;
        EXPECT_EQ(action.Run(report).Status, "Unable to reset, aborted");
        aborter.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    });
}

} // namespace
} // namespace pingvard
