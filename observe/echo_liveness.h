// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A health check for the service watchdog built from the monitor's own
// events: it passes while every slot's echo reports keep reaching the event
// hub. A hung worker, a stuck hand-off or a blocked GUI thread all stop the
// reports, so the watchdog starves and systemd restarts the program.

#include "events/monitor_event.h"
#include "net/tick_clock.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace pingvard {

class TEchoLiveness final : public TEventSink {
public:
    // staleMs: the longest a slot may go without a report, e.g.
    // 2 * (PingInterval + the largest echo Timeout) + a few seconds.
    explicit TEchoLiveness(uint32_t staleMs, const TTickClock& clock = SystemTickClock());

    void Publish(const TMonitorEvent& event) noexcept override;
    // Any thread. Slots count from construction, so one that never reports fails too.
    bool Healthy() const noexcept;
    void SetStaleMs(uint32_t staleMs) noexcept { m_staleMs = staleMs; } // settings changed

private:
    const TTickClock& m_clock;
    std::atomic<uint32_t> m_staleMs;
    std::array<std::atomic<uint32_t>, 4> m_lastReport;
};

} // namespace pingvard
