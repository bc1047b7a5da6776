// SPDX-License-Identifier: GPL-3.0-or-later
// The history window's incidents: the uptime strip, the list, and a double
// click that moves the graphs to an incident's time.

#include "tests/ui/history_test_support.h"
#include "ui/history/history_form.h"

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <ctime>
#include <memory>

using namespace pingvard;
using namespace pingvard::test;

namespace {

const THistoryHost kUplink{"192.0.2.10", "uplink"};
constexpr int64_t kWatchedFrom = kNowMs - 50 * kHourMs; // 2026-12-06 09:00 UTC
// Yesterday 05:00 to 06:00 UTC, cured by the plug's step.
constexpr int64_t kCuredFrom = kNowMs - 30 * kHourMs;
constexpr int64_t kCuredTo = kCuredFrom + kHourMs;
// Down for the last ten minutes, a step under way.
constexpr int64_t kOpenFrom = kNowMs - 10 * kMinuteMs;

TMonitorEvent WithIncident(TMonitorEventKind kind, const TIncident& incident, int64_t ms) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
    e.Incident = std::make_shared<const TIncident>(incident);
    return e;
}

std::vector<TMonitorEvent> History() {
    std::vector<TMonitorEvent> events;
    AddEchoes(events, 0, kUplink.Address, kUplink.Name, kWatchedFrom, kNowMs, 10'000,
              [](int64_t) { return 12'000; });
    TIncident cured;
    cured.StartMs = kCuredFrom;
    cured.EndMs = kCuredTo;
    cured.Cause = TSiteCause::Uplink;
    cured.HostsDown = {kUplink.Address};
    cured.Steps = {{"plug", "http", kCuredFrom + 5 * kMinuteMs, kCuredFrom + 5 * kMinuteMs + 3000,
                    true, "Power cycle OK (plug)"}};
    cured.CuredBy = "plug";
    TIncident open;
    open.StartMs = kOpenFrom;
    open.Cause = TSiteCause::AccessPoint;
    open.HostsDown = {kUplink.Address};
    open.Steps = {{"ap", "telnet", kOpenFrom + kMinuteMs, 0, false, ""}};
    events.push_back(WithIncident(TMonitorEventKind::SiteBack, cured, kCuredTo));
    events.push_back(WithIncident(TMonitorEventKind::ActionStarted, open, kOpenFrom + kMinuteMs));
    return events;
}

} // namespace

class HistoryIncidentsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::string m_file;
    std::unique_ptr<THistoryForm> m_form;

    // Opens the window and waits for both the graphs and the incidents.
    void Open() {
        THistoryWindowOptions options;
        options.HistoryFile = m_file;
        options.Hosts = {kUplink};
        options.Range = THistoryRange::Day;
        options.NowMs = [] { return kNowMs; };
        m_form = std::make_unique<THistoryForm>(std::move(options));
        QSignalSpy graphs(m_form.get(), &THistoryForm::Loaded);
        QSignalSpy incidents(m_form->Incidents(), &TIncidentPanel::Loaded);
        m_form->resize(900, 800);
        m_form->show();
        QVERIFY(graphs.count() > 0 || graphs.wait(10'000));
        QVERIFY(incidents.count() > 0 || incidents.wait(10'000));
    }
    int DayOf(int64_t ms) const {
        const std::vector<TUptime>& days = m_form->Incidents()->Strip()->Days();
        for (std::size_t i = 0; i < days.size(); ++i) {
            if (ms >= days[i].FromMs && ms < days[i].ToMs) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

private slots:
    void initTestCase() {
        // Days begin at midnight UTC here, whatever the machine says.
        qputenv("TZ", "UTC");
        ::tzset();
        QLocale::setDefault(QLocale::c());
        m_file = m_dir.filePath("history.db").toStdString();
        WriteHistory(m_file, History());
    }
    void cleanupTestCase() {
        qunsetenv("TZ");
        ::tzset();
    }
    void cleanup() { m_form.reset(); }

    void TheStripColoursEachOfThirtyDaysByTheShareUp() {
        Open();
        const TUptimeStrip& strip = *m_form->Incidents()->Strip();
        QCOMPARE(strip.Days().size(), std::size_t(30));
        QCOMPARE(strip.Days().back().FromMs, kNowMs - 11 * kHourMs); // today's midnight
        const int cured = DayOf(kCuredFrom);
        const int today = DayOf(kNowMs - 1);
        const int first = DayOf(kWatchedFrom);
        QCOMPARE(today, 29);
        QCOMPARE(cured, 28);
        QCOMPARE(first, 27);
        constexpr int64_t kDayMs = 24 * kHourMs;
        const int64_t midnight = kNowMs - 11 * kHourMs;
        struct TRow {
            int Day;
            TUptime Expected;
            QString ToolTip;
        };
        const TRow rows[] = {
            {0, {midnight - 29 * kDayMs, midnight - 28 * kDayMs, 0, 0}, "nesledováno"},
            {26, {midnight - 3 * kDayMs, midnight - 2 * kDayMs, 0, 0}, "nesledováno"},
            {first,
             {midnight - 2 * kDayMs, midnight - kDayMs, 15 * kHourMs, 0},
             "v provozu 100 %, výpadky 0 s z 15 h"},
            {cured,
             {midnight - kDayMs, midnight, kDayMs, kHourMs},
             "v provozu 95.83 %, výpadky 1 h z 1 d"},
            // the last echo was 10 s ago
            {today,
             {midnight, kNowMs, 11 * kHourMs - 10'000, 10 * kMinuteMs - 10'000},
             "v provozu 98.50 %, výpadky 9 min z 10 h 59 min"},
        };
        const QImage image = m_form->Incidents()->Strip()->grab().toImage();
        for (const TRow& row : rows) {
            QCOMPARE(strip.Days()[static_cast<std::size_t>(row.Day)], row.Expected);
            const QString tip = strip.DayToolTip(row.Day);
            QVERIFY2(tip.contains(row.ToolTip), qPrintable(tip));
            QCOMPARE(image.pixelColor(strip.CellRect(row.Day).center()),
                     UptimeColour(row.Expected));
            QCOMPARE(strip.DayAt(strip.CellRect(row.Day).center().x()), row.Day);
        }
        // Green, orange, grey: the colours tell the days apart.
        QVERIFY(UptimeColour(rows[2].Expected) != UptimeColour(rows[3].Expected));
        QVERIFY(UptimeColour(rows[0].Expected) != UptimeColour(rows[2].Expected));
        QCOMPARE(m_form->Incidents()->SummaryText(),
                 QString("V provozu (ze sledované doby): 99.31 % za 24 h, 97.67 % za 7 dní, "
                         "97.67 % za 30 dní"));
    }

    void TheListShowsTheNewestFirstWithItsSteps() {
        Open();
        const TIncidentList& list = *m_form->Incidents()->List();
        QCOMPARE(list.headerItem()->text(0), QString("Začátek"));
        QCOMPARE(list.topLevelItemCount(), 2);
        const QTreeWidgetItem* open = list.topLevelItem(0);
        QCOMPARE(open->text(1), QString("10 min"));
        QCOMPARE(open->text(2), QString("přístupový bod (192.0.2.10)"));
        QCOMPARE(open->text(3), QString("trvá"));
        QCOMPARE(open->child(0)->text(2), QString("ap (telnet)"));
        QCOMPARE(open->child(0)->text(3), QString("neskončil"));
        const QTreeWidgetItem* cured = list.topLevelItem(1);
        QCOMPARE(cured->text(1), QString("1 h"));
        QCOMPARE(cured->text(3), QString("vyřešil plug"));
        QCOMPARE(cured->childCount(), 1);
        QCOMPARE(cured->child(0)->text(0), QString("05:05:00"));
        QCOMPARE(cured->child(0)->text(1), QString("3 s"));
        QCOMPARE(cured->child(0)->text(3), QString("proběhl: Power cycle OK (plug)"));
    }

    // The graphs show the incident with a quarter of its length (at least
    // 15 min) either side, at the resolution that stretch calls for, until a
    // range is chosen again.
    void ADoubleClickMovesTheGraphsToTheIncident() {
        Open();
        TIncidentList& list = *m_form->Incidents()->List();
        QTreeWidgetItem* cured = list.topLevelItem(1);
        list.expandItem(cured);
        list.scrollToItem(cured->child(0));
        QApplication::processEvents();
        const QRect step = list.visualItemRect(cured->child(0));
        QSignalSpy loaded(m_form.get(), &THistoryForm::Loaded);
        // A double click is a press and release, then a press that Qt
        // delivers as the double click.
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, step.center());
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, step.center());
        QVERIFY(loaded.wait(10'000));
        const std::vector<THistoryPoint>& points = m_form->Graphs()[0]->Points();
        QCOMPARE(points.size(), std::size_t(90 * 6)); // 1 h 30 min of single echoes
        QCOMPARE(points.front().TimeMs, kCuredFrom - 15 * kMinuteMs);
        QCOMPARE(points.back().TimeMs, kCuredTo + 15 * kMinuteMs - 10'000);
        QCOMPARE(m_form->StatusText(), QString("jednotlivé ozvěny"));
        for (THistoryRange range : {THistoryRange::Hour, THistoryRange::Day}) {
            QVERIFY(!m_form->RangeButton(range)->isChecked());
        }

        QSignalSpy back(m_form.get(), &THistoryForm::Loaded);
        QTest::mouseClick(m_form->RangeButton(THistoryRange::Day), Qt::LeftButton);
        QVERIFY(back.wait(10'000));
        QVERIFY(m_form->RangeButton(THistoryRange::Day)->isChecked());
        QCOMPARE(m_form->StatusText(), QString("po minutách"));
        QVERIFY(m_form->Graphs()[0]->Points().back().TimeMs >= kNowMs - kMinuteMs);
    }

    void WithoutAHistoryTheStripAndListStayEmpty() {
        THistoryWindowOptions options;
        options.HistoryFile = m_dir.filePath("none.db").toStdString();
        options.NowMs = [] { return kNowMs; };
        m_form = std::make_unique<THistoryForm>(std::move(options));
        QSignalSpy incidents(m_form->Incidents(), &TIncidentPanel::Loaded);
        m_form->show();
        QVERIFY(incidents.wait(10'000));
        QVERIFY(m_form->Incidents()->Strip()->Days().empty());
        QCOMPARE(m_form->Incidents()->List()->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(HistoryIncidentsTest)
#include "history_incidents_test.moc"
