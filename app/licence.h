// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pingvard {

// The lines after the version that every program of the package prints for
// --version, as GNU programs do.
inline constexpr const char* kLicenceText =
    "Copyright (C) 2026 Pingvard maintainers\n"
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

} // namespace pingvard
