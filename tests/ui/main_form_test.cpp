// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/event_log.h"
#include "recovery/telnet_action.h"
#include "tests/ui/ui_test_support.h"
#include "ui/settings/settings_form.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

using namespace pingvard;
using namespace pingvard::test;

namespace {

QImage Pixels(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

enum class TOutcome { Starting, ConnectFailed, Ok, FailedStep };

// As a reset session hands them to the GUI thread.
void Run(TMainForm& form, TOutcome outcome) {
    THostMonitor& monitor = form.Monitor();
    switch (outcome) {
    case TOutcome::Starting:
        monitor.ShowResetStarting();
        break;
    case TOutcome::ConnectFailed:
        monitor.ShowResetOutcome(TelnetConnectFailed(monitor.ResetHost()));
        break;
    case TOutcome::Ok:
        monitor.ShowResetOutcome(TelnetResetOk());
        break;
    case TOutcome::FailedStep:
        monitor.ShowResetOutcome(TelnetFailedStep(0));
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(TOutcome)

class MainFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TProgramDir> m_dir;
    std::shared_ptr<TFakeTrayState> m_tray;
    std::unique_ptr<TMainForm> m_form;

    void Create(bool trayAvailable = true) {
        m_tray = std::make_shared<TFakeTrayState>();
        m_tray->available = trayAvailable;
        m_form = MakeMainForm(m_tray);
    }

private slots:
    void init() {
        m_dir = std::make_unique<TProgramDir>(kQuietIni);
        Create();
    }
    void cleanup() {
        m_form.reset();
        m_dir.reset();
    }

    void StartsHiddenWithImageZeroInTheTray() {
        QVERIFY(m_form->FormCreate());
        m_form->ShowAtStart();
        QVERIFY(!m_form->isVisible());
        QVERIFY(m_tray->shown);
        QCOMPARE(m_tray->tip, QString());
        QCOMPARE(Pixels(m_tray->icon), Pixels(m_form->ImageList1->Icon(0)));
        QCOMPARE(m_form->P1->text(), QString("-"));
        QCOMPARE(m_form->Host1->text(), QString("loopback"));
        QCOMPARE(m_form->StatusText(), QString());
    }

    // While the site is up, an outcome shows as the site's image: a failed
    // attempt is named in the tooltip, not in the image (the full table of
    // state and action is the site's own test).
    void OutcomesSetTheTrayImageOfTheSite_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<TOutcome>("outcome");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("iconCopied");
        QTest::newRow("start from normal") << 0 << TOutcome::Starting << 1 << true;
        QTest::newRow("start while resetting") << 1 << TOutcome::Starting << 1 << false;
        QTest::newRow("start after a failure") << 2 << TOutcome::Starting << 1 << true;
        QTest::newRow("connect failed") << 1 << TOutcome::ConnectFailed << 0 << true;
        QTest::newRow("failed step") << 1 << TOutcome::FailedStep << 0 << true;
        QTest::newRow("ok after a failure") << 2 << TOutcome::Ok << 0 << true;
        QTest::newRow("ok") << 1 << TOutcome::Ok << 0 << true;
    }
    void OutcomesSetTheTrayImageOfTheSite() {
        QFETCH(int, from);
        QFETCH(TOutcome, outcome);
        QFETCH(int, to);
        QFETCH(bool, iconCopied);
        m_form->SetTrayIconIndex(from);
        const QIcon marker(QPixmap(16, 16));
        QApplication::setWindowIcon(marker);
        if (outcome != TOutcome::Starting) {
            Run(*m_form, TOutcome::Starting); // an outcome ends a step that started
            m_form->SetTrayIconIndex(from);
            QApplication::setWindowIcon(marker);
        }
        Run(*m_form, outcome);
        QCOMPARE(m_form->TrayIconIndex(), to);
        QCOMPARE(Pixels(m_tray->icon), Pixels(m_form->ImageList1->Icon(to)));
        QCOMPARE(Pixels(QApplication::windowIcon()),
                 Pixels(iconCopied ? m_form->ImageList1->Icon(to) : marker));
    }

    // The marked hosts down: the fourth image, the tooltip and the state
    // field say so, and the designed status line keeps its outcome text.
    void TheSiteDownShowsItsOwnImageTooltipAndField() {
        QVERIFY(m_form->FormCreate());
        m_form->Monitor().HoldRestarts(true); // no action: the site is down, nothing failed
        for (int round = 0; round < 5; ++round) {
            for (int slot = 0; slot < 4; ++slot) {
                m_form->WMPing(slot, slot == 3 ? 7 : -1); // hosts 1-3 are the marked ones
            }
        }
        QCOMPARE(m_form->TrayIconIndex(), kTraySiteDown);
        QCOMPARE(Pixels(m_tray->icon), Pixels(m_form->ImageList1->Icon(kTraySiteDown)));
        QVERIFY2(
            m_tray->tip.startsWith(QString::fromUtf8("1 ze 4 hostů odpovídá\nMimo provoz od ")),
            qPrintable(m_tray->tip));
        QVERIFY(m_form->SiteText().startsWith(QString::fromUtf8("Výpadek: ")));
        for (int slot = 0; slot < 4; ++slot) {
            m_form->WMPing(slot, 5);
        }
        QCOMPARE(m_form->TrayIconIndex(), kTrayNormal);
        QCOMPARE(m_tray->tip, QString::fromUtf8("4 ze 4 hostů odpovídá"));
        QCOMPARE(m_form->SiteText(), QString::fromUtf8("V pořádku"));
    }

    void IndexFourOrMoreShowsImageThree() {
        m_form->SetTrayIconIndex(4);
        QCOMPARE(m_form->TrayIconIndex(), 3);
        QCOMPARE(Pixels(m_tray->icon), Pixels(m_form->ImageList1->Icon(3)));
    }

    void OutcomesWriteStatusBarAndEventLog() {
        QVERIFY(m_form->FormCreate());
        Run(*m_form, TOutcome::Starting);
        QCOMPARE(m_form->StatusText(), QString("Trying to reset..."));
        Run(*m_form, TOutcome::ConnectFailed);
        QCOMPARE(m_form->StatusText(), QString("Unable to reset, cannot connect to 127.0.0.9"));
        Run(*m_form, TOutcome::Ok);
        QVERIFY(m_form->StatusText().startsWith("Reset OK - "));
        const QByteArray log = m_dir->ReadFile("pingvard.log");
        QVERIFY(log.contains(": Unable to reset, cannot connect to 127.0.0.9\r\n"));
        QVERIFY(log.endsWith(": Reset OK\r\n"));
        QVERIFY(!log.contains("Trying"));
    }

    void CloseBoxHidesToTheTrayAndCopiesTheImage() {
        m_form->Obnovit1Click();
        QVERIFY(m_form->isVisible());
        m_form->SetTrayIconIndex(2);
        QApplication::setWindowIcon(QIcon(QPixmap(16, 16)));
        QVERIFY(!m_form->close()); // the close is refused: the window only hides
        QVERIFY(!m_form->isVisible());
        QCOMPARE(Pixels(QApplication::windowIcon()), Pixels(m_form->ImageList1->Icon(2)));
        m_form->Obnovit1Click();
        QVERIFY(m_form->isVisible());
        m_form->Hide1->trigger(); // "Skrýt" finds the window visible
        QVERIFY(!m_form->isVisible());
    }

    void TrayClickTogglesTheWindow() {
        auto& backend = static_cast<TFakeTrayBackend&>(m_form->TrayIcon1->Backend());
        m_form->TrayIcon1->DoubleClickIntervalMs = 0;
        backend.Activate(TTrayActivation::Trigger);
        QVERIFY(m_form->isVisible());
        backend.Activate(TTrayActivation::Trigger);
        QVERIFY(!m_form->isVisible());
    }

    void WithoutNotificationAreaTheWindowShowsAndMinimises() {
        Create(false);
        QVERIFY(m_form->FormCreate());
        m_form->ShowAtStart();
        QVERIFY(m_form->isVisible());
        QVERIFY(!m_form->close());
        QVERIFY(m_form->isMinimized());
        QVERIFY(m_form->isVisible());
    }

    // Started before the panel: when a notification area comes, the icon is
    // in it and the window goes back to hiding, and from then on closes to it.
    void ANotificationAreaAppearingLaterTakesTheWindow() {
        Create(false);
        QVERIFY(m_form->FormCreate());
        m_form->ShowAtStart();
        QVERIFY(m_form->isVisible());
        std::string told;
        m_form->OnDiagnostic = [&](const std::string& text) { told = text; };
        static_cast<TFakeTrayBackend&>(m_form->TrayIcon1->Backend()).Appear();
        QVERIFY(m_form->HidesToTray());
        QVERIFY(!m_form->isVisible());
        QVERIFY(!told.empty());
        QVERIFY(m_tray->shown);
        m_form->Obnovit1Click();
        QVERIFY(m_form->isVisible() && !m_form->isMinimized());
        QVERIFY(!(m_form->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!m_form->close());
        QVERIFY(!m_form->isVisible());
    }

    // Names and texts from the file or the network are never read as markup.
    void ConfiguredAndReceivedTextIsShownAsItIs() {
        const QString markup = QStringLiteral("<b>AP</b> <br>main&amp;");
        QVERIFY(m_form->FormCreate());
        m_form->HostLabel(0).SetText(markup.toStdString());
        m_form->SetStatusText(markup.toStdString());
        m_form->show();
        for (QLabel* label : m_form->findChildren<QLabel*>()) {
            if (label->text() == markup) {
                const int literal = label->fontMetrics().horizontalAdvance(markup);
                QVERIFY2(label->sizeHint().width() >= literal, qPrintable(label->objectName()));
            }
        }
        QCOMPARE(m_form->StatusText(), markup);
    }

    // A name wider than its column ends in "…" and is whole in the tooltip;
    // one that fits has no tooltip.
    void ALongDisplayNameIsElidedWithItsTooltip_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("elided");
        QTest::newRow("44 characters") << "gateway router in the server room, 2nd floor" << true;
        QTest::newRow("short") << "AP" << false;
    }
    void ALongDisplayNameIsElidedWithItsTooltip() {
        QFETCH(QString, name);
        QFETCH(bool, elided);
        QVERIFY(m_form->FormCreate());
        m_form->show();
        m_form->HostLabel(0).SetText(name.toStdString());
        QCOMPARE(m_form->Host1->text(), name);
        QVERIFY(m_form->Host1->geometry().right() < m_form->P1->geometry().left());
        QCOMPARE(m_form->Host1->ShownText().endsWith(QChar(0x2026)), elided);
        QCOMPARE(m_form->Host1->toolTip(), elided ? name : QString());
    }

    // A name in the Windows code page is shown as such and written back byte
    // for byte by the start-up's normalising write.
    void AWindows1250NameIsShownAndKeptByteForByte() {
        QByteArray ini = kQuietIni;
        ini.replace("DisplayName=loopback", "DisplayName=Brno n\xe1m\xecst\xed");
        m_form.reset();
        m_dir.reset();
        m_dir = std::make_unique<TProgramDir>(ini);
        Create();
        QVERIFY(m_form->FormCreate());
        QCOMPARE(m_form->Host1->text(), QString::fromUtf8("Brno náměstí"));
        QVERIFY(m_dir->ReadFile("pingvard.ini").contains("DisplayName=Brno n\xe1m\xecst\xed\r\n"));
    }

    void AnErrorInAHandOffIsShownAndTheProgramGoesOn() {
        QVERIFY(m_form->FormCreate());
        QStringList shown;
        m_form->ShowErrorBox = [&](const QString& text) { shown << text; };
        std::atomic<bool> done{false};
        std::thread worker([&] {
            m_form->Dispatcher().Send([] { throw 42; });
            m_form->Dispatcher().Send([] { throw std::runtime_error("bad <b>row</b>"); });
            done = true;
        });
        QTRY_VERIFY(done.load());
        worker.join();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1], QString("bad <b>row</b>"));
    }

