// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/notify/desktop_notifier.h"
#include "ui/notify/freedesktop_notifications.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
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
        const std::pair<TMonitorEventKind, bool TNotificationSettings::*> kinds[] = {
            {TMonitorEventKind::RuleFired, &TNotificationSettings::RuleFired},
            {TMonitorEventKind::ActionOutcome, &TNotificationSettings::ActionOutcome},
            {TMonitorEventKind::HostDown, &TNotificationSettings::HostDown},
            {TMonitorEventKind::HostUp, &TNotificationSettings::HostUp}};
        for (const auto& [kind, flag] : kinds) {
            TNotificationSettings settings = AllOn();
            settings.*flag = false;
            QVERIFY(!TDesktopNotifier::Compose(Event(kind), settings));
            for (const auto& [other, _] : kinds) {
                QCOMPARE(bool(TDesktopNotifier::Compose(Event(other), settings)), other != kind);
            }
        }
        for (const auto kind : {TMonitorEventKind::Echo, TMonitorEventKind::ActionStarted,
                                TMonitorEventKind::GuardChanged, TMonitorEventKind::StatusText}) {
            QVERIFY(!TDesktopNotifier::Compose(Event(kind), AllOn()));
        }
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
            notifier->Publish(Event(TMonitorEventKind::RuleFired));
        }
        QCOMPARE(notifier->Dropped(), 10u);
        QCoreApplication::processEvents();
        QCOMPARE(m_shown.size(), std::size_t(TDesktopNotifier::kMaxPending));
        notifier->Publish(Event(TMonitorEventKind::RuleFired)); // room again
        QCoreApplication::processEvents();
        QCOMPARE(m_shown.size(), std::size_t(TDesktopNotifier::kMaxPending) + 1);
    }

    void NewSettingsApplyToEventsNotYetShown() {
        const auto notifier = Notifier(AllOn());
        notifier->Publish(Event(TMonitorEventKind::RuleFired));
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
