// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/hook_runner.h"

#include "observe/iso_time.h"
#include "recovery/secret_mask.h"

#include <algorithm>
#include <cstdio>

namespace pingvard {

namespace {

constexpr std::size_t kOutputInReport = 200; // characters of a failed hook's output

std::string Decimal3(int64_t thousandths) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(thousandths) / 1000.0);
    return text;
}

bool IsHostEvent(TMonitorEventKind kind) {
    return kind == TMonitorEventKind::HostDown || kind == TMonitorEventKind::HostUp;
}

// The last non-empty line of a hook's output, cut short: enough to say why.
std::string LastLine(std::string output) {
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
        output.pop_back();
    }
    const std::size_t start = output.find_last_of('\n');
    output = start == std::string::npos ? output : output.substr(start + 1);
    if (output.size() > kOutputInReport) {
        output.resize(kOutputInReport);
        output += "...";
    }
    return output;
}

} // namespace

void THookFigures::Count(const TMonitorEvent& event) {
    if (event.Slot < 0 || event.Slot > 3) {
        return;
    }
    THost& host = m_hosts[event.Slot];
    if (event.Kind == TMonitorEventKind::Echo) {
        ++host.Echoes;
        if (event.RoundTripUs) {
            host.LastRoundTripUs = event.RoundTripUs;
            host.Failures = 0;
        } else {
            ++host.Lost;
            ++host.Failures;
        }
    } else if (event.Kind == TMonitorEventKind::HostDown) {
        host.DownSince = event.Time;
    }
}

std::vector<std::pair<std::string, std::string>>
THookFigures::Environment(const std::string& hookName, const TMonitorEvent& event) const {
    const bool hostEvent = IsHostEvent(event.Kind) && event.Slot >= 0 && event.Slot <= 3;
    const bool actionEvent = event.Kind == TMonitorEventKind::ActionStarted ||
                             event.Kind == TMonitorEventKind::ActionOutcome;
    const bool okEvent = event.Kind == TMonitorEventKind::ActionOutcome ||
                         event.Kind == TMonitorEventKind::GuardChanged;
    const bool siteEvent = event.Kind == TMonitorEventKind::SiteState ||
                           event.Kind == TMonitorEventKind::SiteDown ||
                           event.Kind == TMonitorEventKind::SiteBack;
    const bool back = event.Kind == TMonitorEventKind::SiteBack && event.Incident;
    std::vector<std::pair<std::string, std::string>> env = {
        {"PINGVARD_HOOK", hookName},
        {"PINGVARD_EVENT", std::string(KindName(event.Kind))},
        {"PINGVARD_TIME", FormatLocalTime(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              event.Time.time_since_epoch())
                                              .count(),
                                          true)},
        {"PINGVARD_TIMESTAMP", std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                                  event.Time.time_since_epoch())
                                                  .count())},
        {"PINGVARD_HOST", hostEvent ? event.Host : ""},
        {"PINGVARD_HOST_NAME", hostEvent ? event.DisplayName : ""},
        {"PINGVARD_SLOT", hostEvent ? std::to_string(event.Slot + 1) : ""},
        {"PINGVARD_ECHOES", ""},
        {"PINGVARD_LOST", ""},
        {"PINGVARD_LOSS_PERCENT", ""},
        {"PINGVARD_FAILURES", ""},
        {"PINGVARD_LAST_RTT_MS", ""},
        {"PINGVARD_DOWN_SECONDS", ""},
        {"PINGVARD_ACTION", actionEvent ? event.Action : ""},
        {"PINGVARD_ACTION_KIND", actionEvent ? event.ActionKind : ""},
        {"PINGVARD_OK", okEvent ? (event.Ok ? "1" : "0") : ""},
        {"PINGVARD_TEXT", event.Text},
        {"PINGVARD_SITE", siteEvent ? std::string(SiteStateName(event.Site)) : ""},
        {"PINGVARD_CAUSE",
         event.Incident ? std::string(CauseName(event.Incident->Cause)) : std::string()},
        {"PINGVARD_CURED_BY", back ? event.Incident->CuredBy : ""},
        {"NOTIFY_SOCKET", ""},
    };
    if (back) {
        env[12].second = std::to_string(event.Incident->DurationMs(event.Incident->EndMs) / 1000);
    }
    if (hostEvent) {
        const THost& host = m_hosts[event.Slot];
        env[7].second = std::to_string(host.Echoes);
        env[8].second = std::to_string(host.Lost);
        env[9].second = std::to_string(host.Echoes == 0 ? 0 : host.Lost * 100 / host.Echoes);
        env[10].second = std::to_string(host.Failures);
        env[11].second = host.LastRoundTripUs ? Decimal3(*host.LastRoundTripUs) : "";
        if (event.Kind == TMonitorEventKind::HostUp && host.DownSince) {
            env[12].second = std::to_string(
                std::chrono::duration_cast<std::chrono::seconds>(event.Time - *host.DownSince)
                    .count());
        }
    }
    return env;
}

