// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/http_listeners.h"

#include <algorithm>

namespace pingvard {

std::size_t THttpListeners::Find(const std::string& address, uint16_t port) const {
    const auto found = std::find_if(m_listeners.begin(), m_listeners.end(), [&](const auto& l) {
        return l.Address == address && l.Port == port;
    });
    return static_cast<std::size_t>(found - m_listeners.begin());
}

THttpRoutes& THttpListeners::Routes(const std::string& address, uint16_t port,
                                    const std::string& what) {
    const std::size_t i = Find(address, port);
    if (i == m_listeners.size()) {
        m_listeners.push_back({address, port, {}, {}, nullptr});
    }
    m_listeners[i].Uses.push_back(what);
    return m_listeners[i].Routes;
}

void THttpListeners::Start(const std::function<void(const std::string&)>& report) {
    for (TListener& listener : m_listeners) {
        listener.Server = std::make_unique<THttpServer>(listener.Routes);
        std::string error;
        if (listener.Server->Start(listener.Address, listener.Port, error)) {
            continue;
        }
        listener.Server.reset();
        std::string uses;
        for (const std::string& use : listener.Uses) {
            uses += (uses.empty() ? "" : " and ") + use;
        }
        if (report) {
            report(uses + " not served: " + error);
        }
    }
}

void THttpListeners::Stop() noexcept {
    for (TListener& listener : m_listeners) {
        if (listener.Server) {
            listener.Server->Stop();
        }
    }
}

uint16_t THttpListeners::Port(const std::string& address, uint16_t port) const {
    const std::size_t i = Find(address, port);
    return i < m_listeners.size() && m_listeners[i].Server ? m_listeners[i].Server->Port() : 0;
}

} // namespace pingvard
