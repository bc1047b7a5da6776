// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/desktop_settings.h"

#include <algorithm>
#include <cctype>

namespace pingvard {

TDesktopSettings ReadDesktopSettings(TCustomIniFile& ini, std::vector<std::string>& problems) {
    TDesktopSettings settings;
    std::string language = ini.ReadText("Desktop", "Language", "");
    std::transform(language.begin(), language.end(), language.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (language == "cs" || language == "en" || language.empty()) {
        settings.Language = language;
    } else {
        problems.push_back("pingvard.ini [Desktop] Language: '" + language +
                           "' is neither cs nor en; using the locale's language");
    }
    return settings;
}

} // namespace pingvard
