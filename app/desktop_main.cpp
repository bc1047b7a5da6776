// SPDX-License-Identifier: GPL-3.0-or-later
// pingvard-desktop: the tray application. pingvard starts it when a display is
// available; the menu entry runs it directly. It takes pingvard's options but
// --headless, which belongs to the console program.
#include "app/command_line.h"
#include "app/exit_status.h"
#include "ui/desktop_program.h"

#include <exception>
#include <iostream>

namespace {

int Run(int argc, char** argv) {
    using namespace pingvard;
    const auto parsed = ParseCommandLine(argc, argv);
    const bool consoleOnly =
        parsed.Options.Headless || parsed.Options.History || !parsed.Options.TestAction.empty();
    if (!parsed.Error.empty() || consoleOnly) {
        std::cerr << "pingvard-desktop: "
                  << (parsed.Error.empty()
                          ? "use pingvard --headless, --history or --test-action on the console"
                          : parsed.Error)
                  << "\nTry 'pingvard-desktop --help' for more information.\n";
        return kExitUsage;
    }
    if (parsed.Options.Help) {
        std::cout << DesktopUsageText();
        return kExitOk;
    }
    if (parsed.Options.Version) {
        std::cout << VersionText("pingvard-desktop");
        return kExitOk;
    }
    if (const auto error = ChangeDirectories(parsed.Options.Directories); !error.empty()) {
        std::cerr << "pingvard-desktop: " << error << "\n";
        return kExitFailure;
    }
    int qtArgc = 1; // the options are ours, not Qt's
    switch (RunDesktop(qtArgc, argv, parsed.Options.Language)) {
    case TDesktopEnd::ConfigNotWritable:
        return kExitConfigNotWritable;
    case TDesktopEnd::ExitCommand:
        break;
    }
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "pingvard-desktop: " << e.what() << "\n";
        return pingvard::kExitFailure;
    }
}
