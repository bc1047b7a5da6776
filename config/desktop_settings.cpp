// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/desktop_settings.h"

#include "config/ini_text.h"
#include "config/section_reader.h"

namespace pingvard {

TDesktopSettings ReadDesktopSettings(TCustomIniFile& ini, std::vector<std::string>& problems) {
    TSettingsReader file(ini.Index(), problems);
    TSectionReader r = file.Section("Desktop");
    TDesktopSettings settings;
    const std::string language = Lower(r.Text("Language"));
    if (language == "cs" || language == "en" || language.empty()) {
        settings.Language = language;
    } else {
        r.Problem("Language", language, "neither cs nor en; using the locale's language");
    }
    return settings;
}

} // namespace pingvard
