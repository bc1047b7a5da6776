// SPDX-License-Identifier: GPL-3.0-or-later
// The entry point of pingvard-notify.so, which brings libcurl with its TLS
// and protocol libraries (observe/notify/transport_module.h).
#include "observe/notify/curl_transport.h"
#include "observe/notify/transport_module.h"

extern "C" __attribute__((visibility("default"))) pingvard::TNotifyTransport*
pingvard_notify_create(uint32_t abi) {
    if (abi != pingvard::kNotifyModuleAbi) {
        return nullptr;
    }
    try {
        // The program takes ownership at once (MakeModuleTransport).
        return pingvard::MakeCurlTransport().release();
    } catch (...) { // out of memory: the program says the module failed
        return nullptr;
    }
}
