// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's HTTP listeners, one per address and port: whatever sections
// name the same Address and Port (metrics, a status page) share one socket
// and one thread. Each use adds its routes before Start.
//
//     THttpListeners listeners;
//     AddMetricsRoute(listeners.Routes("127.0.0.1", 9770, "Metrics"), registry);
//     listeners.Start(report);   // "Metrics not served: cannot listen on ..."
//     ...
//     listeners.Stop();

#include "web/http_server.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pingvard {

class THttpListeners {
public:
    // The routes of the listener on address:port; `what` names the use in a
    // failure line ("Metrics").
    THttpRoutes& Routes(const std::string& address, uint16_t port, const std::string& what);
    // Starts every listener; one line through report for each that cannot
    // listen: "Metrics not served: cannot listen on 127.0.0.1:9770 (...)".
    void Start(const std::function<void(const std::string&)>& report);
    void Stop() noexcept;
    // The port a listener took (the free one for port 0); 0 when not listening.
    uint16_t Port(const std::string& address, uint16_t port) const;

private:
    struct TListener {
        std::string Address;
        uint16_t Port = 0;
        std::vector<std::string> Uses;
        THttpRoutes Routes;
        std::unique_ptr<THttpServer> Server;
    };
    std::size_t Find(const std::string& address, uint16_t port) const; // size() when none

    std::deque<TListener> m_listeners; // Routes() references stay valid
};

} // namespace pingvard
