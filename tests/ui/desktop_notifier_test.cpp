// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/notify/desktop_notifier.h"
#include "ui/notify/freedesktop_notifications.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <ctime>
#include <thread>

using namespace pingvard;

namespace {

struct TShown {
    TDesktopNotification Notification;
    QThread* Thread;
};

class TFakeChannel : public TNotificationChannel {
public:
    explicit TFakeChannel(std::vector<TShown>& shown) : m_shown(shown) {}
    void Show(const TDesktopNotification& n) override {
        m_shown.push_back({n, QThread::currentThread()});
    }

private:
    std::vector<TShown>& m_shown;
};

TMonitorEvent Event(TMonitorEventKind kind) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Slot = 2;
    e.Host = "192.0.2.30";
    e.DisplayName = "www.geant.org";
    e.Action = "plug";
    e.ActionKind = "http";
    e.Text = "Unable to power cycle, HTTP 401 from 192.0.2.5";
    return e;
}

TNotificationSettings AllOn() {
    return {true, true, true, true};
}

} // namespace

class DesktopNotifierTest : public QObject {
    Q_OBJECT

    std::vector<TShown> m_shown;

    std::unique_ptr<TDesktopNotifier> Notifier(const TNotificationSettings& settings) {
        m_shown.clear();
        return std::make_unique<TDesktopNotifier>(settings,
                                                  std::make_unique<TFakeChannel>(m_shown));
    }

private slots:
    void EachKindIsSwitchedOffByItsSetting() {
        using F = bool TNotificationSettings::*;
        const std::pair<TMonitorEventKind, F> kinds[] = {
            {TMonitorEventKind::SiteDown, &TNotificationSettings::RuleFired},
            {TMonitorEventKind::RestartsPaused, &TNotificationSettings::RuleFired},
            {TMonitorEventKind::SiteBack, &TNotificationSettings::RuleFired},
            {TMonitorEventKind::ActionStarted, &TNotificationSettings::ActionOutcome},
            {TMonitorEventKind::ActionOutcome, &TNotificationSettings::ActionOutcome},
            {TMonitorEventKind::HostDown, &TNotificationSettings::HostDown},
            {TMonitorEventKind::HostUp, &TNotificationSettings::HostUp}};
        for (const auto& [kind, flag] : kinds) {
            TNotificationSettings settings = AllOn();
            settings.*flag = false;
            QVERIFY(!TDesktopNotifier::Compose(Event(kind), settings));
            for (const auto& [other, otherFlag] : kinds) {
                QCOMPARE(bool(TDesktopNotifier::Compose(Event(other), settings)),
                         otherFlag != flag);
            }
        }
        // The rule firing says nothing of its own: "recovery is starting" only
        // when an action starts.
        for (const auto kind : {TMonitorEventKind::Echo, TMonitorEventKind::RuleFired,
                                TMonitorEventKind::GuardChanged, TMonitorEventKind::StatusText,
                                TMonitorEventKind::SiteState}) {
            QVERIFY(!TDesktopNotifier::Compose(Event(kind), AllOn()));
        }
    }

    void TheIncidentIsToldWithItsCauseAndItsCure() {
        qputenv("TZ", "UTC");
        ::tzset();
        auto incident = std::make_shared<TIncident>();
        incident->StartMs = QDateTime::currentMSecsSinceEpoch() / 86400000 * 86400000 + 11520000;
        incident->Cause = TSiteCause::AccessPoint;
        incident->HostsDown = {"192.0.2.11", "192.0.2.12"};
        TMonitorEvent down = Event(TMonitorEventKind::SiteDown);
        down.Incident = incident;
        const auto downShown = TDesktopNotifier::Compose(down, AllOn());
        QCOMPARE(downShown->Summary, QString::fromUtf8("Výpadek sítě (přístupový bod)"));
        QCOMPARE(downShown->Body, QString::fromUtf8("Neodpovídá: 192.0.2.11, 192.0.2.12"));
        QVERIFY(downShown->Critical);

        TMonitorEvent paused = Event(TMonitorEventKind::RestartsPaused);
        paused.Incident = incident;
        paused.UntilMs = incident->StartMs + 10 * 3600000 + 53 * 60000;
        QCOMPARE(TDesktopNotifier::Compose(paused, AllOn())->Summary,
                 QString::fromUtf8("Restarty pozastaveny do 14:05"));

        TMonitorEvent started = Event(TMonitorEventKind::ActionStarted);
        started.Incident = incident;
        const auto startShown = TDesktopNotifier::Compose(started, AllOn());
        QCOMPARE(startShown->Summary, QString::fromUtf8("Spouští se obnova plug (http)"));
        QCOMPARE(startShown->Body, QString::fromUtf8("Mimo provoz od 03:12: přístupový bod"));

        auto ended = std::make_shared<TIncident>(*incident);
        ended->EndMs = ended->StartMs + 6 * 60000;
        ended->CuredBy = "plug";
        ended->Steps.resize(2);
        TMonitorEvent back = Event(TMonitorEventKind::SiteBack);
        back.Incident = ended;
        const auto backShown = TDesktopNotifier::Compose(back, AllOn());
        QCOMPARE(backShown->Summary, QString::fromUtf8("Síť opět funguje po 6 min (obnovil plug)"));
        QCOMPARE(backShown->Body, QString::fromUtf8("Příčina: přístupový bod, kroků obnovy: 2"));
        QVERIFY(!backShown->Critical);
    }

