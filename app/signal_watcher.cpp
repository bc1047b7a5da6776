// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/signal_watcher.h"

#include <pthread.h>
#include <stdexcept>
#include <system_error>

namespace pingvard {

TSignalWatcher::TSignalWatcher(std::initializer_list<int> signals,
                               std::function<void(int)> onSignal)
    : m_onSignal(std::move(onSignal)) {
    if (signals.size() == 0)
        throw std::invalid_argument("TSignalWatcher needs at least one signal");
    sigemptyset(&m_signals);
    for (int signal : signals)
        sigaddset(&m_signals, signal);
    m_wakeSignal = *signals.begin();
    if (const int err = pthread_sigmask(SIG_BLOCK, &m_signals, &m_previousMask); err != 0)
        throw std::system_error(err, std::generic_category(), "pthread_sigmask");
    m_thread = std::thread([this] { Watch(); });
}

TSignalWatcher::~TSignalWatcher() {
    m_stopping = true;
    // Directed at the watcher thread, where the signal is blocked: it stays
    // pending there until sigwait takes it, so the wake-up cannot be lost.
    pthread_kill(m_thread.native_handle(), m_wakeSignal);
    m_thread.join();
    DropPending();
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

void TSignalWatcher::Watch() {
    while (!m_stopping) {
        int signal = 0;
        if (sigwait(&m_signals, &signal) != 0 || m_stopping)
            continue;
        int none = 0;
        m_first.compare_exchange_strong(none, signal);
        m_onSignal(signal);
    }
}

// A signal that arrived after the watcher stopped would otherwise be
// delivered, with its default action, as soon as the mask is restored.
void TSignalWatcher::DropPending() {
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0)
        return;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&m_signals, signal) == 1 && sigismember(&pending, signal) == 1) {
            sigset_t one;
            sigemptyset(&one);
            sigaddset(&one, signal);
            int taken = 0;
            sigwait(&one, &taken);
        }
    }
}

} // namespace pingvard
