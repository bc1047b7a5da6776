// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ui/history_test_support.h"
#include "ui/history/history_form.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace pingvard;
using namespace pingvard::test;

namespace {

const THistoryHost kUplink{"192.0.2.10", "uplink"};
const THistoryHost kServer{"192.0.2.20", "server"};
constexpr int64_t kLostFrom = kNowMs - 100 * kMinuteMs; // the server answers nothing
constexpr int64_t kLostTo = kNowMs - 70 * kMinuteMs;
constexpr int64_t kLossyFrom = kNowMs - 60 * kMinuteMs; // the server loses every tenth
constexpr int64_t kLossyTo = kNowMs - 40 * kMinuteMs;
constexpr int64_t kOutcomeAt = kNowMs - 45 * kMinuteMs;

// Two hours of echoes every 2 s. The uplink's round trips repeat 10..14 ms,
// so every minute of it is min 10, median 12, max 14 ms.
std::vector<TMonitorEvent> TwoHours() {
    std::vector<TMonitorEvent> events;
    AddEchoes(events, 0, kUplink.Address, kUplink.Name, kNowMs - 2 * kHourMs, kNowMs, 2000,
              [](int64_t t) { return 10'000 + t / 2000 % 5 * 1000; });
    AddEchoes(events, 1, kServer.Address, kServer.Name, kNowMs - 2 * kHourMs, kNowMs, 2000,
              [](int64_t t) -> std::optional<int64_t> {
                  if ((t >= kLostFrom && t < kLostTo) ||
                      (t >= kLossyFrom && t < kLossyTo && t / 2000 % 10 == 0)) {
                      return std::nullopt;
                  }
                  return 20'000;
              });
    events.push_back(OutcomeEvent(kOutcomeAt, false, "Unable to power cycle, HTTP 401 from x"));
    return events;
}

// The column of a time in a graph showing the 24 h that end at kNowMs.
int DayX(const THistoryGraph& graph, int64_t timeMs) {
    const QRect plot = graph.PlotRect();
    const int64_t from = kNowMs - 24 * kHourMs;
    return plot.left() + static_cast<int>((timeMs - from) * plot.width() / (24 * kHourMs + 1));
}

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <=
           12;
}

// Whether some pixel of the plot's column x has about the colour.
bool ColumnHas(const QImage& image, const QRect& plot, int x, QColor colour) {
    for (int y = plot.top() + 1; y < plot.bottom(); ++y) {
        if (Near(image.pixelColor(x, y), colour)) {
            return true;
        }
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(THistoryRange)

class HistoryFormTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::string m_file;
    std::unique_ptr<THistoryForm> m_form;

    THistoryWindowOptions Options(THistoryRange range) const {
        THistoryWindowOptions options;
        options.HistoryFile = m_file;
        options.Hosts = {kUplink, kServer};
        options.Range = range;
        options.NowMs = [] { return kNowMs; };
        return options;
    }
    THistoryForm& Open(THistoryRange range, THistoryWindowOptions options = {}) {
        if (options.HistoryFile.empty()) {
            options = Options(range);
        }
        m_form = std::make_unique<THistoryForm>(std::move(options));
        QSignalSpy loaded(m_form.get(), &THistoryForm::Loaded);
        m_form->show();
        if (!loaded.wait(10'000)) {
            qFatal("the history window read nothing");
        }
        return *m_form;
    }
    void Switch(THistoryRange range) {
        QSignalSpy loaded(m_form.get(), &THistoryForm::Loaded);
        QTest::mouseClick(m_form->RangeButton(range), Qt::LeftButton);
        QVERIFY(loaded.wait(10'000));
    }

private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale::c());
        m_file = m_dir.filePath("history.db").toStdString();
        WriteHistory(m_file, TwoHours());
    }
    void cleanup() { m_form.reset(); }

    void OpensWithAGraphPerHostAndReportsTheFirstCompletePaint() {
        m_form = std::make_unique<THistoryForm>(Options(THistoryRange::Hour));
        QSignalSpy opened(m_form.get(), &THistoryForm::FirstCompletePaint);
        m_form->show();
        QVERIFY(opened.wait(10'000));
        QVERIFY(opened.front().front().toLongLong() < 10'000);
        QCOMPARE(m_form->windowTitle(), QString("Historie"));
        QCOMPARE(m_form->Graphs().size(), 2u);
        QCOMPARE(m_form->Graphs()[1]->Host().Name, kServer.Name);
        QVERIFY(!m_form->Graphs()[0]->Points().empty());
    }

    void RangesReadTheirSpanAtTheirResolution_data() {
        QTest::addColumn<THistoryRange>("range");
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("status");
        QTest::newRow("1 h: single echoes") << THistoryRange::Hour << 1800 << "jednotlivé ozvěny";
        QTest::newRow("24 h: minutes") << THistoryRange::Day << 120 << "po minutách";
        QTest::newRow("7 days") << THistoryRange::Week << 120 << "po minutách";
        QTest::newRow("90 days") << THistoryRange::Quarter << 120 << "po minutách";
    }
    void RangesReadTheirSpanAtTheirResolution() {
        QFETCH(THistoryRange, range);
        QFETCH(int, points);
        QFETCH(QString, status);
        Open(range == THistoryRange::Hour ? THistoryRange::Day : THistoryRange::Hour);
        Switch(range);
        QCOMPARE(m_form->Range(), range);
        QVERIFY(m_form->RangeButton(range)->isChecked());
        QCOMPARE(m_form->Graphs()[0]->Points().size(), std::size_t(points));
        QCOMPARE(m_form->StatusText(), status);
    }

    void HoverShowsThePointsFiguresAndTheOutcomeBesideIt() {
        Open(THistoryRange::Day);
        m_form->resize(1200, 700);
        QApplication::processEvents();
        const THistoryGraph& uplink = *m_form->Graphs()[0];
        const QString point = uplink.HoverText(DayX(uplink, kNowMs - 90 * kMinuteMs));
        QVERIFY2(point.contains("ozvěn 30, ztraceno 0 (0.0 %)"), qPrintable(point));
        QVERIFY2(point.contains("min 10.0 ms · medián 12.0 ms · max 14.0 ms"), qPrintable(point));
        QVERIFY(!point.contains("Obnova"));

        const THistoryGraph& server = *m_form->Graphs()[1];
        const QString outcome = server.HoverText(DayX(server, kOutcomeAt));
        QVERIFY2(outcome.startsWith("Obnova plug (http) selhala\nUnable to power cycle, HTTP 401"),
                 qPrintable(outcome));
        QCOMPARE(server.HoverText(server.PlotRect().left() - 5), QString());
    }

    void PacketLossColoursTheLine() {
        Open(THistoryRange::Day);
        m_form->resize(1200, 700);
        QApplication::processEvents();
        THistoryGraph& server = *m_form->Graphs()[1];
        const QImage image = server.grab().toImage();
        const QRect plot = server.PlotRect();
        const int strip = plot.bottom() - 1; // where lossy columns are marked
        const int lost = DayX(server, (kLostFrom + kLostTo) / 2);
        QCOMPARE(image.pixelColor(lost, strip), LossColour(kLossClasses - 1));
        const int lossy = DayX(server, kLossyFrom + 5 * kMinuteMs);
        QCOMPARE(image.pixelColor(lossy, strip), LossColour(4)); // 10 %
        QVERIFY(ColumnHas(image, plot, lossy, LossColour(4)));
        const int clean = DayX(server, kNowMs - 20 * kMinuteMs);
        QVERIFY(ColumnHas(image, plot, clean, LossColour(0)));
        QVERIFY(!ColumnHas(image, plot, clean, LossColour(4)));
        QVERIFY(image.pixelColor(clean, strip) != LossColour(0));
    }

    void WithoutNamedHostsShowsEveryRecordedHost() {
        THistoryWindowOptions options = Options(THistoryRange::Hour);
        options.Hosts.clear();
        Open(THistoryRange::Hour, options);
        QCOMPARE(m_form->Graphs().size(), 2u);
        QCOMPARE(m_form->Graphs()[0]->Host().Address, kUplink.Address);
        QCOMPARE(m_form->Graphs()[1]->Host().Name, kServer.Name);
    }

    void SaysWhyWhenThereIsNoHistory() {
        THistoryWindowOptions options = Options(THistoryRange::Day);
        options.HistoryFile = m_dir.filePath("none.db").toStdString();
        Open(THistoryRange::Day, options);
        QVERIFY(m_form->Graphs()[0]->Points().empty());
        QVERIFY2(m_form->Graphs()[0]->Message().startsWith("Historie není k dispozici: no history"),
                 qPrintable(m_form->Graphs()[0]->Message()));
    }

    void OpeningAgainBringsTheSameWindowForward() {
        QWidget parent;
        THistoryForm* first = OpenHistoryWindow(&parent, Options(THistoryRange::Day));
        THistoryWindowOptions again = Options(THistoryRange::Hour);
        again.FocusHost = kServer.Address;
        QCOMPARE(OpenHistoryWindow(&parent, again), first);
        QCOMPARE(first->Range(), THistoryRange::Day); // the user's choice stays
        QCOMPARE(first->focusWidget(), first->Graphs()[1]);
        QVERIFY(first->testAttribute(Qt::WA_DeleteOnClose));
    }
};

QTEST_MAIN(HistoryFormTest)
#include "history_form_test.moc"
