// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Settings of the desktop program alone, in a section of their own that the
// start-up load never writes:
//
//   [Desktop]
//   Language=en   ; cs or en; absent or empty: the user's locale decides
//
// The desktop program reads them before it builds its window (the captions
// are made in the window's constructor), so they are also readable on their
// own, without the start-up load.

#include "config/ini_file.h"

#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

// How messages elsewhere (the help texts) name the language setting.
inline constexpr std::string_view kLanguageSection = "[Desktop]";
inline constexpr std::string_view kLanguageKey = "Language";

struct TDesktopSettings {
    std::string Language; // "cs", "en", or empty for the locale
};

// An invalid value gives one line in `problems` and the default.
TDesktopSettings ReadDesktopSettings(TCustomIniFile& ini, std::vector<std::string>& problems);

} // namespace pingvard
