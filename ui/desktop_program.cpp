// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/desktop_program.h"

#include "ui/exit_signals.h"
#include "ui/main_form.h"
#include "ui/tray/system_tray_backend.h"
#include "ui/ui_language.h"

#include <QApplication>
#include <cstdio>

namespace pingvard {

TDesktopEnd RunDesktop(int& argc, char** argv, const std::string& language) {
    QApplication app(argc, argv);
    // The name desktops show for the tray icon (its D-Bus title). Window
    // captions stay as set: a display name would be appended to them.
    QApplication::setApplicationName(QStringLiteral("Pingvard"));
    QApplication::setWindowIcon(ProgramIcon());
    // The window lives in the notification area: closing the last visible
    // window (a dialog, or the main window hiding) must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    std::vector<std::string> problems;
    const TUiTranslation translation(DesktopLanguage(language, problems));
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "pingvard: %s\n", problem.c_str());
    }

    TMonitorOptions options;
    options.LoadCancelled = [] { return TExitSignals::ExitRequested(); };
    TMainForm form(std::make_unique<TSystemTrayBackend>(), std::move(options));
    form.OnDiagnostic = [](const std::string& text) {
        std::fprintf(stderr, "pingvard: %s\n", text.c_str());
    };
    if (!form.HidesToTray()) {
        std::fprintf(stderr, "pingvard: the desktop has no notification area; the window stays "
                             "shown and its close box minimises it\n");
    }
    // Ctrl+C, kill and a hang-up end the program like its exit command, cleanly;
    // SIGUSR1 is "Restart now", as for the console program.
    const TExitSignals exitSignals([&form] { form.Zav1Click(); },
                                   [&form] { form.RestartNowUnasked(); });
    form.ShowAtStart();
    if (!form.FormCreate()) {
        return TDesktopEnd::ConfigNotWritable;
    }
    form.OpenSettingsOnFirstRun();
    QApplication::exec();
    return TDesktopEnd::ExitCommand;
}

} // namespace pingvard
