// SPDX-License-Identifier: GPL-3.0-or-later
#include "apsim_process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pingvard::test {

namespace {

std::string ReadSome(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) {
        return {};
    }
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

TApsimProcess::TApsimProcess(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argv{PINGVARD_APSIM_PATH, "--listen", "127.0.0.1", "--port", "0"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) {
        cargv.push_back(a.data());
    }
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    const int rc = posix_spawn(&m_pid, cargv[0], &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    m_stdout = out[0];
    m_stderr = err[0];
    if (rc != 0) {
        m_pid = -1;
        throw std::runtime_error("cannot start pingvard-apsim");
    }
    const std::string marker = "listening on 127.0.0.1:";
    std::string text;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        text += ReadSome(m_stderr, 100);
        const auto at = text.find(marker);
        const auto end = at == std::string::npos ? at : text.find('\n', at);
        if (end != std::string::npos) {
            m_port = text.substr(at + marker.size(), end - at - marker.size());
            return;
        }
    }
    StopAndReadRecords();
    throw std::runtime_error("pingvard-apsim did not start listening: " + text);
}

TApsimProcess::~TApsimProcess() {
    StopAndReadRecords();
}

std::string TApsimProcess::StopAndReadRecords() {
    std::string records;
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        for (std::string chunk = ReadSome(m_stdout, 5000); !chunk.empty();
             chunk = ReadSome(m_stdout, 5000)) {
            records += chunk;
        }
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    for (int* fd : {&m_stdout, &m_stderr}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    return records;
}

TRefusedPort::TRefusedPort() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot reserve a loopback port");
    }
    m_port = std::to_string(ntohs(address.sin_port));
}

TRefusedPort::~TRefusedPort() {
    ::close(m_fd);
}

} // namespace pingvard::test
