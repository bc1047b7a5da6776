// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tray/site_tooltip.h"
#include "ui/ui_language.h"

#include <QDateTime>
#include <QTest>
#include <ctime>

using namespace pingvard;

namespace {

// Today, at a minute of it, in UTC (the test's zone), as the monitor gives it.
int64_t Today(int hour, int minute) {
    const int64_t day = QDateTime::currentMSecsSinceEpoch() / 86400000 * 86400000;
    return day + (hour * 60 + minute) * 60000;
}

TSiteView Site(TSiteState state, int answering) {
    TSiteView site;
    site.State = state;
    site.Answering = answering;
    site.Watched = 4;
    if (state == TSiteState::Down) {
        site.DownSinceMs = Today(3, 12);
        site.Cause = TSiteCause::Uplink;
    }
    return site;
}

TSiteView Last(TSiteView site, const char* outcome, bool ok, int minute) {
    site.LastOutcome = outcome;
    site.LastOk = ok;
    site.LastOutcomeMs = Today(3, minute);
    site.FailedStep = !ok && site.State == TSiteState::Down;
    return site;
}

TSiteView InRound(TSiteView site, bool running, const char* next, uint32_t inMs) {
    site.Round = 2;
    site.MaxRounds = 6;
    site.ActionRunning = running;
    site.RunningAction = running ? "plug" : "";
    site.Verifying = !running;
    site.NextAction = next;
    site.NextInMs = inMs;
    return site;
}

} // namespace

Q_DECLARE_METATYPE(TSiteView)

class SiteToolTipTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qputenv("TZ", "UTC");
        ::tzset();
    }

    // The state and the action under way choose the image; the tooltip says
    // what the image cannot.
    void StateAndActionGiveTheImageAndTheTooltip_data() {
        QTest::addColumn<TSiteView>("site");
        QTest::addColumn<int>("image");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("field");
        const TSiteView down = Site(TSiteState::Down, 1);
        const QString since = QString::fromUtf8("1 ze 4 hostů odpovídá\nMimo provoz od 03:12: ");
        TSiteView held = down;
        held.Cause = TSiteCause::LocalLink;
        held.HeldBy = {TLinkState::TKind::NoCarrier, "eth0"};
        TSiteView noRoute = held;
        noRoute.HeldBy = {TLinkState::TKind::NoRoute, ""};
        noRoute.HeldAddress = "192.168.168.1";
        TSiteView waiting = down;
        waiting.HoldOffMs = 120000;
        TSiteView paused = Last(down, "Unable to reset, invalid response in step #2", false, 20);
        paused.PausedUntilMs = Today(14, 5);
        TSiteView firstStart = down;
        firstStart.AwaitingConfirmation = true;
        firstStart.HoldOffMs = 120000;
        QTest::newRow("down, a first start's settings not confirmed")
            << firstStart << kTraySiteDown
            << since + QString::fromUtf8("uplink\nRestarty čekají na potvrzení nastavení "
                                         "(pingvard --arm)")
            << QString::fromUtf8("Výpadek: uplink");
        QTest::newRow("up") << Site(TSiteState::Up, 4) << kTrayNormal
                            << QString::fromUtf8("4 ze 4 hostů odpovídá")
                            << QString::fromUtf8("V pořádku");
        QTest::newRow("up after a failed attempt")
            << Last(Site(TSiteState::Up, 4), "Unable to reset, cannot connect to 192.168.168.1",
                    false, 20)
            << kTrayNormal
            << QString::fromUtf8("4 ze 4 hostů odpovídá\nNaposledy: Unable to reset, cannot "
                                 "connect to 192.168.168.1 (03:20)")
            << QString::fromUtf8("V pořádku");
        QTest::newRow("degraded") << Site(TSiteState::Degraded, 3) << kTrayNormal
                                  << QString::fromUtf8("3 ze 4 hostů odpovídá")
                                  << QString::fromUtf8("Omezeno (3 ze 4)");
        QTest::newRow("down, held off")
            << waiting << kTraySiteDown
            << since + QString::fromUtf8("uplink\nDalší restart nejdříve za 2 min")
            << QString::fromUtf8("Výpadek: uplink");
        QTest::newRow("down, an action runs")
            << InRound(down, true, "", 0) << kTrayResetting
            << since + QString::fromUtf8("uplink\nKolo 2 z 6: běží plug")
            << QString::fromUtf8("Výpadek: uplink");
        QTest::newRow("down, the next step in 40 s")
            << InRound(Last(down, "Reset OK", true, 14), false, "plug", 40000) << kTraySiteDown
            << since + QString::fromUtf8(
                           "uplink\nKolo 2 z 6: plug za 40 s\nNaposledy: Reset OK (03:14)")
            << QString::fromUtf8("Výpadek: uplink");
        QTest::newRow("down, the last step verified")
            << InRound(down, false, "", 65000) << kTraySiteDown
            << since + QString::fromUtf8("uplink\nKolo 2 z 6: konec za 1 min")
            << QString::fromUtf8("Výpadek: uplink");
        QTest::newRow("down after a failed step, paused")
            << paused << kTrayFailed
            << since + QString::fromUtf8("uplink\nRestarty pozastaveny do 14:05\nNaposledy: Unable "
                                         "to reset, invalid response in step #2 (03:20)")
            << QString::fromUtf8("Výpadek: uplink");
        QTest::newRow("down, no carrier")
            << held << kTraySiteDown
            << since + QString::fromUtf8("místní spojení\nSpojení eth0 tohoto počítače nefunguje: "
                                         "bez restartu")
            << QString::fromUtf8("Výpadek: místní spojení");
        QTest::newRow("down, no route")
            << noRoute << kTraySiteDown
            << since + QString::fromUtf8("místní spojení\nTento počítač nemá cestu k "
                                         "192.168.168.1: bez restartu")
            << QString::fromUtf8("Výpadek: místní spojení");
    }
    void StateAndActionGiveTheImageAndTheTooltip() {
        QFETCH(TSiteView, site);
        QFETCH(int, image);
        QFETCH(QString, tip);
        QFETCH(QString, field);
        QCOMPARE(TrayImageFor(site), image);
        QCOMPARE(TSiteToolTip::ToolTip(site), tip);
        QCOMPARE(TSiteToolTip::StateField(site), field);
    }

    void EnglishWhenChosen() {
        const TUiTranslation english(TUiLanguage::English);
        const TSiteView site =
            InRound(Last(Site(TSiteState::Down, 3), "Reset OK", true, 14), false, "plug", 40000);
        QCOMPARE(TSiteToolTip::ToolTip(site),
                 QString("3 of 4 hosts answer\nDown since 03:12: uplink\nRound 2 of 6: plug in 40 "
                         "s\nLast: Reset OK (03:14)"));
        QCOMPARE(TSiteToolTip::StateField(site), QString("Down: uplink"));
        QCOMPARE(TSiteToolTip::StateField(Site(TSiteState::Up, 4)), QString("Site up"));
    }
};

QTEST_MAIN(SiteToolTipTest)
#include "site_tooltip_test.moc"
