// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/test_action.h"

#include "app/exit_status.h"
#include "config/memory_ini_file.h"
#include "config/program_dir.h"
#include "config/recovery_settings.h"
#include "config/settings.h"
#include "recovery/action_kinds.h"

#include <ostream>
#include <strings.h>
#include <sys/stat.h>

namespace pingvard {

namespace {

class TPrintedSteps final : public TActionReport {
public:
    explicit TPrintedSteps(std::ostream& out) : m_out(out) {}
    void Step(const std::string& text) override { m_out << "  " << text << std::endl; }
    void Transcript(const std::string&) override {} // holds the device's password
private:
    std::ostream& m_out;
};

} // namespace

int RunTestAction(const std::string& name, std::ostream& out, std::ostream& err) {
    const std::string fileName = ConfigFileName();
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        // The defaults would restart a device nobody has named yet.
        err << "pingvard: no " << fileName << ": nothing is configured to test\n";
        return kExitFailure;
    }
    // Read as a start reads it, without the start's normalising writes: a
    // dry run leaves the directory as it was.
    TMemoryIniFile ini(fileName);
    const TSettings settings = TSettings::Load(ini, GetProgramDir());
    for (const std::string& problem : settings.Recovery.Problems) {
        err << "pingvard: " << problem << "\n";
    }
    const auto& actions = settings.Recovery.Actions;
    for (std::size_t i = 0; i < actions.size(); ++i) {
        const TActionConfig& config = actions[i];
        if (strcasecmp(config.Name.c_str(), name.c_str()) != 0) {
            continue;
        }
        TActionContext context;
        context.ResetHost = settings.ResetHost;
        context.Challenges = settings.Challenges;
        context.Answers = settings.Answers;
        std::unique_ptr<TRecoveryAction> action = MakeAction(config, context);
        TRecoveryEvent event;
        event.Reason = "test";
        event.Step = static_cast<int>(i) + 1;
        action->SetEvent(event);
        out << "Testing " << action->Name() << " (" << action->Kind() << ")" << std::endl;
        TPrintedSteps steps(out);
        const TRecoveryOutcome outcome = action->Run(steps);
        out << outcome.Status << std::endl;
        return outcome.Ok ? kExitOk : kExitFailure;
    }
    err << "pingvard: no recovery action '" << name << "' in " << kActionsSetting << " of "
        << fileName << "\n";
    return kExitFailure;
}

} // namespace pingvard
