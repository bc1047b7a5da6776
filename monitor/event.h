// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pingvard {

// A waitable flag shared between threads. A manual-reset event stays signalled
// until Reset(); an auto-reset event is taken (cleared) by the one wait that
// succeeds, which makes it usable as a single token.
class TEvent {
public:
    TEvent(bool manualReset, bool initialState);
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void Set();
    void Reset();
    // True when the event was signalled within ms milliseconds (an auto-reset
    // event is then taken). ms = 0 only tests; ms < 0 waits without limit.
    bool WaitFor(int32_t ms);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const bool m_manualReset;
    bool m_signalled;
};

} // namespace pingvard
