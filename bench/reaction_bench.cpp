// Reaction of the restart rule: the host monitor gets the failure reports that
// make the rule hold, and the access-point simulator's record says when it
// accepted the connection and when the last answer arrived. Both clocks are
// CLOCK_MONOTONIC, so the differences are direct (1 ms resolution).
//
//   reaction_bench --record FILE [--rounds N] [--gap MS]
//
// Runs in the current directory, whose pingvard.ini must point ResetHost at
// the simulator and set a PingInterval long enough that no worker pings.

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

class TBenchLabel : public TTextLabel {
public:
    void SetText(const std::string& text) override { m_text = text; }
    std::string Text() const override { return m_text; }

private:
    std::string m_text;
};

class TBenchFrontEnd : public TMonitorFrontEnd {
public:
    TTextLabel& HostLabel(int slot) override { return m_labels[slot][0]; }
    TTextLabel& PingLabel(int slot) override { return m_labels[slot][1]; }
    TTextLabel& AverageLabel(int slot) override { return m_labels[slot][2]; }
    TTextLabel& LossLabel(int slot) override { return m_labels[slot][3]; }
    void SetStatusText(const std::string& text) override { Status = text; }
    int TrayIconIndex() const override { return m_tray; }
    void SetTrayIconIndex(int index) override { m_tray = std::clamp(index, 0, 2); }
    void CopyTrayImageToApplicationIcon() override {}
    void ReportIcmpUnavailable(const std::string&) override {}

    std::string Status;

private:
    std::array<std::array<TBenchLabel, 4>, 4> m_labels;
    int m_tray = 0;
};

// Whole milliseconds, truncated like the simulator's record, so that equal
// moments compare equal (each figure is then good to 1 ms).
double MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

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

std::vector<std::string> ReadLines(const std::string& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct TRoundResult {
    double ToAcceptMs = 0, ToLastAnswerMs = 0;
    std::string Outcome;
};

// Feeds failures until the rule holds; returns the moment of the last report.
double TriggerRestart(THostMonitor& monitor) {
    double lastReport = 0;
    for (int32_t n = 0; n < monitor.MaxTimeouts(); ++n) {
        for (int slot = 0; slot < 3; ++slot) {
            lastReport = MonotonicMs();
            monitor.WMPing(slot, -1);
        }
    }
    return lastReport;
}

std::optional<TRoundResult> RunRound(THostMonitor& monitor, TLoopDispatcher& dispatcher,
                                     const std::string& recordFile) {
    const size_t recordsBefore = ReadLines(recordFile).size();
    const double reported = TriggerRestart(monitor);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(70);
    std::vector<std::string> records;
    do {
        dispatcher.RunOnce(20);
        records = ReadLines(recordFile);
    } while ((records.size() <= recordsBefore || monitor.ResetSessionRunning()) &&
             std::chrono::steady_clock::now() < deadline);
    if (records.size() <= recordsBefore)
        return std::nullopt;
    const std::string& line = records.back();
    TRoundResult result;
    result.ToAcceptMs = RecordValue(line, "accepted_mono_ms").value_or(-1) - reported;
    result.ToLastAnswerMs = RecordValue(line, "last_answer_mono_ms").value_or(-1) - reported;
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
    std::printf("%s: median %.1f ms, p95 %.1f ms, max %.1f ms (n=%zu)\n", name,
                Percentile(values, 0.5), Percentile(values, 0.95),
                *std::max_element(values.begin(), values.end()), values.size());
}

} // namespace
} // namespace pingvard

int main(int argc, char** argv) {
    using namespace pingvard;
    std::string recordFile;
    int rounds = 10, gapMs = 500;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--record")
            recordFile = argv[i + 1];
        else if (arg == "--rounds")
            rounds = std::stoi(argv[i + 1]);
        else if (arg == "--gap")
            gapMs = std::stoi(argv[i + 1]);
    }
    if (recordFile.empty()) {
        std::fputs("usage: reaction_bench --record FILE [--rounds N] [--gap MS]\n", stderr);
        return 2;
    }
    TSocketLibrary library;
    TLoopDispatcher dispatcher;
    TBenchFrontEnd frontEnd;
    THostMonitor monitor(frontEnd, dispatcher);
    monitor.FormCreate();
    std::vector<double> toAccept, toLast;
    for (int round = 0; round < rounds; ++round) {
        const auto result = RunRound(monitor, dispatcher, recordFile);
        if (!result) {
            std::fprintf(stderr, "reaction_bench: no record after round %d\n", round + 1);
            return 1;
        }
        std::printf("round %d: accept %.1f ms, last answer %.1f ms, outcome %s, status \"%s\"\n",
                    round + 1, result->ToAcceptMs, result->ToLastAnswerMs, result->Outcome.c_str(),
                    frontEnd.Status.c_str());
        toAccept.push_back(result->ToAcceptMs);
        toLast.push_back(result->ToLastAnswerMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
    }
    PrintSummary("failure report -> connection accepted", toAccept);
    PrintSummary("failure report -> last answer received", toLast);
    monitor.Closing = true;
    monitor.FormDestroy();
    return 0;
}
