// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/exit_signals.h"

#include <QTest>
#include <csignal>

using namespace pingvard;

class ExitSignalsTest : public QObject {
    Q_OBJECT

private slots:
    void TermAndIntBecomeOneCallInTheEventLoop_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void TermAndIntBecomeOneCallInTheEventLoop() {
        QFETCH(int, signal);
        int calls = 0;
        TExitSignals watcher([&] { ++calls; });
        QVERIFY(std::raise(signal) == 0); // would end the test run without the handler
        QCOMPARE(calls, 0);               // nothing runs inside the handler
        QTRY_COMPARE(calls, 1);
    }

    void Usr1IsRestartNowAndNeverAnExit() {
        int exits = 0;
        int restarts = 0;
        TExitSignals watcher([&] { ++exits; }, [&] { ++restarts; });
        QVERIFY(std::raise(SIGUSR1) == 0); // its default action would end the test run
        QTRY_COMPARE(restarts, 1);
        QCOMPARE(exits, 0);
    }
};

QTEST_GUILESS_MAIN(ExitSignalsTest)
#include "exit_signals_test.moc"
