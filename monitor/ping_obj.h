// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/front_end.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pingvard {

// The side of the host monitor that a slot's statistics call when one of them
// may have armed the restart.
class TRestartRule {
public:
    virtual ~TRestartRule() = default;
    virtual int32_t MaxTimeouts() const = 0;
    // A marked slot has just reached MaxTimeouts consecutive failures: check every
    // marked slot, start a reset session when the rule holds, zero the counters.
    virtual void EvaluateRestartRule() = 0;
};

// Statistics of one watched host; GUI thread only.
class TPingObj {
public:
    TMonitorFrontEnd* FrontEnd = nullptr; // shows the row's figures; none: only kept
    uint32_t Received = 0;
    uint32_t Lost = 0;
    double Average = 0;
    std::optional<int32_t> LastMs; // the last report's round trip; empty: lost, or none yet
    int32_t Index = 0;
    int32_t Failures = 0; // consecutive, since the last success or restart trigger
    std::string IP;
    std::string DisplayName;
    bool DoReset = true;
    TRestartRule* Rule = nullptr; // none: failures never arm a restart

    // Applies one ping result: a round-trip time in ms, or -1 for a failed echo.
    // Any negative value counts as a failure, so a stray value can never be
    // averaged in. The front end is then shown the row's figures.
    void UpdateResult(int32_t ms);
    TRowFigures Figures() const;
};

// Running mean after the received-th value, in extended precision.
double NextAverage(double average, uint32_t received, int32_t ms) noexcept;
// Loss in whole percent: round(lost / (lost + received) * 100); 0 with no results.
int64_t LossPercent(uint32_t lost, uint32_t received) noexcept;

} // namespace pingvard
