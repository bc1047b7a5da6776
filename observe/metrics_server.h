// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The opt-in /metrics listener. It serves the registry on a thread of its own;
// a slow or stuck scraper never reaches the monitor.

#include "observe/metrics_registry.h"

#include <cstdint>
#include <memory>
#include <string>

namespace prometheus {
class Exposer;
}

namespace pingvard {

class TMetricsServer {
public:
    TMetricsServer();
    ~TMetricsServer(); // stops listening
    TMetricsServer(const TMetricsServer&) = delete;
    TMetricsServer& operator=(const TMetricsServer&) = delete;

    // Listens on address:port (an IPv4 or IPv6 address; port 0 picks a free
    // one) and serves the registry on /metrics. False, with error set to a
    // line for the operator, when the address cannot be used.
    bool Start(const std::string& address, uint16_t port, const TMetricsRegistry& registry,
               std::string& error);
    void Stop() noexcept;  // promptly: never waits out the listener's 2 s poll
    uint16_t Port() const; // the port in use, 0 when not listening

private:
    std::unique_ptr<prometheus::Exposer> m_exposer;
    std::shared_ptr<prometheus::Registry> m_registry;
    std::string m_address;
};

} // namespace pingvard
