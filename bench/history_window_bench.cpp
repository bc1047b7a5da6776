// SPDX-License-Identifier: GPL-3.0-or-later
// The history window on 90 days of one-minute data of four hosts (518,400
// points): how long it takes from the open request to the first paint that
// shows every graph's points, what a repaint costs after a resize and per
// hover step, and a screenshot. Run by the test command (history_window_open)
// with a limit; see docs/benchmarks.md.
//
//   history_window_bench SCREENSHOT.png [--dir DIR] [--runs N] [--limit-ms MS]
//
// The database goes to a temporary directory of its own unless DIR is given.
// With a limit, an open slower than it fails the run (exit status 1).

#include "observe/history/history_store.h"
#include "observe/history/sqlite_db.h"
#include "ui/history/history_form.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace pingvard;

namespace {

constexpr int64_t kMinute = 60'000;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;
constexpr int64_t kNow = 1'796'727'600'000; // 2026-12-08 11:00 UTC
constexpr int64_t kStart = kNow - 90 * kDay;
constexpr int64_t kRawFrom = kNow - kHour; // newer minutes come from single echoes

const std::vector<THistoryHost> kHosts = {{"192.0.2.10", "pool.ntp.org"},
                                          {"198.51.100.20", "www.yahoo.com"},
                                          {"203.0.113.30", "www.geant.org"},
                                          {"192.168.168.1", "AP"}};
constexpr double kBaseMs[] = {14, 22, 31, 1.2};

struct TRandom {
    uint64_t State = 0x9e3779b97f4a7c15ULL;
    double Next() { // [0, 1)
        State = State * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(State >> 11) / 9007199254740992.0;
    }
};

// The synthetic site: an evening peak, jitter, stray slow echoes, a few
// congested afternoons, two outages of the uplink that recovery actions
// cured, and an afternoon when the program did not run.
struct TSite {
    static bool Stopped(int64_t t) {
        return t >= kStart + 50 * kDay + 10 * kHour && t < kStart + 50 * kDay + 14 * kHour;
    }
    static bool Outage(int host, int64_t t) {
        const int64_t a = kStart + 70 * kDay + 2 * kHour + 10 * kMinute;
        const int64_t b = kStart + 81 * kDay + 3 * kHour + 5 * kMinute;
        const int64_t c = kNow - 7 * kHour; // one in the last day, for its screenshot
        return host < 3 && ((t >= a && t < a + 42 * kMinute) || (t >= b && t < b + 15 * kMinute) ||
                            (t >= c && t < c + 25 * kMinute));
    }
    static bool Congested(int host, int64_t t) {
        const int64_t day = (t - kStart) / kDay;
        const int64_t hour = (t - kStart) % kDay / kHour;
        return host < 3 && (day == 12 || day == 40 || day == 63 || day == 88 || day == 89) &&
               hour >= 15 && hour < 19;
    }
    static double MedianMs(int host, int64_t t, TRandom& random) {
        const double hourOfDay = static_cast<double>((t - kStart) % kDay) / kHour;
        const double evening = 1 + 0.3 * (0.5 + 0.5 * std::cos(2 * M_PI * (hourOfDay - 20) / 24));
        return kBaseMs[host] * evening * (1 + 0.12 * random.Next()) *
               (Congested(host, t) ? 2.6 : 1.0);
    }
};

void Fail(const std::string& what) {
    std::fprintf(stderr, "history_window_bench: %s\n", what.c_str());
    std::exit(1);
}

TMonitorEvent Event(TMonitorEventKind kind, int64_t t) {
    TMonitorEvent e;
    e.Kind = kind;
    e.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(t));
    return e;
}

TMonitorEvent Outcome(int64_t t, const char* action, const char* kind, bool ok, const char* text) {
    TMonitorEvent e = Event(TMonitorEventKind::ActionOutcome, t);
    e.Action = action;
    e.ActionKind = kind;
    e.Ok = ok;
    e.Text = text;
    return e;
}

