// SPDX-License-Identifier: GPL-3.0-or-later
// Publishes one of each event the desktop notifier may show, from a thread
// of its own as the monitor would, through the real notifier and the session
// bus's notification service, with the [Notifications] settings of the
// given file. Prints what became of each notification:
//
//   delivered ID SUMMARY     the service took it and numbered it
//   balloon SUMMARY          the balloon stood in (a stand-in that prints)
//   balloon-shown SUMMARY    with --tray: Qt's balloon window beside the icon
//                            in the display's notification area shows it
//   diagnostic TEXT          what the program would say on stderr
//
// With --tray the balloon is the program's own: its tray backend puts an
// icon into the notification area first (waiting up to 10 s for one).
// Exit status 0 once every notification the settings allow is accounted for,
// 1 when they are not within 20 s. Used by notify_e2e.sh.

#include "config/ini_file.h"
#include "config/observe_settings.h"
#include "ui/main_form.h"
#include "ui/notify/desktop_notifier.h"
#include "ui/notify/freedesktop_notifications.h"
#include "ui/tray/system_tray_backend.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace pingvard;

namespace {

TMonitorEvent Event(TMonitorEventKind kind) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Time = std::chrono::system_clock::now();
    return e;
}

TMonitorEvent Outcome(const char* action, const char* kind, bool ok, const char* text) {
    TMonitorEvent e = Event(TMonitorEventKind::ActionOutcome);
    e.Action = action;
    e.ActionKind = kind;
    e.Ok = ok;
    e.Text = text;
    return e;
}

TMonitorEvent HostEvent(TMonitorEventKind kind) {
    TMonitorEvent e = Event(kind);
    e.Slot = 2;
    e.Host = "203.0.113.30";
    e.DisplayName = "www.geant.org";
    return e;
}

// An incident since 03:12 of today (the test runs in UTC), six minutes long.
TMonitorEvent IncidentEvent(TMonitorEventKind kind, bool ended) {
    auto incident = std::make_shared<TIncident>();
    incident->StartMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                                .count() /
                            86'400'000 * 86'400'000 +
                        (3 * 60 + 12) * 60'000;
    incident->Cause = TSiteCause::Uplink;
    incident->HostsDown = {"203.0.113.11", "203.0.113.12"};
    if (ended) {
        incident->EndMs = incident->StartMs + 6 * 60'000;
        incident->Steps.resize(2);
        incident->CuredBy = "plug";
    }
    TMonitorEvent e = Event(kind);
    e.Incident = incident;
    e.UntilMs = incident->StartMs + (10 * 60 + 53) * 60'000; // 14:05
    return e;
}

// An incident as the monitor tells it: the rule firing says nothing of its own.
std::vector<TMonitorEvent> Events() {
    TMonitorEvent echo = HostEvent(TMonitorEventKind::Echo);
    echo.RoundTripUs = 31'000;
    TMonitorEvent started = IncidentEvent(TMonitorEventKind::ActionStarted, false);
    started.Action = "telnet";
    started.ActionKind = "telnet";
    return {echo, IncidentEvent(TMonitorEventKind::SiteDown, false),
            Event(TMonitorEventKind::RuleFired), started,
            Outcome("telnet", "telnet", false, "Unable to reset, invalid response in step #2"),
            // Markup characters reach the operator as written.
            Outcome("plug", "http", true, "Power cycle OK (plug) <off 10 s> & on"),
            IncidentEvent(TMonitorEventKind::RestartsPaused, false),
            HostEvent(TMonitorEventKind::HostDown), HostEvent(TMonitorEventKind::HostUp),
            IncidentEvent(TMonitorEventKind::SiteBack, true)};
}

} // namespace

// Whether Qt shows its balloon window now.
bool BalloonShown() {
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->inherits("QBalloonTip")) {
            return true;
        }
    }
    return false;
}

// Puts the program's icon into the notification area; false when none
// comes within 10 s.
bool AddTrayIcon(TSystemTrayBackend& tray) {
    tray.Add(ProgramIcon(), QStringLiteral("Pingvard"));
    if (tray.Available()) {
        return true;
    }
    QEventLoop wait;
    tray.Appeared = [&] { wait.quit(); };
    QTimer::singleShot(10'000, &wait, &QEventLoop::quit);
    wait.exec();
    return tray.Available();
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool withTray = argc == 3 && std::string(argv[2]) == "--tray";
    if (argc != 2 && !withTray) {
        std::fprintf(stderr, "usage: %s PINGVARD_INI [--tray]\n", argv[0]);
        return 2;
    }
    TSystemTrayBackend tray;
    if (withTray && !AddTrayIcon(tray)) {
        std::printf("no notification area\n");
        return 1;
    }
    TIniFile ini(argv[1]);
    std::vector<std::string> problems;
    const TObserveSettings settings = ReadObserveSettings(ini, problems);
    for (const std::string& p : problems) {
        std::printf("problem %s\n", p.c_str());
    }
    const std::vector<TMonitorEvent> events = Events();
    int expected = 0;
    for (const TMonitorEvent& e : events) {
        expected += TDesktopNotifier::Compose(e, settings.Notifications) ? 1 : 0;
    }

    auto channel = std::make_unique<TFreedesktopNotifications>([&](const TDesktopNotification& n) {
        std::printf("balloon %s\n", qPrintable(n.Summary));
        if (!withTray) {
            return true;
        }
        const bool shown = tray.ShowMessage(n.Summary, n.Body, n.Critical) && BalloonShown();
        if (shown) {
            std::printf("balloon-shown %s\n", qPrintable(n.Summary));
        }
        return shown;
    });
    TFreedesktopNotifications& notifications = *channel;
    notifications.OnDiagnostic = [](const QString& text) {
        std::printf("diagnostic %s\n", qPrintable(text));
    };
    int accounted = 0;
    const auto count = [&] {
        std::fflush(stdout);
        if (++accounted == expected) {
            QCoreApplication::quit();
        }
    };
    QObject::connect(&notifications, &TFreedesktopNotifications::Delivered, &app,
                     [&](uint id, const QString& summary) {
                         std::printf("delivered %u %s\n", id, qPrintable(summary));
                         count();
                     });
    QObject::connect(&notifications, &TFreedesktopNotifications::FellBack, &app,
                     [&](const QString&, bool) { count(); });
    TDesktopNotifier notifier(settings.Notifications, std::move(channel));

    std::thread monitor([&] {
        for (const TMonitorEvent& e : events) {
            notifier.Publish(e);
        }
    });
    monitor.join();
    QTimer::singleShot(20'000, &app, [&] {
        std::printf("timeout: %d of %d notifications accounted for\n", accounted, expected);
        QCoreApplication::exit(1);
    });
    if (expected == 0) {
        return 0;
    }
    return QCoreApplication::exec();
}