    void HandsEventsFromAnyThreadToTheGuiThread() {
        const auto notifier = Notifier(AllOn());
        std::thread monitor([&] {
            notifier->Publish(Event(TMonitorEventKind::Echo));
            notifier->Publish(Event(TMonitorEventKind::HostDown));
            notifier->Publish(Event(TMonitorEventKind::StatusText));
            notifier->Publish(Event(TMonitorEventKind::HostUp));
        });
        monitor.join();
        QVERIFY(m_shown.empty()); // nothing ran on the publishing thread
        QTRY_COMPARE(m_shown.size(), 2u);
        QVERIFY(m_shown[0].Notification.Summary.endsWith("neodpovídá"));
        QVERIFY(m_shown[1].Notification.Summary.endsWith("opět odpovídá"));
        QCOMPARE(m_shown[0].Thread, QThread::currentThread());
        QCOMPARE(notifier->Dropped(), 0u);
    }

    void DropsAndCountsWhatTheGuiThreadHasNoRoomFor() {
        const auto notifier = Notifier(AllOn());
        const int published = TDesktopNotifier::kMaxPending + 10;
        for (int i = 0; i < published; ++i) {
            notifier->Publish(Event(TMonitorEventKind::SiteDown));
        }
        QCOMPARE(notifier->Dropped(), 10u);
        QCoreApplication::processEvents();
        QCOMPARE(m_shown.size(), std::size_t(TDesktopNotifier::kMaxPending));
        notifier->Publish(Event(TMonitorEventKind::SiteDown)); // room again
        QCoreApplication::processEvents();
        QCOMPARE(m_shown.size(), std::size_t(TDesktopNotifier::kMaxPending) + 1);
    }

    void NewSettingsApplyToEventsNotYetShown() {
        const auto notifier = Notifier(AllOn());
        notifier->Publish(Event(TMonitorEventKind::SiteDown));
        TNotificationSettings settings = AllOn();
        settings.RuleFired = false;
        notifier->SetSettings(settings);
        QCoreApplication::processEvents();
        QVERIFY(m_shown.empty());
    }

    void WithoutASessionBusTheBalloonStandsIn() {
        const QDBusConnection none = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/pingvard-test-bus"),
            QStringLiteral("pingvard-test-no-bus"));
        QVERIFY(!none.isConnected());
        std::vector<TDesktopNotification> balloons;
        TFreedesktopNotifications channel(
            [&](const TDesktopNotification& n) {
                balloons.push_back(n);
                return true;
            },
            none);
        QStringList diagnostics;
        channel.OnDiagnostic = [&](const QString& line) { diagnostics << line; };
        QSignalSpy fellBack(&channel, &TFreedesktopNotifications::FellBack);
        channel.Show({"first", "body", false, -1});
        channel.Show({"second", "body", true, -1});
        QCOMPARE(balloons.size(), 2u);
        QCOMPARE(balloons[1].Summary, QString("second"));
        QVERIFY(balloons[1].Critical);
        QCOMPARE(fellBack.size(), 2);
        QCOMPARE(diagnostics.size(), 1); // said once, not per notification
        QVERIFY2(diagnostics[0].startsWith("no desktop notification service"),
                 qPrintable(diagnostics[0]));
        QDBusConnection::disconnectFromBus(QStringLiteral("pingvard-test-no-bus"));
    }
};

QTEST_MAIN(DesktopNotifierTest)
#include "desktop_notifier_test.moc"
