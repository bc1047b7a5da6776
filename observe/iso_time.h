// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace pingvard {

// Local time of a wall-clock instant (milliseconds since 1970): ISO 8601 with
// the UTC offset ("2026-12-07T13:05:09+01:00") for scripts, or
// "2026-12-07 13:05:09" for people.
std::string FormatLocalTime(int64_t unixMs, bool iso);

} // namespace pingvard
