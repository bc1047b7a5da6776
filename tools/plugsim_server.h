// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/plugsim_auth.h"
#include "tools/plugsim_device.h"

#include <string>

namespace pingvard::plugsim {

struct TServerOptions {
    std::string Listen = "0.0.0.0:80"; // ADDRESS:PORT, [IPv6]:PORT
    std::string TlsCert;               // PEM; with TlsKey: HTTPS only
    std::string TlsKey;
    std::string RecordFile; // one line per request and per switch; empty = none
    TDeviceOptions Device;
    TAuthConfig Auth;
};

// Serves requests one after another until SIGTERM or SIGINT; returns the exit status.
int RunPlugServer(const TServerOptions& options);

} // namespace pingvard::plugsim
