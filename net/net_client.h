// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace pingvard {

// Settings shared by the network clients; owners set them directly before use.
class TNetClient {
public:
    std::string RemoteHost = "127.0.0.1";
    std::string RemotePort = "0";
    std::string BindAddress = "0.0.0.0";
    int32_t Timeout = 5000; // ms, length of each wait for data
};

} // namespace pingvard