    // Every panel size has art of its own, and at each the four states differ.
    void TrayImagesComeAtEveryPanelSize() {
        for (int size : kTrayImageSizes) {
            const QSize wanted(size, size);
            QVERIFY(ProgramIcon().availableSizes().contains(wanted));
            QCOMPARE(m_form->ImageList1->Count(), kTrayImageCount);
            std::vector<QImage> seen;
            for (int index = 0; index < kTrayImageCount; ++index) {
                const QIcon& image = m_form->ImageList1->Icon(index);
                QVERIFY2(image.availableSizes().contains(wanted),
                         qPrintable(QString::number(size)));
                const QImage pixels = image.pixmap(wanted).toImage();
                QCOMPARE(pixels.size(), wanted);
                QVERIFY(std::find(seen.begin(), seen.end(), pixels) == seen.end());
                seen.push_back(pixels);
            }
        }
    }

    void MenusCarryTheirAccelerators() {
        QCOMPARE(m_form->Soubor1->title(), QString("&Orvane"));
        QStringList main;
        for (QAction* action : m_form->Soubor1->actions()) {
            main << action->text();
        }
        QCOMPARE(main, QStringList({QString::fromUtf8("&Nastavení..."), "&Historie...",
                                    "&O programu...", QString::fromUtf8("&Restartovat nyní"), "",
                                    QString::fromUtf8("&Skrýt"), QString::fromUtf8("&Ukončit")}));
        QCOMPARE(m_form->HistoriePopup1->text(), QString("&Historie..."));
        QCOMPARE(m_form->Restart1->text(), QString::fromUtf8("&Restartovat nyní"));
        QCOMPARE(m_form->Obnovit1->text(), QString::fromUtf8("&Skrýt/Zobrazit"));
        QCOMPARE(m_form->Zav1->text(), QString::fromUtf8("&Ukončit"));
        QCOMPARE(m_form->TrayIcon1->PopupMenu(), m_form->PopupMenu1);
    }

