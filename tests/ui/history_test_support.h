// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A history database written by the real writer, for the graphs' tests.

#include "observe/history/history_store.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pingvard::test {

inline constexpr int64_t kMinuteMs = 60'000;
inline constexpr int64_t kHourMs = 60 * kMinuteMs;
// 2026-12-08 11:00 UTC: the tests' present.
inline constexpr int64_t kNowMs = 1'796'727'600'000;

inline TMonitorEvent EchoEvent(int slot, const std::string& host, const std::string& name,
                               int64_t timeMs, std::optional<int64_t> roundTripUs) {
    TMonitorEvent e;
    e.Kind = TMonitorEventKind::Echo;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(timeMs));
    e.Slot = slot;
    e.Host = host;
    e.DisplayName = name;
    e.RoundTripUs = roundTripUs;
    return e;
}

inline TMonitorEvent OutcomeEvent(int64_t timeMs, bool ok, const std::string& text) {
    TMonitorEvent e;
    e.Kind = TMonitorEventKind::ActionOutcome;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(timeMs));
    e.Action = "plug";
    e.ActionKind = "http";
    e.Ok = ok;
    e.Text = text;
    return e;
}

// Writes the events as the program would and rolls them up at kNowMs.
inline void WriteHistory(const std::string& file, const std::vector<TMonitorEvent>& events) {
    THistoryOptions options;
    options.FileName = file;
    options.NowMs = [] { return kNowMs; };
    THistoryStore store(options);
    store.Consume(events, 0);
    store.Maintain();
}

// Echoes of one host every stepMs over [fromMs, toMs); roundTripUs gives each
// one's round trip (nullopt: lost).
inline void AddEchoes(std::vector<TMonitorEvent>& events, int slot, const std::string& host,
                      const std::string& name, int64_t fromMs, int64_t toMs, int64_t stepMs,
                      const std::function<std::optional<int64_t>(int64_t)>& roundTripUs) {
    for (int64_t t = fromMs; t < toMs; t += stepMs) {
        events.push_back(EchoEvent(slot, host, name, t, roundTripUs(t)));
    }
}

} // namespace pingvard::test
