// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pingvard {

// The watched hosts: slots 0 to 3 in the program, Host1 to Host4 in
// pingvard.ini, the rows of the window and of the console, the tabs of the
// settings dialog.
inline constexpr int kSlotCount = 4;

} // namespace pingvard
