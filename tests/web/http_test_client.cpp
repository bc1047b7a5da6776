// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/web/http_test_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pingvard::test {

namespace {

using Clock = std::chrono::steady_clock;

// Content-Length of a whole head at the start of text; -1 until the head is whole.
long long AnswerLength(const std::string& text) {
    const std::size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) {
        return -1;
    }
    const std::size_t field = text.find("Content-Length: ");
    const long long body =
        field != std::string::npos && field < end ? std::stoll(text.substr(field + 16)) : 0;
    return static_cast<long long>(end + 4) + body;
}

} // namespace

THttpTestClient::THttpTestClient(uint16_t port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

THttpTestClient::~THttpTestClient() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool THttpTestClient::Send(const std::string& bytes) {
    return m_fd >= 0 && ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                            static_cast<ssize_t>(bytes.size());
}

void THttpTestClient::ShutdownSending() {
    ::shutdown(m_fd, SHUT_WR);
}

std::string THttpTestClient::ReadAnswer(std::chrono::milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    std::string text = std::move(m_pending);
    m_pending.clear();
    while (m_fd >= 0) {
        const long long whole = AnswerLength(text);
        if (whole >= 0 && static_cast<long long>(text.size()) >= whole) {
            m_pending = text.substr(static_cast<std::size_t>(whole));
            text.resize(static_cast<std::size_t>(whole));
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{m_fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[16384];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

bool THttpTestClient::ClosedWithin(std::chrono::milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    while (m_fd >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{m_fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            return true;
        }
    }
    return false;
}

std::string HttpGet(uint16_t port, const std::string& path, const std::string& extra) {
    THttpTestClient client(port);
    if (!client.Send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                     "\r\n" + extra + "Connection: close\r\n\r\n")) {
        return "";
    }
    return client.ReadAnswer();
}

int StatusOf(const std::string& answer) {
    return answer.rfind("HTTP/1.1 ", 0) == 0 && answer.size() >= 12 ? std::stoi(answer.substr(9, 3))
                                                                    : 0;
}

std::string BodyOf(const std::string& answer) {
    const std::size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? "" : answer.substr(end + 4);
}

} // namespace pingvard::test
