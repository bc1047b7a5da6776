// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/dialog/recovery_write.h"
#include "config/ini_file.h"
#include "tests/ui/ui_test_support.h"
#include "ui/settings/recovery_page.h"
#include "ui/settings/settings_form.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QShowEvent>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <sys/stat.h>
#include <thread>

using namespace pingvard;
using namespace pingvard::test;

namespace {

struct TMessage {
    QString caption;
    QString text;
};

std::string IniValue(const std::string& section, const std::string& key) {
    TIniFile ini(ConfigFileName());
    return ini.ReadText(section, key, "<absent>");
}

} // namespace

class SettingsFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TProgramDir> m_dir;
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<TSettingsForm> m_dialog;
    std::vector<TMessage> m_messages;
    QStringList m_asked; // AskKeepName's questions
    bool m_keep = false; // and its answer

    THostMonitor& Monitor() { return m_form->Monitor(); }

    void OpenDialog() {
        m_dialog = std::make_unique<TSettingsForm>(Monitor());
        m_dialog->ShowErrorBox = [this](QWidget*, const QString& caption, const QString& text) {
            m_messages.push_back({caption, text});
        };
        m_dialog->AskKeepName = [this](QWidget*, const QString& text) {
            m_asked << text;
            return m_keep;
        };
        m_dialog->show(); // runs FormShow
    }

    void SelectTab(int tab) { m_dialog->TabControl1->setCurrentIndex(tab); }

    // OK, and the lookup of the names it starts off this thread.
    void ClickOk() {
        m_dialog->BitBtn1Click();
        QVERIFY(QTest::qWaitFor([this] { return !m_dialog->LookupRunning(); }, 10000));
    }

