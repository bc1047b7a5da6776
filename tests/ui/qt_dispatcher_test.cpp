// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/monitor/dispatcher_contract.h"
#include "ui/qt_dispatcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <thread>
#include <vector>

namespace pingvard {
namespace {

using namespace test;

struct TQtDriver {
    using TDispatcher = TQtDispatcher;
    static void Serve(TQtDispatcher&) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, DispatcherContract, TQtDriver);

TEST(QtDispatcher, ManySendersAreServedInTurn) {
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
    while (finished < 4) {
        TQtDriver::Serve(dispatcher);
    }
    for (auto& w : workers) {
        w.join();
    }
    EXPECT_EQ(total, 200);
}

} // namespace
} // namespace pingvard

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
