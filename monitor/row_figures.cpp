// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/row_figures.h"

#include <cmath>

namespace pingvard {
namespace {

constexpr const char* kUnknown = "-";

template <typename T> std::string Text(const std::optional<T>& figure, const char* unit) {
    return figure ? std::to_string(*figure) + unit : kUnknown;
}

} // namespace

int64_t RoundHalfEven(long double value) noexcept {
    // nearbyint follows the current rounding mode, which nothing in this program
    // changes from round-to-nearest-even.
    return static_cast<int64_t>(std::nearbyint(value));
}

TRowTexts RowTexts(const TRowFigures& figures) {
    std::optional<int64_t> average;
    if (figures.AverageMs) {
        average = RoundHalfEven(*figures.AverageMs);
    }
    return {Text(figures.LastMs, "ms"), Text(average, "ms"), Text(figures.LossPercent, "%")};
}

} // namespace pingvard
