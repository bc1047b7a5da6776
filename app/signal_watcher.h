// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <csignal>
#include <functional>
#include <initializer_list>
#include <thread>

namespace pingvard {

// Receives termination signals on a thread of its own, so that the handler may
// do what a signal handler may not (lock, allocate, wake another thread).
//
// The constructor blocks the signals in the calling thread; construct it
// before starting any other thread, so that every later thread inherits the
// block and the signals can only be taken by this watcher. The destructor
// stops and joins the watcher thread, drops signals still pending, and
// restores the calling thread's mask.
class TSignalWatcher {
public:
    TSignalWatcher(std::initializer_list<int> signals, std::function<void(int)> onSignal);
    ~TSignalWatcher();
    TSignalWatcher(const TSignalWatcher&) = delete;
    TSignalWatcher& operator=(const TSignalWatcher&) = delete;

    // The first signal received, 0 while none.
    int FirstSignal() const noexcept { return m_first.load(); }

private:
    void Watch();
    void DropPending();

    sigset_t m_signals{};
    sigset_t m_previousMask{};
    std::function<void(int)> m_onSignal;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_first{0};
    int m_wakeSignal = 0;
    std::thread m_thread;
};

} // namespace pingvard
