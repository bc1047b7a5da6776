// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace pingvard::apsim {
namespace {

// A signal handler can reach nothing else: the one process-wide value.
volatile sig_atomic_t g_stopWriteFd = -1;

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(g_stopWriteFd, &byte, 1);
    errno = saved;
}

} // namespace

TStopSignal::TStopSignal() {
    int fds[2];
    if (pipe(fds) == 0) {
        m_readFd = fds[0];
        m_writeFd = fds[1];
        for (int fd : fds) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, O_NONBLOCK);
        }
    }
    g_stopWriteFd = m_writeFd;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

TStopSignal::~TStopSignal() {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    g_stopWriteFd = -1;
    close(m_readFd);
    close(m_writeFd);
}

bool TStopSignal::Requested() const {
    pollfd fd{m_readFd, POLLIN, 0};
    return poll(&fd, 1, 0) > 0;
}

} // namespace pingvard::apsim
