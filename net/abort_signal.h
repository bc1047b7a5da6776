// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace pingvard {

// A sticky, thread-safe stop request that a poll() can wait on: Raise() sets a
// flag and makes WaitFd() readable (self-pipe), so a wait in progress wakes at
// once and every later wait sees the flag before it starts.
class TAbortSignal {
public:
    TAbortSignal() noexcept;
    ~TAbortSignal();
    TAbortSignal(const TAbortSignal&) = delete;
    TAbortSignal& operator=(const TAbortSignal&) = delete;

    void Raise() noexcept;                           // any thread
    bool Raised() const noexcept;                    // any thread
    void Clear() noexcept;                           // owner thread, while no wait runs
    int WaitFd() const noexcept { return m_readFd; } // -1 when no pipe could be made

private:
    std::atomic<bool> m_raised{false};
    int m_readFd = -1;
    int m_writeFd = -1;
};

} // namespace pingvard