// The hosts, the recovery events and the last hour's echoes go through the
// writer itself; the 90 days of minutes straight into its table, which is
// what its roll-up leaves.
void WriteHistory(const std::string& file) {
    std::filesystem::remove(file);
    TRandom random;
    {
        THistoryOptions options;
        options.FileName = file;
        options.NowMs = [] { return kNow; };
        THistoryStore store(options);
        std::vector<TMonitorEvent> events;
        const int64_t a = kStart + 70 * kDay + 2 * kHour + 10 * kMinute;
        const int64_t b = kStart + 81 * kDay + 3 * kHour + 5 * kMinute;
        events.push_back(Event(TMonitorEventKind::RuleFired, a + 3 * kMinute));
        events.push_back(Outcome(a + 4 * kMinute, "telnet", "telnet", false,
                                 "Unable to reset, invalid response in step #2"));
        events.push_back(Outcome(a + 41 * kMinute, "plug", "http", true, "Power cycle OK (plug)"));
        events.push_back(Event(TMonitorEventKind::RuleFired, b + 3 * kMinute));
        events.push_back(
            Outcome(b + 14 * kMinute, "telnet", "telnet", true, "Reset OK - 11/28/26 03:19:12"));
        const int64_t c = kNow - 7 * kHour;
        events.push_back(Event(TMonitorEventKind::RuleFired, c + 3 * kMinute));
        events.push_back(Outcome(c + 24 * kMinute, "plug", "http", true, "Power cycle OK (plug)"));
        for (int64_t t = kRawFrom; t < kNow; t += 2000) {
            for (int h = 0; h < 4; ++h) {
                TMonitorEvent echo = Event(TMonitorEventKind::Echo, t);
                echo.Slot = h;
                echo.Host = kHosts[h].Address;
                echo.DisplayName = kHosts[h].Name;
                if (random.Next() >= 0.01) {
                    echo.RoundTripUs = std::llround(TSite::MedianMs(h, t, random) * 1000);
                }
                events.push_back(echo);
            }
        }
        store.Consume(events, 0);
        if (store.Failing()) {
            Fail("cannot write " + file);
        }
    }
    TSqliteDb db;
    if (!db.Open(file, false) || !db.Exec("BEGIN")) {
        Fail("cannot open " + file);
    }
    TSqliteStatement minute =
        db.Prepare("INSERT OR REPLACE INTO minute(host, t, n, lost, lo, med, hi, p10, p25, p75, "
                   "p90) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11)");
    for (int h = 0; h < 4; ++h) {
        for (int64_t t = kStart; t < kRawFrom; t += kMinute) {
            if (TSite::Stopped(t)) {
                continue;
            }
            int64_t lost = random.Next() < 0.015 ? 1 : 0;
            if (TSite::Congested(h, t)) {
                lost = static_cast<int64_t>(random.Next() * 7);
            }
            minute.Bind(1, int64_t{h + 1}).Bind(2, t / 1000).Bind(3, int64_t{30});
            if (TSite::Outage(h, t)) {
                minute.Bind(4, int64_t{30})
                    .Bind(5, std::nullopt)
                    .Bind(6, std::nullopt)
                    .Bind(7, std::nullopt)
                    .Bind(8, std::nullopt)
                    .Bind(9, std::nullopt)
                    .Bind(10, std::nullopt)
                    .Bind(11, std::nullopt);
            } else {
                const double median = TSite::MedianMs(h, t, random);
                const double wide = TSite::Congested(h, t) ? 3 : 1; // a busy line spreads
                const double spike = std::pow(random.Next(), 20) * 8 * kBaseMs[h];
                minute.Bind(4, lost)
                    .Bind(5, std::llround(median * 850))
                    .Bind(6, std::llround(median * 1000))
                    .Bind(7, std::llround((median * 1.35 + spike) * 1000))
                    .Bind(8, std::llround(median * (1 - 0.09 * wide) * 1000))
                    .Bind(9, std::llround(median * (1 - 0.045 * wide) * 1000))
                    .Bind(10, std::llround(median * (1 + 0.06 * wide) * 1000))
                    .Bind(11, std::llround(median * (1 + 0.14 * wide) * 1000));
            }
            if (minute.Step() != SQLITE_DONE) {
                Fail("cannot write the minutes: " + db.Error());
            }
        }
    }
    TSqliteStatement mark = db.Prepare("INSERT OR REPLACE INTO meta VALUES('minute_done', ?1)");
    mark.Bind(1, kRawFrom).Step();
    db.Exec("COMMIT");
    db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

double ThreadCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The peak resident set of this process in MiB, from /proc (0 elsewhere).
double PeakMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024;
        }
    }
    return 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Opens the window and waits for its first complete paint; the time it reports.
