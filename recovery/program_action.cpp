// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/program_action.h"

#include <sstream>

namespace pingvard {

namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : " ") + item;
    }
    return text;
}

// Output lines as transcript entries; a program may print many, so only the
// first bytes kept by the child process are shown.
void TranscribeOutput(const std::string& output, TActionReport& report) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        report.Transcript("< " + line);
    }
}

} // namespace

std::unique_ptr<TRecoveryAction> MakeProgramAction(const TActionConfig& config,
                                                   const TActionContext& context) {
    return std::make_unique<TProgramAction>(config, context.Clock);
}

TProgramAction::TProgramAction(TActionConfig config, const TTickClock* clock)
    : m_config(std::move(config)), m_clock(clock) {}

TRecoveryOutcome TProgramAction::Run(TActionReport& report) {
    const std::string fail = "Unable to run " + m_config.Name + ", ";
    if (!m_config.Problem.empty()) {
        return Outcome(false, fail + m_config.Problem);
    }
    TChildCommand command;
    command.Program = m_config.Program.Program;
    command.Args = m_config.Program.Args;
    command.TimeLimitMs = m_config.TimeLimitMs;
    command.Clock = m_clock;
    command.Environment = {{"PINGVARD_ACTION", m_config.Name},
                           {"PINGVARD_EVENT", m_event.Reason},
                           {"PINGVARD_ROUND", std::to_string(m_event.Round)},
                           {"PINGVARD_STEP", std::to_string(m_event.Step)},
                           {"PINGVARD_HOSTS_DOWN", Joined(m_event.HostsDown)}};
    report.Step("Running " + command.Program);
    report.Transcript("$ " + command.Program + (command.Args.empty() ? "" : " ") +
                      Joined(command.Args));
    const TChildResult result = m_child.Run(command);
    TranscribeOutput(result.Output, report);
    const std::string how = result.Describe(command.TimeLimitMs);
    report.Step(how);
    report.Transcript("= " + how);
    if (result.Succeeded()) {
        return Outcome(true, "Program OK (" + m_config.Name + ")");
    }
    return Outcome(false, fail + how);
}

} // namespace pingvard
