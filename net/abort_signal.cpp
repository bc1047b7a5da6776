// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/abort_signal.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pingvard {
namespace {

void MakeNonBlockingCloexec(int fd) noexcept {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

} // namespace

TAbortSignal::TAbortSignal() noexcept {
    int fds[2];
    if (::pipe(fds) == 0) {
        m_readFd = fds[0];
        m_writeFd = fds[1];
        MakeNonBlockingCloexec(m_readFd);
        MakeNonBlockingCloexec(m_writeFd);
    }
}

TAbortSignal::~TAbortSignal() {
    // Don't retry close on EINTR: the descriptor may already be reused.
    if (m_readFd >= 0) {
        ::close(m_readFd);
    }
    if (m_writeFd >= 0) {
        ::close(m_writeFd);
    }
}

void TAbortSignal::Raise() noexcept {
    m_raised.store(true, std::memory_order_release);
    if (m_writeFd >= 0) {
        const char byte = 1;
        ssize_t written;
        do {
            written = ::write(m_writeFd, &byte, 1);
        } while (written < 0 && errno == EINTR);
        // EAGAIN means the pipe is already full, hence already readable.
    }
}

bool TAbortSignal::Raised() const noexcept {
    return m_raised.load(std::memory_order_acquire);
}

void TAbortSignal::Clear() noexcept {
    m_raised.store(false, std::memory_order_release);
    if (m_readFd >= 0) {
        char buffer[64];
        ssize_t got;
        do {
            got = ::read(m_readFd, buffer, sizeof buffer);
        } while (got > 0 || (got < 0 && errno == EINTR));
    }
}

} // namespace pingvard