THistoryForm* Open(const std::string& file, qint64& ms) {
    THistoryWindowOptions options;
    options.HistoryFile = file;
    options.Hosts = kHosts;
    options.Range = THistoryRange::Quarter;
    options.NowMs = [] { return kNow; };
    QEventLoop loop;
    ms = -1;
    THistoryForm* form = nullptr;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(30'000);
    form = OpenHistoryWindow(nullptr, options);
    QObject::connect(form, &THistoryForm::FirstCompletePaint, &loop, [&](qint64 elapsed) {
        ms = elapsed;
        QTimer::singleShot(0, &loop, &QEventLoop::quit); // not inside the paint
    });
    loop.exec();
    if (ms < 0) {
        Fail("the window did not paint its graphs within 30 s");
    }
    return form;
}

void Settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

// The window as it shows, with the hover's tooltip painted in where it stands.
QImage Screenshot(THistoryForm* form) {
    QImage image = form->grab().toImage();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->inherits("QTipLabel")) {
            QPainter painter(&image);
            painter.drawPixmap(w->pos() - form->pos(), w->grab());
        }
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SCREENSHOT.png [--dir DIR] [--runs N] [--limit-ms MS]\n",
                     argv[0]);
        return 2;
    }
    const QString shot = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir scratch(QDir::tempPath() + "/pingvard-history-window-XXXXXX");
    std::string dir = scratch.path().toStdString();
    int runs = 5;
    qint64 limitMs = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--dir") {
            dir = argv[i + 1];
        } else if (option == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (option == "--limit-ms") {
            limitMs = std::atoll(argv[i + 1]);
        }
    }
    const std::string file = dir + "/history.db";
    QElapsedTimer written;
    written.start();
    WriteHistory(file);
    std::printf("history: 4 hosts, 90 days of one-minute points (518400), the last hour as "
                "single echoes; written in %.1f s\n",
                static_cast<double>(written.elapsed()) / 1000);

    std::vector<double> opens;
    THistoryForm* form = nullptr;
    for (int run = 0; run < runs; ++run) {
        if (form != nullptr) {
            form->close(); // deleted on close
            Settle();
        }
        qint64 ms = 0;
        form = Open(file, ms);
        opens.push_back(static_cast<double>(ms));
        std::printf("open %d: %lld ms from the open request to the first complete paint (reading "
                    "%.0f ms)\n",
                    run + 1, static_cast<long long>(ms),
                    static_cast<double>(form->LastReadUs()) / 1000);
    }

    std::vector<double> resizes;
    std::vector<double> resizeCpu;
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer t;
        t.start();
        const double cpu = ThreadCpuMs();
        form->resize(i % 2 ? 720 : 900, 660);
        form->repaint();
        resizeCpu.push_back(ThreadCpuMs() - cpu);
        resizes.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    form->resize(720, 660);
    Settle();
    THistoryGraph* graph = form->Graphs().front();
    const QRect plot = graph->PlotRect();
    std::vector<double> hovers;
    std::vector<double> hoverCpu;
    for (int i = 0; i < 50; ++i) {
        const QPointF at(plot.left() + (plot.width() - 1) * i / 49.0, plot.center().y());
        QElapsedTimer t;
        t.start();
        const double cpu = ThreadCpuMs();
        QMouseEvent move(QEvent::MouseMove, at, graph->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(graph, &move);
        graph->repaint();
        hoverCpu.push_back(ThreadCpuMs() - cpu);
        hovers.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf("open: first %.0f ms, median %.0f ms, max %.0f ms (%d runs)\n", opens.front(),
                Median(opens), *std::max_element(opens.begin(), opens.end()), runs);
    std::printf("resize and repaint of the whole window: median %.1f ms wall, %.1f ms CPU\n",
                Median(resizes), Median(resizeCpu));
    std::printf("hover step (figures and repaint of one graph): median %.2f ms wall, %.2f ms CPU\n",
                Median(hovers), Median(hoverCpu));

    // The screenshot: hovering the first outage's failed telnet step.
    const int64_t failed = kStart + 70 * kDay + 2 * kHour + 14 * kMinute;
    const double x = plot.left() + static_cast<double>(failed - (kNow - 90 * kDay)) * plot.width() /
                                       static_cast<double>(90 * kDay);
    const QPointF at(x, plot.center().y());
    QMouseEvent move(QEvent::MouseMove, at, graph->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(graph, &move);
    Settle();
    QDir().mkpath(QFileInfo(shot).absolutePath());
    if (!Screenshot(form).save(shot)) {
        Fail("cannot save " + shot.toStdString());
    }
    std::printf("screenshot: %s\n", qPrintable(shot));

    // The last 24 hours, hovering the outage of that day.
    {
        QEventLoop loop;
        QObject::connect(form, &THistoryForm::Loaded, &loop, &QEventLoop::quit);
        QTimer::singleShot(30'000, &loop, &QEventLoop::quit);
        form->resize(900, 660); // room for the hover's figures right of the outage
        form->ShowRange(THistoryRange::Day);
        loop.exec();
        Settle();
        THistoryGraph* first = form->Graphs().front();
        const QRect dayPlot = first->PlotRect();
        const int64_t outage = kNow - 7 * kHour + 12 * kMinute;
        const QPointF over(dayPlot.left() + static_cast<double>(outage - (kNow - kDay)) *
                                                dayPlot.width() / static_cast<double>(kDay),
                           dayPlot.center().y());
        QMouseEvent hover(QEvent::MouseMove, over, first->mapToGlobal(over), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(first, &hover);
        Settle();
        QString dayShot = shot;
        dayShot.replace(QRegularExpression(QStringLiteral("\\.png$")), QStringLiteral("-24h.png"));
        if (!Screenshot(form).save(dayShot)) {
            Fail("cannot save " + dayShot.toStdString());
        }
        std::printf("screenshot: %s\n", qPrintable(dayShot));
    }
    std::printf("peak resident set of the process: %.1f MiB\n", PeakMiB());
    form->close();
    Settle();
    const double worst = *std::max_element(opens.begin(), opens.end());
    if (limitMs > 0 && worst > static_cast<double>(limitMs)) {
        std::printf("FAIL: an open took %.0f ms, over the limit of %lld ms\n", worst,
                    static_cast<long long>(limitMs));
        return 1;
    }
    return 0;
}
