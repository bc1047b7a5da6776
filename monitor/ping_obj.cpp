// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/ping_obj.h"

#include <cfenv>
#include <cmath>

namespace pingvard {

namespace {

void SetLabel(TTextLabel* label, const std::string& text) {
    if (label != nullptr) {
        label->SetText(text);
    }
}

} // namespace

int64_t RoundHalfEven(long double value) noexcept {
    // nearbyint follows the current rounding mode, which nothing in this program
    // changes from round-to-nearest-even.
    return static_cast<int64_t>(std::nearbyint(value));
}

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
        SetLabel(PingLabel, "-");
        ++Failures;
        if (Rule != nullptr && DoReset && Failures >= Rule->MaxTimeouts()) {
            Rule->EvaluateRestartRule();
        }
    } else {
        ++Received;
        Average = NextAverage(Average, Received, ms);
        SetLabel(AverageLabel, std::to_string(RoundHalfEven(Average)) + "ms");
        SetLabel(PingLabel, std::to_string(ms) + "ms");
        Failures = 0;
    }
    SetLabel(LossLabel, std::to_string(LossPercent(Lost, Received)) + "%");
}

} // namespace pingvard