    void PingReportsUpdateTheRowUntilTheExitCommand() {
        QVERIFY(m_form->FormCreate());
        m_form->WMPing(0, 37);
        QCOMPARE(m_form->P1->text(), QString("37ms"));
        QCOMPARE(m_form->A1->text(), QString("37ms"));
        QCOMPARE(m_form->PL1->text(), QString("0%"));
        m_form->Zav1Click();
        QVERIFY(m_form->Closing);
        m_form->WMPing(0, -1);
        QCOMPARE(m_form->P1->text(), QString("37ms"));
    }

    // A restart reaches a device: the menu asks first, naming what it does.
    void RestartNowAsksFirstNamingTheFirstActionAndItsDevice() {
        QVERIFY(m_form->FormCreate());
        QStringList asked;
        bool answer = false;
        m_form->AskRestart = [&](const QString& question) {
            asked << question;
            return answer;
        };
        m_form->Restart1->trigger();
        QCOMPARE(asked, QStringList{"Restartovat zařízení nyní?\n\nPrvní akce: telnet (telnet) na "
                                    "127.0.0.9"});
        QVERIFY(!m_form->Monitor().ResetSessionRunning());
        answer = true;
        m_form->Restart1->trigger();
        QVERIFY(m_form->Monitor().ResetSessionRunning());
        QTRY_VERIFY(!m_form->Monitor().ResetSessionRunning());
        m_form->RestartNowUnasked(); // SIGUSR1: nobody to ask; merged into the hold-off
        QCOMPARE(asked.size(), 2);
        QVERIFY(m_form->StatusText().startsWith("Restart refused: holding off after the last "
                                                "action, until "));
    }

