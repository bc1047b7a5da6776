// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The status page: a section of pingvard.ini of its own, opt-in, read as a
// plain value like [Metrics] (config/observe_settings.h). An absent key takes
// its default; an invalid value gives one line and its default.
//
//   [Web]
//   Enabled=0              ; opt-in: 1 serves the page, its API and /metrics
//   Address=127.0.0.1      ; a numeric IPv4 or IPv6 address
//   Port=9770              ; the same Address and Port as [Metrics] share one listener
//   AllInterfaces=0        ; must be 1 for Address=0.0.0.0 or ::
//   Token=                 ; or TokenFile=; without one the page only shows
//   TokenFile=             ; its first line (chmod 600), in the program directory or absolute

#include "config/ini_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pingvard {

// A token shorter than this is guessable over a LAN: refused, read-only.
inline constexpr std::size_t kMinWebTokenLength = 16;

struct TWebSettings {
    bool Enabled = false;
    std::string Address = "127.0.0.1";
    int32_t Port = 9770;
    bool AllInterfaces = false;
    // What a POST must carry as "Authorization: Bearer ..."; empty: the page
    // is read-only. Never in a problem line.
    std::string Token;
};

// programDir ends in a separator, as GetProgramDir() gives it.
TWebSettings ReadWebSettings(TCustomIniFile& ini, const std::string& programDir,
                             std::vector<std::string>& problems);

} // namespace pingvard
