// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pingvard {

// What one row of the main window shows, as figures: the core hands these to
// the front ends, which all turn them into texts with RowTexts, so the window
// and the console read alike. A figure not known yet is an empty optional.
struct TRowFigures {
    std::optional<int32_t> LastMs;      // the last echo's round trip; empty: lost, or none yet
    std::optional<double> AverageMs;    // running mean of the answered echoes
    std::optional<int64_t> LossPercent; // of every report so far, in whole percent
    int32_t Failures = 0;               // consecutive
    bool operator==(const TRowFigures&) const = default;
};

// The texts of a row's figure columns, in the order they stand.
struct TRowTexts {
    std::string Ping, Average, Loss;
    bool operator==(const TRowTexts&) const = default;
};

// "37ms", "37ms", "0%"; "-" for a figure not known.
TRowTexts RowTexts(const TRowFigures& figures);

// Round to the nearest integer, halves to the even neighbour (the FPU default).
int64_t RoundHalfEven(long double value) noexcept;

} // namespace pingvard
