// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/arm_command.h"
#include "app/command_line.h"
#include "app/desktop_launcher.h"
#include "app/exit_status.h"
#include "app/headless_program.h"
#include "app/history_command.h"
#include "app/incidents_command.h"
#include "app/test_action.h"
#include "app/test_notify.h"

#include <exception>
#include <iostream>

namespace {

int Run(int argc, char** argv) {
    using namespace pingvard;
    const auto parsed = ParseCommandLine(argc, argv);
    if (!parsed.Error.empty()) {
        std::cerr << "pingvard: " << parsed.Error << "\n"
                  << "Try 'pingvard --help' for more information.\n";
        return kExitUsage;
    }
    const auto& options = parsed.Options;
#ifdef PINGVARD_HAS_DESKTOP
    constexpr bool kDesktopBuiltIn = true;
#else
    constexpr bool kDesktopBuiltIn = false;
#endif
    if (options.Help) {
        std::cout << UsageText(kDesktopBuiltIn);
        return kExitOk;
    }
    if (options.Version) {
        std::cout << VersionText();
        return kExitOk;
    }
    if (const auto error = ChangeDirectories(options.Directories); !error.empty()) {
        std::cerr << "pingvard: " << error << "\n";
        return kExitFailure;
    }
    if (options.History) {
        return RunHistoryCommand(options, std::cout, std::cerr);
    }
    if (options.Incidents) {
        return RunIncidentsCommand(options, std::cout, std::cerr);
    }
    if (!options.TestAction.empty()) {
        return RunTestAction(options.TestAction, std::cout, std::cerr);
    }
    if (!options.TestNotify.empty()) {
        return RunTestNotify(options.TestNotify, std::cout, std::cerr);
    }
    if (options.Arm) {
        return RunArmCommand(std::cout, std::cerr);
    }
#ifdef PINGVARD_HAS_DESKTOP
    if (!options.Headless && DisplayAvailable()) {
        // pingvard-desktop ends at once when it cannot open its display: look
        // first, so that an unusable display still leaves a running monitor.
        std::string problem = DisplayUnavailableReason();
        if (problem.empty()) {
            const std::string desktop = DesktopProgramPath();
            problem = desktop.empty() ? std::string("pingvard-desktop is not installed")
                                      : ExecDesktopProgram(desktop, options.Language);
        }
        std::cerr << "pingvard: " << problem << "; running the console program\n";
    }
#endif
    return RunHeadless(options.Debug);
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "pingvard: " << e.what() << "\n";
        return pingvard::kExitFailure;
    }
}
