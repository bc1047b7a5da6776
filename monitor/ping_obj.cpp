// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/ping_obj.h"

namespace pingvard {

double NextAverage(double average, uint32_t received, int32_t ms) noexcept {
    const long double count = received;
    return static_cast<double>(((count - 1) * average + ms) / count);
}

int64_t LossPercent(uint32_t lost, uint32_t received) noexcept {
    const uint64_t total = uint64_t{lost} + received;
    if (total == 0) {
        return 0;
    }
    return RoundHalfEven(static_cast<long double>(lost) / total * 100);
}

void TPingObj::UpdateResult(int32_t ms) {
    if (ms < 0) {
        ++Lost;
        LastMs.reset();
        ++Failures;
        if (Rule != nullptr && DoReset && Failures >= Rule->MaxTimeouts()) {
            Rule->EvaluateRestartRule();
        }
    } else {
        ++Received;
        Average = NextAverage(Average, Received, ms);
        LastMs = ms;
        Failures = 0;
    }
    if (FrontEnd != nullptr) {
        FrontEnd->ShowFigures(Index, Figures());
    }
}

TRowFigures TPingObj::Figures() const {
    TRowFigures figures;
    figures.LastMs = LastMs;
    if (Received > 0) {
        figures.AverageMs = Average;
    }
    if (Lost > 0 || Received > 0) {
        figures.LossPercent = LossPercent(Lost, Received);
    }
    figures.Failures = Failures;
    return figures;
}

} // namespace pingvard
