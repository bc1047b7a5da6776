// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/monitor_event.h"

#include <string>
#include <vector>

namespace pingvard::test {

// Keeps every event the monitor publishes.
class TRecordingSink final : public TEventSink {
public:
    void Publish(const TMonitorEvent& event) noexcept override { Events.push_back(event); }
    // The kinds, with the slot for a host's events: "echo", "host-down 0", ...
    std::vector<std::string> Kinds(bool withEchoes = true, bool withStatus = false) const {
        std::vector<std::string> kinds;
        for (const TMonitorEvent& e : Events) {
            if ((!withEchoes && e.Kind == TMonitorEventKind::Echo) ||
                (!withStatus && e.Kind == TMonitorEventKind::StatusText)) {
                continue;
            }
            std::string kind(KindName(e.Kind));
            if (e.Kind == TMonitorEventKind::HostDown || e.Kind == TMonitorEventKind::HostUp) {
                kind += " " + std::to_string(e.Slot);
            }
            kinds.push_back(kind);
        }
        return kinds;
    }
    // The last event of a kind; null when there was none.
    const TMonitorEvent* Last(TMonitorEventKind kind) const {
        for (auto e = Events.rbegin(); e != Events.rend(); ++e) {
            if (e->Kind == kind) {
                return &*e;
            }
        }
        return nullptr;
    }
    std::vector<TMonitorEvent> Events;
};

} // namespace pingvard::test
