#include "app/command_line.h"
#include "app/exit_status.h"
#include "app/headless_program.h"

#include <cstdlib>
#include <exception>
#include <iostream>

#ifdef PINGVARD_HAS_DESKTOP
#include "ui/desktop_program.h"
#endif

namespace {

#ifdef PINGVARD_HAS_DESKTOP
bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}
#endif

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
#ifdef PINGVARD_HAS_DESKTOP
    if (!options.Headless && DisplayAvailable())
        return RunDesktop(argc, argv);
#endif
    return RunHeadless();
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
