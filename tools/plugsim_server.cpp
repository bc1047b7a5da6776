// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/plugsim_server.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pingvard::plugsim {

namespace {

constexpr int kIoTimeoutS = 5; // a client that stalls mid-request is dropped
constexpr int kMaxWaitMs = 200;

volatile std::sig_atomic_t g_stop = 0; // set by the signal handler only

void OnStopSignal(int) {
    g_stop = 1;
}

void InstallSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal; // no SA_RESTART: poll returns EINTR
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

class TWorld : public TPlugWorld {
public:
    explicit TWorld(std::string recordFile) : m_recordFile(std::move(recordFile)) {}

    // Queued: the plug answers as it switches, so the commands run only after
    // the answer has gone out (they may take the path to the client down).
    void RunCommand(const std::string& command, int channel) override {
        if (!command.empty()) {
            m_pending.emplace_back(command, channel);
        }
    }

    void RunPending() {
        for (const auto& [command, channel] : m_pending) {
            Run(command, channel);
        }
        m_pending.clear();
    }

    void Run(const std::string& command, int channel) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const std::string value = std::to_string(channel);
            ::setenv("PLUGSIM_CHANNEL", value.c_str(), 1);
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        Record("command " + std::to_string(channel) + " exit " +
               std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    }

    void Record(const std::string& line) override {
        if (m_recordFile.empty()) {
            return;
        }
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now().time_since_epoch())
                .count();
        std::ofstream(m_recordFile, std::ios::app) << ms << ' ' << line << '\n';
    }

private:
    std::string m_recordFile;
    std::vector<std::pair<std::string, int>> m_pending;
};

struct TSslDeleter {
    void operator()(SSL_CTX* ctx) const noexcept { SSL_CTX_free(ctx); }
    void operator()(SSL* ssl) const noexcept { SSL_free(ssl); }
};

int Listen(const std::string& listen) {
    const std::size_t colon = listen.rfind(':');
    if (colon == std::string::npos) {
        return -1;
    }
    std::string host = listen.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[') {
        host = host.substr(1, host.size() - 2);
    }
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), listen.substr(colon + 1).c_str(), &hints, &found) != 0) {
        return -1;
    }
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool ok =
        fd >= 0 && ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, 16) == 0;
    ::freeaddrinfo(found);
    if (!ok && fd >= 0) {
        ::close(fd);
    }
    return ok ? fd : -1;
}

// One connection, plain or TLS.
class TConnection {
public:
    TConnection(int fd, SSL_CTX* tls) : m_fd(fd) {
        const timeval limit{kIoTimeoutS, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (tls != nullptr) {
            m_ssl.reset(SSL_new(tls));
            SSL_set_fd(m_ssl.get(), fd);
            m_ok = SSL_accept(m_ssl.get()) == 1;
        }
    }
    ~TConnection() {
        if (m_ssl && m_ok) {
            SSL_shutdown(m_ssl.get());
        }
        m_ssl.reset();
        ::close(m_fd);
    }
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    bool Ok() const { return m_ok; }
    long Read(char* buffer, int size) {
        if (m_ssl) {
            return SSL_read(m_ssl.get(), buffer, size);
        }
        ssize_t got;
        do {
            got = ::recv(m_fd, buffer, static_cast<std::size_t>(size), 0);
        } while (got < 0 && errno == EINTR && g_stop == 0);
        return got;
    }
    void Write(const std::string& text) {
        if (m_ssl) {
            SSL_write(m_ssl.get(), text.data(), static_cast<int>(text.size()));
            return;
        }
        for (std::size_t sent = 0; sent < text.size();) {
            const ssize_t n = ::send(m_fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0 && errno != EINTR) {
                return;
            }
            sent += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    }

private:
    int m_fd;
    std::unique_ptr<SSL, TSslDeleter> m_ssl;
    bool m_ok = true;
};

void Serve(TConnection& connection, TPlugDevice& device) {
    std::string buffer;
    THttpRequest request;
    char chunk[4096];
    for (;;) {
        const TParse parsed = ParseHttpRequest(buffer, request);
        if (parsed == TParse::Bad) {
            THttpResponse bad;
            bad.Status = 400;
            bad.Body = "Bad Request";
            connection.Write(FormatResponse(bad));
            return;
        }
        if (parsed == TParse::Complete) {
            break;
        }
        const long got = connection.Read(chunk, sizeof chunk);
        if (got <= 0) {
            return;
        }
        buffer.append(chunk, static_cast<std::size_t>(got));
    }
    const THttpResponse response = device.Handle(request, TClock::now());
    connection.Write(FormatResponse(response));
}

} // namespace

int RunPlugServer(const TServerOptions& options) {
    InstallSignals();
    std::unique_ptr<SSL_CTX, TSslDeleter> tls;
    if (!options.TlsCert.empty()) {
        tls.reset(SSL_CTX_new(TLS_server_method()));
        if (!tls || SSL_CTX_use_certificate_chain_file(tls.get(), options.TlsCert.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(tls.get(), options.TlsKey.c_str(), SSL_FILETYPE_PEM) != 1) {
            std::fprintf(stderr, "pingvard-plugsim: cannot load the certificate or key\n");
            return 1;
        }
    }
    const int listener = Listen(options.Listen);
    if (listener < 0) {
        std::fprintf(stderr, "pingvard-plugsim: cannot listen on %s: %s\n", options.Listen.c_str(),
                     std::strerror(errno));
        return 1;
    }
    TWorld world(options.RecordFile);
    TAuthenticator auth(options.Auth);
    TPlugDevice device(options.Device, auth, world);
    world.Record("listening " + options.Listen);
    while (g_stop == 0) {
        device.Advance(TClock::now());
        world.RunPending();
        int waitMs = kMaxWaitMs;
        if (const auto due = device.NextDue()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*due - TClock::now()).count();
            waitMs = static_cast<int>(std::clamp<long>(left + 1, 0, kMaxWaitMs));
        }
        pollfd fd{listener, POLLIN, 0};
        if (::poll(&fd, 1, waitMs) <= 0) {
            continue;
        }
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        {
            TConnection connection(client, tls.get());
            if (connection.Ok()) {
                Serve(connection, device);
            } else {
                world.Record("tls handshake failed");
            }
        } // closed before the commands run
        world.RunPending();
    }
    world.Record("stopped");
    ::close(listener);
    return 0;
}

} // namespace pingvard::plugsim
