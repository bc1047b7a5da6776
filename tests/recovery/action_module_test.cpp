// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/action_module.h"
#include "recovery_test_support.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pingvard {
namespace {

TActionConfig Config(TActionKind kind, const std::string& name) {
    TActionConfig config;
    config.Name = name;
    config.Kind = kind;
    config.TimeLimitMs = 5000;
    config.Ssh.Host = "127.0.0.1";
    config.Http.Url = "http://127.0.0.1:9/";
    return config;
}

// A TCP socket on a free loopback port: listening (it answers one request
// with 200) or only bound, so that a connect is refused.
class TLoopbackPort {
public:
    explicit TLoopbackPort(bool answer) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        if (answer && ::listen(m_fd, 1) == 0) {
            m_server = std::thread([fd = m_fd] {
                const int client = ::accept(fd, nullptr, nullptr);
                if (client < 0) {
                    return;
                }
                char request[4096];
                (void)::recv(client, request, sizeof request, 0);
                const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n"
                                     "\r\nok";
                (void)::send(client, reply, sizeof reply - 1, MSG_NOSIGNAL);
                ::close(client);
            });
        }
    }
    ~TLoopbackPort() {
        ::shutdown(m_fd, SHUT_RDWR); // ends an accept that nobody reached
        if (m_server.joinable()) {
            m_server.join();
        }
        ::close(m_fd);
    }
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
    std::thread m_server;
};

// A missing module, or a file there that is no module, fails every run of the
// action with one line naming the file and why; nothing else breaks.
TEST(ActionModule, AMissingOrBrokenModuleFailsTheActionWithOneLine) {
    const test::TScratchDir empty;
    const test::TScratchDir broken;
    for (const char* file : {"pingvard-ssh.so", "pingvard-http.so"}) {
        std::ofstream(broken / file) << "not a shared object\n";
    }
    struct TCase {
        TActionKind Kind;
        const test::TScratchDir& Dir;
        std::string Status;
    };
    const TCase cases[] = {
        {TActionKind::Ssh, empty,
         "Unable to reset, pingvard-ssh.so is not installed (looked in " + empty.Path().string() +
             ")"},
        {TActionKind::Http, empty,
         "Unable to reset, pingvard-http.so is not installed (looked in " + empty.Path().string() +
             ")"},
        {TActionKind::Ssh, broken, "Unable to reset, cannot load " + broken / "pingvard-ssh.so"},
        {TActionKind::Http, broken, "Unable to reset, cannot load " + broken / "pingvard-http.so"},
    };
    for (const TCase& c : cases) {
        TActionContext context;
        context.ModuleDirs = {c.Dir.Path().string()};
        const auto action = MakeAction(Config(c.Kind, "router"), context);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->Name(), "router");
        EXPECT_EQ(action->Kind(), ActionKindName(c.Kind));
        test::TKeptReport report;
        const TRecoveryOutcome outcome = action->Run(report);
        EXPECT_FALSE(outcome.Ok);
        // One line: the reason, and for a file that is there the loader's own words.
        EXPECT_EQ(outcome.Status.substr(0, c.Status.size()), c.Status);
        EXPECT_EQ(outcome.Status.find('\n'), std::string::npos);
        EXPECT_EQ(report.Steps.size(), 1U);
    }
}

// Loaded on the first run, a module's action does its work with the library
// it brought: libcurl asks a loopback server, libssh meets a refused connect.
TEST(ActionModule, ActionsRunWithTheirLibrariesLoadedLate) {
    TActionContext context;
    context.ModuleDirs = {PINGVARD_TEST_MODULE_DIR};

    const TLoopbackPort server(true);
    TActionConfig http = Config(TActionKind::Http, "plug");
    http.Http.Url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/relay/0?turn=on";
    test::TKeptReport report;
    EXPECT_EQ(MakeAction(http, context)->Run(report).Status, "Reset OK (plug)");

    const TLoopbackPort refused(false);
    TActionConfig ssh = Config(TActionKind::Ssh, "router");
    ssh.Ssh.Port = refused.Port();
    const auto action = MakeAction(ssh, context);
    EXPECT_TRUE(action->HasDialogue());
    EXPECT_EQ(action->Run(report).Status, "Unable to reset, cannot connect to 127.0.0.1");
    // Sticky abort reaches the module's action through the program's.
    action->Abort();
    EXPECT_EQ(action->Run(report).Status, "Unable to reset, aborted");
}

} // namespace
} // namespace pingvard
