// SPDX-License-Identifier: GPL-3.0-or-later
// Reaction of the restart rule: the host monitor gets the failure reports that
// make the rule hold, and the device's own record says when its console had
// the confirmation. The access-point simulator's record also says when it
// accepted the connection and when the last answer arrived (CLOCK_MONOTONIC,
// like the report); the console of a real telnet daemon (tools/ap_console.sh)
// stamps its confirmation with CLOCK_REALTIME, so that figure is taken on the
// wall clock for every device. The bench itself notes when "Reset OK" is
// shown. Resolution 1 ms.
//
//   reaction_bench --record FILE [--device apsim|console] [--rounds N] [--gap MS]
//
// Runs in the current directory, whose pingvard.ini must point ResetHost at
// the device and set a PingInterval long enough that no worker pings.

#include "monitor/front_end.h"
#include "monitor/gui_dispatcher.h"
#include "monitor/host_monitor.h"
#include "net/socket_library.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {
namespace {

// Whole milliseconds, truncated like the devices' records, so that equal
// moments compare equal (each figure is then good to 1 ms).
double ClockMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}
double MonotonicMs() {
    return ClockMs(CLOCK_MONOTONIC);
}
double RealMs() {
    return ClockMs(CLOCK_REALTIME);
}

class TBenchFrontEnd : public TMonitorFrontEnd {
public:
    TTextLabel& HostLabel(int slot) override { return m_hosts[slot]; }
    void ShowFigures(int, const TRowFigures&) override {}
    void SetStatusText(const std::string& text) override {
        Status = text;
        if (text.starts_with("Reset OK")) {
            ResetOkRealMs = RealMs();
        }
    }
    int TrayIconIndex() const override { return m_tray; }
    void SetTrayIconIndex(int index) override { m_tray = std::clamp(index, 0, 2); }
    void CopyTrayImageToApplicationIcon() override {}
    void ReportIcmpUnavailable(const std::string&) override {}
    void ReportProblem(const std::string&) override {}

    std::string Status;
    double ResetOkRealMs = -1;

private:
    std::array<TPlainLabel, kSlotCount> m_hosts;
    int m_tray = 0;
};

