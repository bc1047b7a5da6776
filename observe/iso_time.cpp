// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/iso_time.h"

#include <ctime>

namespace pingvard {

std::string FormatLocalTime(int64_t unixMs, bool iso) {
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm tm{};
    ::localtime_r(&seconds, &tm);
    char text[40];
    const std::size_t n =
        std::strftime(text, sizeof text, iso ? "%Y-%m-%dT%H:%M:%S%z" : "%Y-%m-%d %H:%M:%S", &tm);
    if (!iso || n < 2) {
        return std::string(text, n);
    }
    // %z gives +0100; ISO 8601 wants +01:00.
    return std::string(text, n - 2) + ":" + std::string(text + n - 2, 2);
}

} // namespace pingvard