// One hook: its queue, its worker and the program it runs.
class THookRunner::THook final : public TEventConsumer {
public:
    THook(THookConfig config, TReportFn report, std::vector<std::string> secrets)
        : m_config(std::move(config)), m_report(std::move(report)), m_secrets(std::move(secrets)),
          m_queue(*this, {.Capacity = 1024, .MaxBatch = 64}) {}
    ~THook() override { Stop(); }

    bool Wants(TMonitorEventKind kind) const {
        return kind == TMonitorEventKind::Echo || IsHostEvent(kind) ||
               std::find(m_config.Events.begin(), m_config.Events.end(), kind) !=
                   m_config.Events.end();
    }
    void Publish(const TMonitorEvent& event) noexcept {
        if (Wants(event.Kind)) {
            m_queue.Publish(event);
        }
    }
    void Abort() noexcept {
        m_stopping = true;
        m_child.Abort();
    }
    void Stop() noexcept {
        Abort();
        m_queue.Stop();
    }

    void Consume(std::span<const TMonitorEvent> events, uint64_t dropped) override {
        if (dropped > 0 && m_report) {
            m_report("Hook " + m_config.Name + " missed " + std::to_string(dropped) +
                     " events: it runs too long");
        }
        for (const TMonitorEvent& event : events) {
            if (m_stopping) {
                return;
            }
            m_figures.Count(event);
            if (event.Kind != TMonitorEventKind::Echo &&
                std::find(m_config.Events.begin(), m_config.Events.end(), event.Kind) !=
                    m_config.Events.end()) {
                Run(event);
            }
        }
    }

private:
    void Run(const TMonitorEvent& event) {
        TChildCommand program;
        program.Program = m_config.Program;
        program.Args = m_config.Args;
        program.TimeLimitMs = m_config.TimeLimitMs;
        program.Environment = m_figures.Environment(m_config.Name, event);
        for (auto& [name, value] : program.Environment) {
            value = MaskSecrets(value, m_secrets);
        }
        const TChildResult result = m_child.Run(program);
        if (result.End == TChildResult::TEnd::Aborted || !m_report) {
            return;
        }
        // A program that cannot start fails the same way at every event: said
        // once, and once more when it starts again.
        const bool started = result.End != TChildResult::TEnd::NotStarted;
        if (started && m_cannotStart) {
            m_report("Hook " + m_config.Name + " starts again");
        }
        const bool told = !started && m_cannotStart;
        m_cannotStart = !started;
        if (result.Succeeded() || told) {
            return;
        }
        std::string line = "Hook " + m_config.Name + " failed on " +
                           std::string(KindName(event.Kind)) + ": " +
                           result.Describe(program.TimeLimitMs);
        if (std::string output = LastLine(result.Output); !output.empty()) {
            line += " (" + output + ")";
        }
        m_report(MaskSecrets(line, m_secrets));
    }

    const THookConfig m_config;
    const TReportFn m_report;
    const std::vector<std::string> m_secrets;
    THookFigures m_figures; // the worker's own
    TChildProcess m_child;
    bool m_cannotStart = false; // the last run could not start its program
    std::atomic<bool> m_stopping{false};
    TQueuedSink m_queue; // last: its worker stops before the rest goes
};

THookRunner::THookRunner(std::vector<THookConfig> hooks, TReportFn report,
                         std::vector<std::string> secrets) {
    for (THookConfig& config : hooks) {
        m_hooks.push_back(std::make_unique<THook>(std::move(config), report, secrets));
    }
}

THookRunner::~THookRunner() {
    Stop();
}

void THookRunner::Publish(const TMonitorEvent& event) noexcept {
    for (const auto& hook : m_hooks) {
        hook->Publish(event);
    }
}

void THookRunner::Stop() noexcept {
    for (const auto& hook : m_hooks) { // abort them all first, then wait for each
        hook->Abort();
    }
    for (const auto& hook : m_hooks) {
        hook->Stop();
    }
}

} // namespace pingvard
