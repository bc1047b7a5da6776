// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/tools/apsim_harness.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace pingvard::apsim::test {
namespace {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Reads one line from fd into buffer's tail; "" on time-out or end.
std::string ReadLine(int fd, std::string& buffer, int timeoutMs) {
    const int64_t until = NowMs() + timeoutMs;
    for (;;) {
        const auto lf = buffer.find('\n');
        if (lf != std::string::npos) {
            std::string line = buffer.substr(0, lf);
            buffer.erase(0, lf + 1);
            return line;
        }
        const int64_t left = until - NowMs();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, int(left)) <= 0) {
            return {};
        }
        char chunk[4096];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) {
            return {};
        }
        buffer.append(chunk, std::size_t(got));
    }
}

pid_t Spawn(const std::vector<std::string>& args, int& outFd, int& errFd) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> all{PINGVARD_APSIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + all[0]);
    }
    outFd = out[0];
    errFd = err[0];
    return pid;
}

} // namespace

TApsimProcess::TApsimProcess(std::vector<std::string> args) {
    if (std::find(args.begin(), args.end(), "--port") == args.end()) {
        args.insert(args.end(), {"--port", "0"});
    }
    if (std::find(args.begin(), args.end(), "--listen") == args.end()) {
        args.insert(args.end(), {"--listen", "127.0.0.1"});
    }
    m_pid = Spawn(args, m_stdout, m_stderr);
    std::string buffer;
    m_startLine = ReadLine(m_stderr, buffer, 10000);
    const auto colon = m_startLine.rfind(':');
    if (m_startLine.starts_with("pingvard-apsim: listening on ") && colon != std::string::npos) {
        m_port = std::stoi(m_startLine.substr(colon + 1));
    }
}

TApsimProcess::~TApsimProcess() {
    // Every test ends with a clean exit on SIGTERM: under the sanitizers a
    // fault or a leak in the simulator shows up here as a non-zero status.
    if (WaitExit(0) < 0) {
        Signal(SIGTERM);
        if (WaitExit(5000) < 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            ADD_FAILURE() << "pingvard-apsim ignored SIGTERM for 5 s";
        }
    }
    EXPECT_TRUE(m_status == 0 || (m_status == 1 && m_port == 0)) // 1: no IPv6 here
        << "pingvard-apsim exit status " << m_status;
    close(m_stdout);
    close(m_stderr);
}

std::string TApsimProcess::NextRecord(int timeoutMs) {
    return ReadLine(m_stdout, m_outBuffer, timeoutMs);
}

int TApsimProcess::WaitExit(int timeoutMs) {
    const int64_t until = NowMs() + timeoutMs;
    while (m_status < 0) {
        int status = 0;
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (NowMs() >= until) {
            return -1;
        } else {
            usleep(10000);
        }
    }
    return m_status;
}

void TApsimProcess::Signal(int signal) const {
    kill(m_pid, signal);
}

int RunApsimToExit(const std::vector<std::string>& args, std::string& errorText) {
    int out = -1, err = -1;
    const pid_t pid = Spawn(args, out, err);
    std::string buffer;
    for (std::string line; !(line = ReadLine(err, buffer, 10000)).empty();) {
        errorText += line + "\n";
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(out);
    close(err);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TTestClient::~TTestClient() {
    Close();
}

void TTestClient::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
        Ended = true;
    }
}

bool TTestClient::Connect(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        Error = EINVAL;
        return false;
    }
    m_fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = connect(m_fd, found->ai_addr, found->ai_addrlen) == 0;
    Error = ok ? 0 : errno;
    freeaddrinfo(found);
    return ok;
}

void TTestClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            return;
        }
        bytes.remove_prefix(std::size_t(sent));
    }
}

void TTestClient::SendAnswer(std::string_view text) {
    std::string escaped;
    for (char c : text) {
        escaped += c;
        if (static_cast<unsigned char>(c) == 255) {
            escaped += c;
        }
    }
    Send(escaped + "\r\n");
}

bool TTestClient::ReceiveOnce(int timeoutMs) {
    pollfd p{m_fd, POLLIN, 0};
    if (Ended || poll(&p, 1, std::max(timeoutMs, 0)) <= 0) {
        return false;
    }
    char chunk[65536];
    const ssize_t got = recv(m_fd, chunk, sizeof chunk, 0);
    if (got <= 0) {
        Ended = true;
        Error = got < 0 ? errno : 0;
        return false;
    }
    Raw.append(chunk, std::size_t(got));
    Chunks.push_back(std::size_t(got));
    for (ssize_t i = 0; i < got; ++i) {
        Decode(static_cast<unsigned char>(chunk[i]));
    }
    return true;
}

// Answers like the product's client: accepts the server's SGA, offers its
// terminal type when asked, refuses everything else, answers every WONT/DONT.
void TTestClient::Decode(unsigned char b) {
    const auto reply = [this](unsigned char verb, unsigned char option) {
        if (AnswerNegotiation) {
            Send(std::string{char(255), char(verb), char(option)});
        }
    };
    switch (m_state) {
    case TState::Data:
        if (b == 255) {
            m_state = TState::Command;
        } else {
            m_data += char(b);
        }
        break;
    case TState::Command:
        m_state = b >= 251 && b <= 254 ? TState::Verb : b == 250 ? TState::Sub : TState::Data;
        m_verb = b;
        m_sub.clear();
        if (b == 255) {
            m_data += char(b);
        }
        break;
    case TState::Verb:
        m_state = TState::Data;
        Commands.push_back(std::string{char(255), char(m_verb), char(b)});
        if (m_verb == 251) {
            reply(b == 3 ? 253 : 254, b);
        } else if (m_verb == 253) {
            reply(b == 24 ? 251 : 252, b);
        } else {
            reply(m_verb == 252 ? 254 : 252, b);
        }
        break;
    case TState::Sub:
        if (b == 255) {
            m_state = TState::SubIac;
        } else {
            m_sub += char(b);
        }
        break;
    case TState::SubIac:
        m_state = b == 240 ? TState::Data : TState::Sub;
        if (b == 240 && m_sub == std::string{char(24), char(1)} && AnswerNegotiation) {
            Send(std::string{char(255), char(250), char(24), char(0)} + TerminalType +
                 std::string{char(255), char(240)});
        }
        if (b == 240) {
            Commands.push_back(std::string{char(255), char(250)} + m_sub);
        } else {
            m_sub += char(b);
        }
        break;
    }
}

std::optional<std::string> TTestClient::ReadUntil(std::string_view text, int timeoutMs) {
    const int64_t until = NowMs() + timeoutMs;
    for (;;) {
        const auto at = m_data.find(text);
        if (at != std::string::npos) {
            std::string before = m_data.substr(0, at);
            m_data.erase(0, at + text.size());
            return before;
        }
        const int64_t left = until - NowMs();
        if (left <= 0 || (!ReceiveOnce(int(left)) && Ended)) {
            return std::nullopt;
        }
    }
}

std::string TTestClient::ReadFor(int ms) {
    const int64_t until = NowMs() + ms;
    for (int64_t left = ms; left > 0 && !Ended; left = until - NowMs()) {
        ReceiveOnce(int(left));
    }
    return std::exchange(m_data, {});
}

std::string TTestClient::ReadRaw(std::size_t count, int timeoutMs) {
    const int64_t until = NowMs() + timeoutMs;
    for (int64_t left = timeoutMs; Raw.size() < count && left > 0 && !Ended;
         left = until - NowMs()) {
        ReceiveOnce(int(left));
    }
    return Raw.substr(0, std::min(count, Raw.size()));
}

} // namespace pingvard::apsim::test
