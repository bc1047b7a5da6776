// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/event.h"

#include <chrono>

namespace pingvard {

TEvent::TEvent(bool manualReset, bool initialState)
    : m_manualReset(manualReset), m_signalled(initialState) {}

void TEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
    }
    // An auto-reset event releases one waiter only; the others keep waiting.
    if (m_manualReset) {
        m_changed.notify_all();
    } else {
        m_changed.notify_one();
    }
}

void TEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_signalled = false;
}

bool TEvent::WaitFor(int32_t ms) {
    std::unique_lock lock(m_mutex);
    const auto signalled = [this] { return m_signalled; };
    if (ms < 0) {
        m_changed.wait(lock, signalled);
    } else if (!m_changed.wait_for(lock, std::chrono::milliseconds(ms), signalled)) {
        return false;
    }
    if (!m_manualReset) {
        m_signalled = false;
    }
    return true;
}

} // namespace pingvard
