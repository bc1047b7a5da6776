#include "observe/metrics_server.h"

#include <prometheus/exposer.h>

namespace pingvard {

TMetricsServer::TMetricsServer() = default;
TMetricsServer::~TMetricsServer() {
    Stop();
}

bool TMetricsServer::Start(const std::string& address, uint16_t port,
                           const TMetricsRegistry& registry, std::string& error) {
    Stop();
    const bool v6 = address.find(':') != std::string::npos;
    const std::string where = (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
    try {
        // One worker thread: a scrape every few seconds needs no more.
        m_exposer = std::make_unique<prometheus::Exposer>(where, 1);
    } catch (const std::exception& e) {
        error = "Metrics not served: cannot listen on " + where + " (" + e.what() + ")";
        return false;
    }
    m_registry = registry.Registry();
    m_exposer->RegisterCollectable(m_registry);
    return true;
}

void TMetricsServer::Stop() noexcept {
    m_exposer.reset(); // joins the listener's threads
    m_registry.reset();
}

uint16_t TMetricsServer::Port() const {
    if (!m_exposer) {
        return 0;
    }
    const std::vector<int> ports = m_exposer->GetListeningPorts();
    return ports.empty() ? 0 : static_cast<uint16_t>(ports.front());
}

} // namespace pingvard