    void StartupWriteErrorIsShownAndReported() {
        QVERIFY(chmod(ConfigFileName().c_str(), 0444) == 0);
        QString shown;
        m_form->ShowErrorBox = [&](const QString& text) { shown = text; };
        QVERIFY(!m_form->FormCreate());
        QCOMPARE(shown, QString::fromStdString("Unable to write to " + ConfigFileName()));
    }

    void MissingIcmpAccessIsReportedInTheStatusBar() {
        std::string told;
        m_form->OnDiagnostic = [&](const std::string& text) { told = text; };
        m_form->ReportIcmpUnavailable("no ICMP socket");
        QCOMPARE(told, std::string("no ICMP socket"));
        QCOMPARE(m_form->StatusText(), QString("no ICMP socket"));
    }

    // Last: the exit command ends every running event loop for good.
    void ExitFromTheTrayMenuCancelsAnOpenSettingsDialog() {
        QVERIFY(m_form->FormCreate());
        const QByteArray before = m_dir->ReadFile("pingvard.ini");
        bool sawDialog = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<TSettingsForm*>(QApplication::activeModalWidget());
            sawDialog = dialog != nullptr;
            if (dialog) {
                dialog->edtInterval->setText("1");
            }
            m_form->Zav1->trigger();
        });
        m_form->Nastaven1Click(); // returns when the exit command has closed the dialog
        QVERIFY(sawDialog);
        QVERIFY(m_form->Closing);
        QCOMPARE(m_form->Monitor().PingInterval(), 3600000);
        QCOMPARE(m_dir->ReadFile("pingvard.ini"), before);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
