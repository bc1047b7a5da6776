// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/exit_signals.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pingvard {

namespace {

// A signal handler can reach nothing but a global; it is set while an
// instance exists and only ever read by the handler.
volatile sig_atomic_t g_signalPipe = -1;
volatile sig_atomic_t g_exitRequested = 0;

constexpr char kExitByte = 1;
constexpr char kRestartByte = 2;

void OnExitSignal(int signal) {
    const int savedErrno = errno;
    const char byte = signal == SIGUSR1 ? kRestartByte : kExitByte;
    if (byte == kExitByte) {
        g_exitRequested = 1;
    }
    // A full pipe already holds a wake-up; nothing more to do.
    [[maybe_unused]] const ssize_t written = write(g_signalPipe, &byte, 1);
    errno = savedErrno;
}

void SetFlags(int fd) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

TExitSignals::TExitSignals(std::function<void()> onSignal, std::function<void()> onRestart,
                           QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)), m_onRestart(std::move(onRestart)) {
    int fds[2];
    if (pipe(fds) != 0) {
        return; // the default handlers stay: the program still ends on a signal
    }
    m_readFd = fds[0];
    m_writeFd = fds[1];
    SetFlags(m_readFd);
    SetFlags(m_writeFd);
    g_signalPipe = m_writeFd;
    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { Drain(); });

    struct sigaction action {};
    action.sa_handler = OnExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_previousInt);
    sigaction(SIGTERM, &action, &m_previousTerm);
    sigaction(SIGHUP, &action, &m_previousHup);
    if (m_onRestart) {
        sigaction(SIGUSR1, &action, &m_previousUsr1);
    }
}

TExitSignals::~TExitSignals() {
    if (m_readFd < 0) {
        return;
    }
    sigaction(SIGINT, &m_previousInt, nullptr);
    sigaction(SIGTERM, &m_previousTerm, nullptr);
    sigaction(SIGHUP, &m_previousHup, nullptr);
    if (m_onRestart) {
        sigaction(SIGUSR1, &m_previousUsr1, nullptr);
    }
    g_signalPipe = -1;
    delete m_notifier;
    // Don't retry close on EINTR: the descriptor may already be reused.
    close(m_readFd);
    close(m_writeFd);
}

bool TExitSignals::ExitRequested() noexcept {
    return g_exitRequested != 0;
}

void TExitSignals::Drain() {
    char buffer[64];
    ssize_t got = 0;
    bool exit = false;
    bool restart = false;
    do {
        got = read(m_readFd, buffer, sizeof buffer);
        for (ssize_t i = 0; i < got; ++i) {
            (buffer[i] == kRestartByte ? restart : exit) = true;
        }
    } while (got > 0 || (got < 0 && errno == EINTR));
    if (exit) {
        if (m_onSignal) {
            m_onSignal();
        }
    } else if (restart && m_onRestart) {
        m_onRestart();
    }
}

} // namespace pingvard
