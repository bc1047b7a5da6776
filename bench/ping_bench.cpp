// SPDX-License-Identifier: GPL-3.0-or-later
// Pings 127.0.0.1 a number of times (1000 by default) with TPingClient and with
// the system's ping command, and prints the median and 99th percentile of the
// round-trip time each reports and of the wall time per echo.
//
// Usage: pingvard_ping_bench [count]
// Only loopback is ever pinged.

#include "net/echo/ping_client.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kHost = "127.0.0.1";

// Nearest-rank percentile of a sorted copy.
double Percentile(std::vector<double> values, double percent) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto rank =
        static_cast<std::size_t>(percent / 100.0 * static_cast<double>(values.size()) + 0.999999);
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

struct TFigures {
    std::vector<double> RoundTripMs;
    std::vector<double> WallMs; // per echo
    int Answered = 0;
};

TFigures RunClient(int count, bool& datagram) {
    TFigures figures;
    pingvard::TPingClient client;
    client.Timeout = 1000;
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = client.Ping(kHost);
        const std::chrono::duration<double, std::milli> wall =
            std::chrono::steady_clock::now() - start;
        figures.WallMs.push_back(wall.count());
        if (ok) {
            ++figures.Answered;
            figures.RoundTripMs.push_back(client.RoundTripMs);
        }
    }
    datagram = client.IcmpSocket.IsDatagram();
    return figures;
}

// iputils ping with interval 0 (back to back), or, where that is refused to an
// unprivileged process, the shortest interval it allows (2 ms).
TFigures RunSystemPing(int count, const std::string& interval, double& totalWallMs) {
    TFigures figures;
    const std::string command =
        "ping -n -c " + std::to_string(count) + " -i " + interval + " -W 1 " + kHost + " 2>&1";
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return figures;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const char* time = std::strstr(line, "time=");
        if (time != nullptr && std::strstr(line, "bytes from") != nullptr) {
            figures.RoundTripMs.push_back(std::strtod(time + 5, nullptr));
            ++figures.Answered;
        }
    }
    ::pclose(pipe);
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
    totalWallMs = wall.count();
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const std::string reason = pingvard::TPingClient::ProbeIcmpAccess();
    if (!reason.empty()) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 1;
    }
    bool datagram = false;
    const TFigures ours = RunClient(count, datagram);
    double systemWall = 0.0;
    std::string interval = "0";
    TFigures system = RunSystemPing(count, interval, systemWall);
    if (system.Answered == 0) {
        interval = "0.002";
        system = RunSystemPing(count, interval, systemWall);
    }

    std::printf("%d echoes to %s\n\n", count, kHost);
    std::printf("%-30s %9s %9s %12s %12s %9s\n", "", "rtt p50", "rtt p99", "wall/echo p50",
                "wall/echo p99", "answered");
    std::printf("%-30s %6.3f ms %6.3f ms %9.3f ms %9.3f ms %9d\n",
                datagram ? "TPingClient (datagram socket)" : "TPingClient (raw socket)",
                Percentile(ours.RoundTripMs, 50), Percentile(ours.RoundTripMs, 99),
                Percentile(ours.WallMs, 50), Percentile(ours.WallMs, 99), ours.Answered);
    const double systemPerEcho = systemWall / count;
    const std::string label = "iputils ping -i " + interval;
    std::printf("%-30s %6.3f ms %6.3f ms %9.3f ms %12s %9d\n", label.c_str(),
                Percentile(system.RoundTripMs, 50), Percentile(system.RoundTripMs, 99),
                systemPerEcho, "(mean only)", system.Answered);
    std::printf("\nTPingClient's round trip is whole milliseconds of the 32-bit tick it carries;\n"
                "iputils reports microseconds. iputils wall time is the whole run divided by\n"
                "the echo count (it is one process), so only its mean is known; with -i 0 it\n"
                "sends the next request as soon as the previous reply is in.\n");
    return 0;
}
