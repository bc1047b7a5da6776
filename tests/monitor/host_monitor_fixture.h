// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "apsim_process.h"
#include "fake_front_end.h"
#include "monitor/gui_dispatcher.h"
#include "monitor/host_monitor.h"
#include "tests/config/temp_dir.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace pingvard::test {

// pingvard.ini for loopback: slots 1-3 marked, slot 4 not; the default script.
inline std::string LoopbackIni(int32_t maxTimeouts, int32_t pingInterval,
                               const std::string& marked = "1110") {
    std::string ini = "[Constants]\r\nMaxTimeouts=" + std::to_string(maxTimeouts) +
                      "\r\nPingInterval=" + std::to_string(pingInterval) +
                      "\r\n[ResetHost]\r\nHostname=127.0.0.1\r\n";
    for (int slot = 0; slot < 4; ++slot) {
        const std::string n = std::to_string(slot + 1);
        ini += "[Host" + n + "]\r\nDisplayName=Loop " + n + "\r\nHostname=127.0.0." + n +
               "\r\nTimeout=1000\r\nTimeoutDoReset=" + marked.substr(std::size_t(slot), 1) + "\r\n";
    }
    return ini;
}

class THostMonitorFixture : public ::testing::Test {
protected:
    // Test seams: no ICMP probe and no real echo unless a test asks for them.
    TMonitorOptions Options(const std::string& resetPort) {
        TMonitorOptions options;
        options.ResetPort = resetPort;
        options.IcmpProbe = [] { return std::string(); };
        options.Pinger = [](const std::string&, int32_t) { return -1; };
        return options;
    }

    void Start(const std::string& ini, TMonitorOptions options) {
        Dir.Write("pingvard.ini", ini);
        Monitor = std::make_unique<THostMonitor>(Fe, Dispatcher, std::move(options));
        Monitor->Start();
    }

    // Serves hand-offs until done() holds; false after timeoutMs.
    bool ServeUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            Dispatcher.RunOnce(10);
        }
        return true;
    }

    // Exit command then shutdown, including the joins of the destructor; ms.
    long long ShutDown() {
        const auto start = std::chrono::steady_clock::now();
        Monitor->Shutdown();
        Monitor.reset();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    void TearDown() override { Monitor.reset(); }

    TRefusedPort RefusedPort; // the reset host's port: connects are refused
    TTempCurrentDir Dir;
    TFakeFrontEnd Fe;
    TLoopDispatcher Dispatcher;
    std::unique_ptr<THostMonitor> Monitor;
};

} // namespace pingvard::test