private slots:
    void init() {
        m_dir = std::make_unique<TProgramDir>(kQuietIni);
        m_form = MakeMainForm();
        QVERIFY(m_form->FormCreate());
        m_messages.clear();
        m_asked.clear();
        m_keep = false;
        OpenDialog();
    }
    void cleanup() {
        m_dialog.reset();
        m_form.reset();
        m_dir.reset();
    }

    void ShowsTheLiveValuesAndAHostNameAsItsAddress() {
        QCOMPARE(m_dialog->edtInterval->text(), QString("3600000"));
        QCOMPARE(m_dialog->edtMaxTimeouts->text(), QString("5"));
        QCOMPARE(m_dialog->edtResetHost->text(), QString("127.0.0.9"));
        QCOMPARE(m_dialog->TabControl1->count(), 4);
        QCOMPARE(m_dialog->TabControl1->tabText(3), QString("Adresa 4"));
        QCOMPARE(m_dialog->TabControl1->Tag, 0);
        QCOMPARE(m_dialog->edtAdrIP->text(), QString("127.0.0.1"));
        QCOMPARE(m_dialog->edtAdrDisp->text(), QString("loopback"));
        QCOMPARE(m_dialog->edtAdrTO->text(), QString("1000"));
        QVERIFY(m_dialog->chbAdrReset->isChecked());

        ClickOk(); // OK without a change writes the dotted address
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QCOMPARE(IniValue("Host1", "HostName"), std::string("127.0.0.1"));
    }

    // The window manager sends show events of its own (un-minimising, a
    // switch of workspaces); they must not reload the fields over the edits.
    void EditsSurviveAShowEventFromTheWindowManager() {
        m_dialog->edtInterval->setText("1234");
        m_dialog->edtAdrDisp->setText("typed");
        QShowEvent event;
        QApplication::sendEvent(m_dialog.get(), &event);
        QCOMPARE(m_dialog->edtInterval->text(), QString("1234"));
        QCOMPARE(m_dialog->edtAdrDisp->text(), QString("typed"));
    }

    void AWindows1250NameIsShownAndWrittenBackByteForByte() {
        m_dialog.reset();
        m_form.reset();
        m_dir.reset();
        QByteArray ini = kQuietIni;
        ini.replace("Hostname=127.0.0.9", "Hostname=ap.n\xe1m\xecst\xed");
        ini.replace("DisplayName=AP", "DisplayName=P\xf8\xedstupov\xfd bod");
        m_dir = std::make_unique<TProgramDir>(ini);
        m_form = MakeMainForm();
        QVERIFY(m_form->FormCreate());
        OpenDialog();
        QCOMPARE(m_dialog->edtResetHost->text(), QString::fromUtf8("ap.náměstí"));
        SelectTab(3);
        QCOMPARE(m_dialog->edtAdrDisp->text(), QString::fromUtf8("Přístupový bod"));
        SelectTab(0);
        ClickOk();
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        const QByteArray file = m_dir->ReadFile("pingvard.ini");
        QVERIFY(file.contains("Hostname=ap.n\xe1m\xecst\xed\r\n"));
        QVERIFY(file.contains("DisplayName=P\xf8\xedstupov\xfd bod\r\n"));
        QCOMPARE(Monitor().ResetHost(), std::string("ap.n\xe1m\xecst\xed"));
    }

    void TabChangeIsBlockedByAnInvalidTimeout() {
        m_dialog->edtAdrTO->setText("abc");
        SelectTab(1);
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(m_messages[0].caption, QString("Error"));
        QCOMPARE(m_messages[0].text, QString::fromUtf8("Nesprávná hodnota!"));
        QCOMPARE(m_dialog->TabControl1->currentIndex(), 0);
        QCOMPARE(m_dialog->TabControl1->Tag, 0);
        QCOMPARE(m_dialog->focusWidget(), m_dialog->edtAdrTO);
        QCOMPARE(m_dialog->edtAdrTO->text(), QString("abc"));
    }

    void OkWithInvalidIntervalAndTimeoutShowsOnlyTheTimeoutMessage() {
        const QByteArray before = m_dir->ReadFile("pingvard.ini");
        m_dialog->edtInterval->setText("2 000");
        m_dialog->edtAdrTO->setText("abc");
        ClickOk();
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(m_dialog->focusWidget(), m_dialog->edtAdrTO);
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(Monitor().PingInterval(), 3600000);
        QCOMPARE(m_dir->ReadFile("pingvard.ini"), before);
    }

    void TimeoutFollowsTheIntegerRule_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("value");
        QTest::newRow("leading blank") << " 500" << true << 500;
        QTest::newRow("hexadecimal") << "$1F4" << true << 500;
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("trailing blank") << "500 " << false << 0;
        QTest::newRow("unit") << "500ms" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
    }
    void TimeoutFollowsTheIntegerRule() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(int, value);
        m_dialog->edtAdrTO->setText(text);
        ClickOk();
        QCOMPARE(m_messages.empty(), accepted);
        if (accepted) {
            QCOMPARE(IniValue("Host1", "Timeout"), std::to_string(value));
            QCOMPARE(Monitor().PingThread(0)->Timeout(), value);
        } else {
            QCOMPARE(IniValue("Host1", "Timeout"), std::string("1000"));
            QCOMPARE(m_dialog->focusWidget(), m_dialog->edtAdrTO);
        }
    }

    // What could flood a host or hang a worker: the designed box, naming the
    // field and its range, and nothing applied or written.
    void OkRefusesAValueBeyondItsBound_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("range");
        const QString interval = "Interval pro zkoušení spojení [ms]:";
        QTest::newRow("interval zero") << 0 << "0" << interval << "nejméně 100";
        QTest::newRow("interval 99") << 0 << "99" << interval << "nejméně 100";
        QTest::newRow("no failure needed") << 1 << "0"
                                           << "Maximální dovolený počet výpadků:"
                                           << "nejméně 1";
        QTest::newRow("an echo of minutes") << 2 << "60001"
                                            << "Jak dlouho čekat na odezvu [ms]:"
                                            << "nejvýše 60000";
    }
    void OkRefusesAValueBeyondItsBound() {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(QString, range);
        QLineEdit* edits[] = {m_dialog->edtInterval, m_dialog->edtMaxTimeouts, m_dialog->edtAdrTO};
        const QByteArray before = m_dir->ReadFile("pingvard.ini");
        edits[field]->setText(text);
        ClickOk();
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(m_messages[0].caption, QString("Error"));
        QCOMPARE(m_messages[0].text, "Nesprávná hodnota!\n" + caption + " " + range);
        QCOMPARE(m_dialog->focusWidget(), edits[field]);
        QCOMPARE(edits[field]->toolTip(), range); // beside the field, always
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(Monitor().PingInterval(), 3600000);
        QCOMPARE(m_dir->ReadFile("pingvard.ini"), before);
    }

    void OkAppliesToTheRunningMonitorAndWritesTheFile() {
        m_dialog->edtMaxTimeouts->setText("1");
        m_dialog->edtInterval->setText("x100");
        m_dialog->edtResetHost->setText("127.0.0.8");
        SelectTab(2);
        m_dialog->edtAdrIP->setText("localhost");
        m_dialog->edtAdrDisp->setText("");
        m_dialog->edtAdrTO->setText("250");
        m_dialog->chbAdrReset->setChecked(false);
        SelectTab(3); // stores tab 3's record on the way
        ClickOk();
        QCOMPARE(m_messages.size(), size_t(0));
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));

        QCOMPARE(Monitor().MaxTimeouts(), 1);
        QCOMPARE(Monitor().PingInterval(), 256);
        QCOMPARE(Monitor().ResetHost(), std::string("127.0.0.8"));
        QCOMPARE(Monitor().PingObj(2).IP, std::string("127.0.0.1"));
        QCOMPARE(Monitor().PingThread(2)->Host(), std::string("127.0.0.1"));
        QCOMPARE(Monitor().PingThread(2)->Timeout(), 250);
        QVERIFY(!Monitor().PingObj(2).DoReset);
        QCOMPARE(Monitor().PingObj(2).DisplayName, std::string());
        QCOMPARE(m_form->Host3->text(), QString());

        QCOMPARE(IniValue("Constants", "MaxTimeouts"), std::string("1"));
        QCOMPARE(IniValue("Constants", "PingInterval"), std::string("256"));
        QCOMPARE(IniValue("ResetHost", "Hostname"), std::string("127.0.0.8"));
        QCOMPARE(IniValue("Host3", "Hostname"), std::string("localhost")); // as entered
        QCOMPARE(IniValue("Host3", "DisplayName"), std::string());
        QCOMPARE(IniValue("Host3", "Timeout"), std::string("250"));
        QCOMPARE(IniValue("Host3", "TimeoutDoReset"), std::string("0"));
        QCOMPARE(IniValue("Host4", "DisplayName"), std::string("AP"));
        // The script is neither shown nor written.
        QCOMPARE(IniValue("ResetHost", "ChallengesCount"), std::string("3"));
    }

    void RecoveryPageRefusesAnOutOfRangeValue_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
        QTest::newRow("quorum above four")
            << 0 << "5"
            << "Kolik sledovaných adres musí selhat (0 = všechny): 0 až 4";
        QTest::newRow("negative hold-off") << 1 << "-1"
                                           << "Prodleva po každém zásahu: 0 až 604800";
        QTest::newRow("rounds not a number") << 2 << "6x"
                                             << "Nejvýše kol v okně (0 = bez omezení): 0 až 1000";
        QTest::newRow("empty window") << 3 << "0"
                                      << "Okno: 1 až 604800";
        QTest::newRow("time limit zero") << 4 << "0"
                                         << "Limit [s]: 1 až 604800";
        QTest::newRow("verify not a number") << 5 << "3 min"
                                             << "Ověření [s]: 0 až 604800";
    }
    // The box keeps its designed first line; the second names the field and
    // its range, which also stand in red beside the field.
    void RecoveryPageRefusesAnOutOfRangeValue() {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QString, named);
        TRecoverySettings settings;
        settings.Actions.push_back({});
        settings.Actions[0].Name = "telnet";
        const TRecoverySettings before = settings;
        TRecoveryPage page(settings);
        QStringList errors;
        page.ShowErrorBox = [&](QWidget*, const QString& message) { errors << message; };
        QLineEdit* edits[] = {page.edtQuorum, page.edtHoldOff, page.edtMaxRounds, page.edtWindow};
        if (field < 4) {
            edits[field]->setText(text);
        } else {
            page.tblActions->item(0, field - 2)->setText(text);
        }
        page.OkClick();
        QCOMPARE(errors, QStringList{QString::fromUtf8("Nesprávná hodnota!\n") + named});
        QVERIFY(SameDialogRecoverySettings(settings, before));
        const QString range = named.mid(named.lastIndexOf(": ") + 2);
        QWidget* refused = field < 4 ? static_cast<QWidget*>(edits[field]) : page.tblActions;
        const QList<QLabel*> notes = refused->parentWidget()->findChildren<QLabel*>();
        QVERIFY(std::any_of(notes.begin(), notes.end(), [&](const QLabel* note) {
            return note->isVisibleTo(&page) && note->text().endsWith(range);
        }));
    }

    void RecoveryPageEditsReachTheMonitorAndTheFileOnOk() {
        QCOMPARE(IniValue("Guard", "HoldOff"), std::string("<absent>"));
        {
            TRecoveryPage page(m_dialog->Settings().Recovery);
            page.edtQuorum->setText("1");
            page.edtHoldOff->setText("300");
            page.edtMaxRounds->setText("6");
            page.chbBackOff->setChecked(true);
            page.tblActions->item(0, 3)->setText("120");
            page.OkClick();
            QCOMPARE(page.result(), int(QDialog::Accepted));
        }
        ClickOk();
        QCOMPARE(m_messages.size(), size_t(0));
        const TRecoverySettings used = Monitor().Settings().Recovery;
        QCOMPARE(used.Quorum, 1);
        QCOMPARE(used.Guard.HoldOffMs, 300000U);
        QCOMPARE(used.Actions[0].VerifyMs, 120000);
        QCOMPARE(IniValue("Recovery", "Actions"), std::string("telnet"));
        QCOMPARE(IniValue("Guard", "HoldOff"), std::string("300"));
        QCOMPARE(IniValue("Guard", "BackOff"), std::string("1"));
        QCOMPARE(IniValue("Action.telnet", "Verify"), std::string("120"));
    }

    // An action made whole in the page: the monitor runs it and the file
    // holds its section, with the password in a file only its owner reads.
    void RecoveryPageAddsAPlugActionWithItsPassword() {
        {
            TRecoveryPage page(m_dialog->Settings().Recovery);
            page.AddAction(TActionKind::Http);
            page.cmbPreset->setCurrentIndex(int(TPlugPreset::Shelly2));
            page.edtHttpHost->setText("127.0.0.5");
            page.edtChannel->setText("1");
            page.edtPassword->setText("plug secret");
            page.MoveAction(-1);
            page.OkClick();
            QCOMPARE(page.result(), int(QDialog::Accepted));
        }
        ClickOk();
        QCOMPARE(m_messages.size(), size_t(0));
        const TRecoverySettings used = Monitor().Settings().Recovery;
        QCOMPARE(used.Actions.size(), size_t(2));
        QCOMPARE(used.Actions[0].Name, std::string("plug"));
        QCOMPARE(used.Actions[0].Http.Password, std::string("plug secret"));
        QCOMPARE(IniValue("Recovery", "Actions"), std::string("plug,telnet"));
        QCOMPARE(IniValue("Action.plug", "Kind"), std::string("http"));
        QCOMPARE(IniValue("Action.plug", "Preset"), std::string("shelly2"));
        QCOMPARE(IniValue("Action.plug", "Host"), std::string("127.0.0.5"));
        QCOMPARE(IniValue("Action.plug", "Channel"), std::string("1"));
        QCOMPARE(IniValue("Action.plug", "Password"), std::string("plug secret"));
        struct stat st {};
        QVERIFY(::stat(ConfigFileName().c_str(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    // A name that does not resolve is marked on OK and kept only when the
    // operator says so; a name that resolves asks nothing.
    void AnUnresolvableNameIsKeptOnlyOnConfirmation_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("applied");
        QTest::newRow("kept") << "printer.lan" << true << true << true;
        QTest::newRow("refused") << "printer.lan" << false << true << false;
        QTest::newRow("resolves") << "router.lan" << false << false << true;
    }
    void AnUnresolvableNameIsKeptOnlyOnConfirmation() {
        QFETCH(QString, name);
        QFETCH(bool, keep);
        QFETCH(bool, asked);
        QFETCH(bool, applied);
        m_keep = keep;
        m_dialog->Resolve = [](const std::vector<std::string>& names, const TAbortSignal&) {
            std::vector<std::string> found;
            for (const std::string& host : names) {
                found.push_back(host == "router.lan"  ? "127.0.0.7"
                                : host == "localhost" ? "127.0.0.1"
                                                      : host);
            }
            return found;
        };
        SelectTab(2);
        m_dialog->edtAdrIP->setText(name);
        SelectTab(0);
        ClickOk();
        QCOMPARE(m_asked.size(), asked ? 1 : 0);
        if (asked) {
            QVERIFY(m_asked[0].startsWith(QString::fromUtf8("Jméno printer.lan nelze přeložit")));
            QCOMPARE(m_dialog->TabControl1->currentIndex(), 2); // its tab, its field marked
            QVERIFY(m_dialog->edtAdrIP->accessibleDescription().contains("printer.lan") != keep);
        }
        QCOMPARE(m_dialog->result() == QDialog::Accepted, applied);
        QCOMPARE(IniValue("Host3", "Hostname") == name.toStdString(), applied);
    }

    void OkWithoutRecoveryEditsWritesNoRecoverySection() {
        ClickOk();
        QCOMPARE(IniValue("Recovery", "Actions"), std::string("<absent>"));
        QCOMPARE(IniValue("Guard", "HoldOff"), std::string("<absent>"));
    }

    void StornoAfterEditsOnTwoTabsChangesNothing() {
        const QByteArray before = m_dir->ReadFile("pingvard.ini");
        const std::string name = Monitor().PingObj(2).DisplayName;
        SelectTab(2);
        m_dialog->edtAdrDisp->setText("changed");
        m_dialog->edtAdrTO->setText("77");
        SelectTab(0);
        m_dialog->edtAdrDisp->setText("also changed");
        m_dialog->edtInterval->setText("5");
        QCOMPARE(m_dialog->Record(2).Timeout, 77); // stored on the tab change
        m_dialog->BitBtn2->click();
        QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(Monitor().PingInterval(), 3600000);
        QCOMPARE(Monitor().PingObj(2).DisplayName, name);
        QCOMPARE(Monitor().PingThread(2)->Timeout(), 1000);
        QCOMPARE(m_form->Host1->text(), QString("loopback"));
        QCOMPARE(m_dir->ReadFile("pingvard.ini"), before);
    }

    void EscapeDiscardsLikeStorno() {
        m_dialog->edtMaxTimeouts->setText("9");
        QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
        QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
        QCOMPARE(Monitor().MaxTimeouts(), 5);
    }

    // A resolver that never answers: the dialog goes on (its fields rest),
    // and the exit command still closes it at once, applying nothing.
    void TheExitCommandAbandonsALookupThatHangs() {
        m_dialog->Resolve = [](const std::vector<std::string>& names, const TAbortSignal& abort) {
            while (!abort.Raised()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return names;
        };
        m_dialog->hide();
        m_dialog->setWindowModality(Qt::ApplicationModal); // as Nastaven1Click shows it
        m_dialog->show();
        const QByteArray before = m_dir->ReadFile("pingvard.ini");
        m_dialog->edtInterval->setText("500");
        m_dialog->BitBtn1Click();
        QTest::qWait(100);
        QVERIFY(m_dialog->LookupRunning());
        QVERIFY(!m_dialog->BitBtn1->isEnabled());
        QElapsedTimer timer;
        timer.start();
        m_form->Zav1Click();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
        QVERIFY(!m_dialog->LookupRunning());
        QCOMPARE(Monitor().PingInterval(), 3600000);
        QCOMPARE(m_dir->ReadFile("pingvard.ini"), before);
    }

    void ReadOnlyFileKeepsTheDialogOpenWithTheWriteError() {
        QVERIFY(chmod(ConfigFileName().c_str(), 0444) == 0);
        m_dialog->edtMaxTimeouts->setText("7");
        ClickOk();
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(m_messages[0].caption, QString("AP Pingvard"));
        QCOMPARE(m_messages[0].text,
                 QString::fromStdString("Unable to write to " + ConfigFileName()));
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(Monitor().MaxTimeouts(), 7); // applied before the failing write
        QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(SettingsFormTest)
#include "settings_form_test.moc"
