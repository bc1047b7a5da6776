// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/recovery_page.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

using namespace pingvard;

namespace {

TActionConfig Action(const char* name, TActionKind kind) {
    TActionConfig action;
    action.Name = name;
    action.Kind = kind;
    action.TimeLimitMs = 30000;
    return action;
}

TRecoverySettings Escalation() {
    TRecoverySettings settings;
    settings.Actions.push_back(Action("telnet", TActionKind::Telnet));
    TActionConfig router = Action("router", TActionKind::Ssh);
    router.Ssh.Host = "192.0.2.1";
    router.Ssh.User = "admin";
    router.Ssh.Password = "router secret";
    settings.Actions.push_back(router);
    TActionConfig script = Action("script", TActionKind::Program);
    script.Program.Program = "/bin/sh";
    script.Program.Args = {"-c", "echo one; exit 0"};
    settings.Actions.push_back(script);
    return settings;
}

std::vector<std::string> Names(const TRecoverySettings& settings) {
    std::vector<std::string> names;
    for (const TActionConfig& action : settings.Actions) {
        names.push_back(action.Name);
    }
    return names;
}

} // namespace

class RecoveryPageTest : public QObject {
    Q_OBJECT

    QStringList m_errors;

    void Quiet(TRecoveryPage& page) {
        m_errors.clear();
        page.ShowErrorBox = [this](QWidget*, const QString& text) { m_errors << text; };
    }
    static void Select(TRecoveryPage& page, int row) { page.tblActions->setCurrentCell(row, 0); }

private slots:
    void EditsTheOrderAndTheKinds_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("add a plug") << "a" << QStringList{"telnet", "router", "script", "plug"};
        QTest::newRow("add two plugs")
            << "aa" << QStringList{"telnet", "router", "script", "plug", "plug2"};
        QTest::newRow("remove the first") << "0r" << QStringList{"router", "script"};
        QTest::newRow("move the last up") << "2u" << QStringList{"telnet", "script", "router"};
        QTest::newRow("move the first down") << "0d" << QStringList{"router", "telnet", "script"};
        QTest::newRow("the first cannot go up")
            << "0u" << QStringList{"telnet", "router", "script"};
        QTest::newRow("never empty") << "0r0r0r" << QStringList{"script"};
    }
    void EditsTheOrderAndTheKinds() {
        QFETCH(QString, steps);
        QFETCH(QStringList, names);
        TRecoverySettings settings = Escalation();
        TRecoveryPage page(settings);
        Quiet(page);
        for (const QChar step : steps) {
            if (step.isDigit()) {
                Select(page, step.digitValue());
            } else if (step == 'a') {
                page.AddAction(TActionKind::Http);
            } else if (step == 'r') {
                page.RemoveAction();
            } else {
                page.MoveAction(step == 'u' ? -1 : 1);
            }
        }
        page.OkClick();
        QCOMPARE(m_errors, QStringList{});
        std::vector<std::string> expected;
        for (const QString& name : names) {
            expected.push_back(name.toStdString());
        }
        QCOMPARE(Names(settings), expected);
        // The moved action keeps its own fields.
        for (const TActionConfig& action : settings.Actions) {
            if (action.Name == "router") {
                QCOMPARE(action.Ssh.Host, std::string("192.0.2.1"));
            }
        }
    }

    // The password never comes back into a field; an empty field keeps it,
    // a typed one replaces it, and only the box clears it.
    void ASecretIsNeverShownAndClearedOnlyOnPurpose_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("clear");
        QTest::addColumn<QString>("stored");
        QTest::newRow("untouched") << "" << false << "router secret";
        QTest::newRow("replaced") << "new one" << false << "new one";
        QTest::newRow("cleared") << "" << true << "";
        QTest::newRow("typed wins over clear") << "typed" << true << "typed";
    }
    void ASecretIsNeverShownAndClearedOnlyOnPurpose() {
        QFETCH(QString, typed);
        QFETCH(bool, clear);
        QFETCH(QString, stored);
        TRecoverySettings settings = Escalation();
        TRecoveryPage page(settings);
        Quiet(page);
        Select(page, 1);
        QCOMPARE(page.edtPassword->text(), QString());
        QCOMPARE(page.edtPassword->placeholderText(), QString::fromUtf8("nastaveno"));
        QCOMPARE(page.edtPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(page.edtUser->text(), QString("admin"));
        page.edtPassword->setText(typed);
        page.chbClearPassword->setChecked(clear);
        Select(page, 2); // leaving the action stores its fields
        Select(page, 1);
        QCOMPARE(page.edtPassword->text(), QString());
        page.OkClick();
        QCOMPARE(settings.Actions[1].Ssh.Password, stored.toStdString());
    }

    void ANameMustBeUsableInTheFile_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << "";
        QTest::newRow("comma") << "a,b";
        QTest::newRow("bracket") << "a]";
        QTest::newRow("twice, other case") << "ROUTER";
    }
    void ANameMustBeUsableInTheFile() {
        QFETCH(QString, name);
        TRecoverySettings settings = Escalation();
        const TRecoverySettings before = settings;
        TRecoveryPage page(settings);
        Quiet(page);
        page.tblActions->item(2, 0)->setText(name);
        page.OkClick();
        QCOMPARE(m_errors.size(), 1);
        QVERIFY(m_errors[0].startsWith(QString::fromUtf8("Nesprávná hodnota!\n")));
        QCOMPARE(Names(settings), Names(before));
        QCOMPARE(page.result(), int(QDialog::Rejected));
    }

    void AnHttpFieldOutOfRangeIsNamed() {
        TRecoverySettings settings = Escalation();
        TRecoveryPage page(settings);
        Quiet(page);
        page.AddAction(TActionKind::Http);
        page.cmbPreset->setCurrentIndex(int(TPlugPreset::Tasmota));
        page.edtOffTime->setText("400"); // a tasmota keeps at most 360 s
        page.OkClick();
        QCOMPARE(m_errors,
                 QStringList{QString::fromUtf8("Nesprávná hodnota!\nDoba vypnutí: 1 až 360")});
        QCOMPARE(settings.Actions.size(), size_t(3));
    }

    // Test runs the action as edited, off this thread, with its steps and
    // outcome in the page; the file is not involved.
    void TestShowsTheStepsAndTheOutcome_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("success") << "exit 0" << QString::fromUtf8("Výsledek: úspěch");
        QTest::newRow("failure") << "exit 3" << QString::fromUtf8("Výsledek: chyba");
    }
    void TestShowsTheStepsAndTheOutcome() {
        QFETCH(QString, script);
        QFETCH(QString, outcome);
        TRecoverySettings settings = Escalation();
        TRecoveryPage page(settings);
        Quiet(page);
        Select(page, 2);
        page.txtArgs->setPlainText("-c\n" + script);
        page.btnTest->click();
        QVERIFY(page.TestRunning());
        QVERIFY(!page.btnTest->isEnabled());
        QVERIFY(page.btnStop->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return !page.TestRunning(); }, 10000));
        const QString shown = page.txtTest->toPlainText();
        QVERIFY2(shown.startsWith(QString::fromUtf8("Zkouška akce script (program)")),
                 qPrintable(shown));
        QVERIFY2(shown.section('\n', -1).startsWith(outcome), qPrintable(shown));
        QVERIFY(page.btnTest->isEnabled());
    }

    void StopEndsATestAtOnce() {
        TRecoverySettings settings = Escalation();
        TRecoveryPage page(settings);
        Quiet(page);
        Select(page, 2);
        page.txtArgs->setPlainText("-c\nsleep 30");
        page.btnTest->click();
        QTest::qWait(200);
        QElapsedTimer timer;
        timer.start();
        page.btnStop->click();
        QVERIFY(QTest::qWaitFor([&] { return !page.TestRunning(); }, 5000));
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(page.txtTest->toPlainText().contains(QString::fromUtf8("Výsledek: chyba")));
    }

    // Closing the page while a test runs ends the test with it.
    void StornoEndsATestUnderWay() {
        TRecoverySettings settings = Escalation();
        auto page = std::make_unique<TRecoveryPage>(settings);
        Select(*page, 2);
        page->txtArgs->setPlainText("-c\nsleep 30");
        page->btnTest->click();
        QElapsedTimer timer;
        timer.start();
        page->reject();
        QVERIFY(!page->TestRunning());
        page.reset();
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_MAIN(RecoveryPageTest)
#include "recovery_page_test.moc"