// The value of "key=" in a record line.
std::optional<double> RecordValue(const std::string& line, const std::string& key) {
    const auto at = line.find(" " + key + "=");
    if (at == std::string::npos)
        return std::nullopt;
    try {
        return std::stod(line.substr(at + key.size() + 2));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The simulator writes one line per session; the console one per event.
std::vector<std::string> ReadRecords(const std::string& file, bool console) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (!console || line.find(" event=confirmed ") != std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

struct TRoundResult {
    double ToAcceptMs = -1, ToLastAnswerMs = -1, ToConfirmedMs = -1, ToResetOkMs = -1;
    std::string Outcome;
};

struct TReport {
    double Mono = 0, Real = 0;
};

// Feeds failures until the rule holds; returns the moment of the last report.
TReport TriggerRestart(THostMonitor& monitor) {
    TReport last;
    for (int32_t n = 0; n < monitor.MaxTimeouts(); ++n) {
        for (int slot = 0; slot < 3; ++slot) {
            last = {MonotonicMs(), RealMs()};
            monitor.ReportPing(slot, -1);
        }
    }
    return last;
}

std::optional<TRoundResult> RunRound(THostMonitor& monitor, TLoopDispatcher& dispatcher,
                                     TBenchFrontEnd& frontEnd, const std::string& recordFile,
                                     bool console) {
    const size_t recordsBefore = ReadRecords(recordFile, console).size();
    frontEnd.ResetOkRealMs = -1;
    const TReport reported = TriggerRestart(monitor);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(70);
    std::vector<std::string> records;
    do {
        dispatcher.RunOnce(20);
        records = ReadRecords(recordFile, console);
    } while ((records.size() <= recordsBefore || monitor.ResetSessionRunning()) &&
             std::chrono::steady_clock::now() < deadline);
    TRoundResult result;
    if (frontEnd.ResetOkRealMs >= 0)
        result.ToResetOkMs = frontEnd.ResetOkRealMs - reported.Real;
    if (records.size() <= recordsBefore) {
        result.Outcome = "not-confirmed";
        return result;
    }
    const std::string& line = records.back();
    if (console) {
        result.ToConfirmedMs = RecordValue(line, "real_us").value_or(-1) / 1000.0 - reported.Real;
        result.Outcome = "confirmed";
        return result;
    }
    result.ToAcceptMs = RecordValue(line, "accepted_mono_ms").value_or(-1) - reported.Mono;
    result.ToLastAnswerMs = RecordValue(line, "last_answer_mono_ms").value_or(-1) - reported.Mono;
    if (const auto confirmed = RecordValue(line, "confirmed_real_ms"))
        result.ToConfirmedMs = *confirmed - reported.Real;
    const auto outcome = line.find(" outcome=");
    result.Outcome = line.substr(outcome + 9, line.find(' ', outcome + 9) - outcome - 9);
    return result;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

void PrintSummary(const char* name, const std::vector<double>& values) {
    if (values.empty())
        return;
    std::printf("%s: median %.1f ms, p95 %.1f ms, max %.1f ms (n=%zu)\n", name,
                Percentile(values, 0.5), Percentile(values, 0.95),
                *std::max_element(values.begin(), values.end()), values.size());
}

} // namespace
} // namespace pingvard

int main(int argc, char** argv) {
    using namespace pingvard;
    std::string recordFile, device = "apsim";
    int rounds = 10, gapMs = 500;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--record")
            recordFile = argv[i + 1];
        else if (arg == "--device")
            device = argv[i + 1];
        else if (arg == "--rounds")
            rounds = std::stoi(argv[i + 1]);
        else if (arg == "--gap")
            gapMs = std::stoi(argv[i + 1]);
    }
    if (recordFile.empty() || (device != "apsim" && device != "console")) {
        std::fputs("usage: reaction_bench --record FILE [--device apsim|console] [--rounds N] "
                   "[--gap MS]\n",
                   stderr);
        return 2;
    }
    const bool console = device == "console";
    TSocketLibrary library;
    TLoopDispatcher dispatcher;
    TBenchFrontEnd frontEnd;
    THostMonitor monitor(frontEnd, dispatcher);
    monitor.Start();
    std::vector<double> toAccept, toLast, toConfirmed, toResetOk;
    int confirmed = 0;
    for (int round = 0; round < rounds; ++round) {
        const auto result = RunRound(monitor, dispatcher, frontEnd, recordFile, console);
        std::printf("round %d: accept %.0f ms, last answer %.0f ms, confirmed %.0f ms, "
                    "Reset OK %.0f ms, outcome %s, status \"%s\"\n",
                    round + 1, result->ToAcceptMs, result->ToLastAnswerMs, result->ToConfirmedMs,
                    result->ToResetOkMs, result->Outcome.c_str(), frontEnd.Status.c_str());
        const auto keep = [](std::vector<double>& into, double value) {
            if (value >= 0)
                into.push_back(value);
        };
        keep(toAccept, result->ToAcceptMs);
        keep(toLast, result->ToLastAnswerMs);
        keep(toConfirmed, result->ToConfirmedMs);
        keep(toResetOk, result->ToResetOkMs);
        confirmed += result->ToConfirmedMs >= 0 ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
    }
    std::printf("confirmed at the device: %d of %d restarts\n", confirmed, rounds);
    PrintSummary("failure report -> connection accepted", toAccept);
    PrintSummary("failure report -> last answer received", toLast);
    PrintSummary("failure report -> the device has the confirmation", toConfirmed);
    PrintSummary("failure report -> \"Reset OK\" shown", toResetOk);
    monitor.Shutdown();
    return confirmed == rounds ? 0 : 1;
}
