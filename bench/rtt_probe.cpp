// SPDX-License-Identifier: GPL-3.0-or-later
// Pings one host with the program's own echo client and prints each
// RoundTripMs, so its figures can be set beside iputils ping and fping.
//
//   rtt_probe [--count N] [--interval MS] [--timeout MS] [--bind ADDR] HOST
//
// One line per echo: the round-trip time in ms, or "-" for a lost echo.

#include "net/echo/ping_client.h"
#include "net/socket_library.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace pingvard {
namespace {

struct TProbeOptions {
    int Count = 100;
    int IntervalMs = 200;
    int TimeoutMs = 1000;
    std::string Bind = "0.0.0.0";
    std::string Host;
};

bool ParseArguments(int argc, char** argv, TProbeOptions& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--count" && hasValue)
            o.Count = std::stoi(argv[++i]);
        else if (arg == "--interval" && hasValue)
            o.IntervalMs = std::stoi(argv[++i]);
        else if (arg == "--timeout" && hasValue)
            o.TimeoutMs = std::stoi(argv[++i]);
        else if (arg == "--bind" && hasValue)
            o.Bind = argv[++i];
        else if (o.Host.empty() && arg[0] != '-')
            o.Host = arg;
        else
            return false;
    }
    return !o.Host.empty();
}

} // namespace
} // namespace pingvard

int main(int argc, char** argv) {
    using namespace pingvard;
    TProbeOptions options;
    if (!ParseArguments(argc, argv, options)) {
        std::fputs(
            "usage: rtt_probe [--count N] [--interval MS] [--timeout MS] [--bind ADDR] HOST\n",
            stderr);
        return 2;
    }
    if (const std::string reason = TPingClient::ProbeIcmpAccess(); !reason.empty()) {
        std::fprintf(stderr, "rtt_probe: %s\n", reason.c_str());
        return 1;
    }
    TSocketLibrary library;
    TPingClient client;
    client.Timeout = options.TimeoutMs;
    client.BindAddress = options.Bind;
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < options.Count; ++i) {
        if (client.Ping(options.Host))
            std::printf("%d\n", client.RoundTripMs);
        else
            std::puts("-");
        std::fflush(stdout);
        next += std::chrono::milliseconds(options.IntervalMs);
        std::this_thread::sleep_until(next);
    }
    return 0;
}
