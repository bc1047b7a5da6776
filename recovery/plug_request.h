// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recovery/action_kinds.h"

#include <string>

namespace pingvard {

// The one request an http action sends. A plug preset schedules the whole
// power cycle on the plug (its own timer turns the power back on), because the
// plug may be reachable only through the device it switches off: a second
// request would never arrive.
struct TPlugRequest {
    std::string Method;
    std::string Url; // may hold the password where the device wants it there
    std::string Body;
    std::string ContentType;
    std::string User;
    THttpAuth Auth = THttpAuth::None;
    int32_t ExpectStatus = 200;
    bool PowerCycle = false; // a preset: outcome texts say "power cycle"
};

// Builds the request; an empty Url means the settings are incomplete and
// Problem says why.
struct TPlugRequestResult {
    TPlugRequest Request;
    std::string Problem;
};
TPlugRequestResult BuildPlugRequest(const THttpSettings& settings);

} // namespace pingvard
