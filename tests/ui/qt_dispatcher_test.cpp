#include "ui/qt_dispatcher.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

using namespace pingvard;

class QtDispatcherTest : public QObject {
    Q_OBJECT

private slots:
    void SendFromAWorkerRunsOnTheGuiThreadAndWaits() {
        TQtDispatcher dispatcher;
        QThread* gui = QThread::currentThread();
        int value = 0; // written on the GUI thread, read by the sender after Send
        std::atomic<bool> sent{false};
        bool ranOnGui = false;
        int seenBySender = -1;
        std::thread worker([&] {
            const bool ok = dispatcher.Send([&] {
                ranOnGui = QThread::currentThread() == gui;
                value = 42;
            });
            seenBySender = ok ? value : -2;
            sent = true;
        });
        QTRY_VERIFY(sent.load());
        worker.join();
        QVERIFY(ranOnGui);
        QCOMPARE(seenBySender, 42);
    }

    void SendOnTheGuiThreadRunsAtOnce() {
        TQtDispatcher dispatcher;
        bool ran = false;
        QVERIFY(dispatcher.Send([&] { ran = true; }));
        QVERIFY(ran);
    }

    void CancelReleasesAWaitingSenderWithoutRunningIt() {
        TQtDispatcher dispatcher;
        std::atomic<bool> ran{false};
        std::atomic<int> result{-1};
        std::thread worker([&] { result = dispatcher.Send([&] { ran = true; }) ? 1 : 0; });
        // The GUI thread does not serve events here, so the call stays queued.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        dispatcher.Cancel();
        worker.join();
        QCOMPARE(result.load(), 0);
        QCoreApplication::processEvents();
        QVERIFY(!ran.load());
    }

    void SendAfterCancelIsRefusedOnEveryThread() {
        TQtDispatcher dispatcher;
        dispatcher.Cancel();
        bool ran = false;
        QVERIFY(!dispatcher.Send([&] { ran = true; }));
        bool workerResult = true;
        std::thread worker([&] { workerResult = dispatcher.Send([&] { ran = true; }); });
        worker.join();
        QVERIFY(!workerResult);
        QCoreApplication::processEvents();
        QVERIFY(!ran);
    }

    void ManySendersAreServedInTurn() {
        TQtDispatcher dispatcher;
        int total = 0; // GUI thread only
        std::atomic<int> finished{0};
        std::vector<std::thread> workers;
        for (int i = 0; i < 4; ++i) {
            workers.emplace_back([&] {
                for (int n = 0; n < 50; ++n) {
                    dispatcher.Send([&] { ++total; });
                }
                ++finished;
            });
        }
        QTRY_COMPARE(finished.load(), 4);
        for (auto& w : workers) {
            w.join();
        }
        QCOMPARE(total, 200);
    }
};

QTEST_GUILESS_MAIN(QtDispatcherTest)
#include "qt_dispatcher_test.moc"
