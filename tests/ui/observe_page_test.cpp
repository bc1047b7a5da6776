// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/observe_page.h"

#include <QtTest>

namespace pingvard {

class ObservePageTest : public QObject {
    Q_OBJECT
private slots:
    // Each switch lands in its own setting, and what the page does not show
    // survives the round trip.
    void StoresEachFieldInItsOwnSetting() {
        TObserveSettings before;
        before.History.File = "/var/lib/pingvard/h.db";
        before.History.RawHours = 12;
        before.Hooks.push_back({});
        before.Hooks.back().Name = "pager";
        TObservePage page;
        page.Load(before);
        QCOMPARE(page.edHooks->lstHooks->item(0)->text(), QString("pager"));
        QVERIFY(!page.edtMetricsPort->isEnabled()); // metrics off by default

        page.chbHistory->setChecked(false);
        page.chbMetrics->setChecked(true);
        QVERIFY(page.edtMetricsPort->isEnabled());
        page.edtMetricsAddress->setText(" ::1 ");
        page.edtMetricsPort->setValue(9100);
        page.chbAllInterfaces->setChecked(true);
        page.chbRuleFired->setChecked(false);
        page.chbHostUp->setChecked(true);
        TObserveSettings after = before;
        page.Store(after);

        QCOMPARE(after.History.Enabled, false);
        QCOMPARE(after.History.File, before.History.File);
        QCOMPARE(after.History.RawHours, 12);
        QCOMPARE(after.Metrics.Enabled, true);
        QCOMPARE(after.Metrics.Address, std::string("::1"));
        QCOMPARE(after.Metrics.Port, 9100);
        QCOMPARE(after.Metrics.AllInterfaces, true);
        QCOMPARE(after.Notifications.RuleFired, false);
        QCOMPARE(after.Notifications.ActionOutcome, true);
        QCOMPARE(after.Notifications.HostDown, false);
        QCOMPARE(after.Notifications.HostUp, true);
        QCOMPARE(after.Hooks.size(), std::size_t{1});
    }

    // A hook made, edited, moved and removed in the page.
    void EditsTheHooks_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("add") << "a" << QStringList{"pager", "log", "hook"};
        QTest::newRow("add and move up") << "au" << QStringList{"pager", "hook", "log"};
        QTest::newRow("remove the first") << "0r" << QStringList{"log"};
        QTest::newRow("move the first down") << "0d" << QStringList{"log", "pager"};
        QTest::newRow("remove all") << "0r0r" << QStringList{};
    }
    void EditsTheHooks() {
        QFETCH(QString, steps);
        QFETCH(QStringList, names);
        std::vector<THookConfig> hooks(2);
        hooks[0].Name = "pager";
        hooks[0].Program = "/usr/bin/page";
        hooks[0].Args = {"--site", "home"};
        hooks[1].Name = "log";
        hooks[1].Program = "/usr/bin/logger";
        THooksEditor editor;
        editor.ShowErrorBox = nullptr;
        editor.Load(hooks);
        for (const QChar step : steps) {
            if (step.isDigit()) {
                editor.lstHooks->setCurrentRow(step.digitValue());
            } else if (step == 'a') {
                editor.AddHook();
                editor.edtProgram->setText("/bin/true");
                editor.txtArgs->setPlainText("one\ntwo two\n");
                editor.edtTimeLimit->setText("30");
            } else if (step == 'r') {
                editor.RemoveHook();
            } else {
                editor.MoveHook(step == 'u' ? -1 : 1);
            }
        }
        std::vector<THookConfig> stored;
        QVERIFY(editor.Store(stored));
        QStringList got;
        for (const THookConfig& hook : stored) {
            got << QString::fromStdString(hook.Name);
            if (hook.Name == "hook") {
                QCOMPARE(hook.Args, (std::vector<std::string>{"one", "two two"}));
                QCOMPARE(hook.TimeLimitMs, 30000);
            }
            if (hook.Name == "pager") {
                QCOMPARE(hook.Args, (std::vector<std::string>{"--site", "home"}));
            }
        }
        QCOMPARE(got, names);
    }

    void RefusesAHookItCannotRun_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("limit");
        QTest::addColumn<bool>("events");
        QTest::addColumn<QString>("named");
        QTest::newRow("no program") << "h"
                                    << ""
                                    << "10" << true << "Program";
        QTest::newRow("limit zero") << "h"
                                    << "/bin/x"
                                    << "0" << true << "Časový limit: 1 až 3600 s";
        QTest::newRow("limit too long") << "h"
                                        << "/bin/x"
                                        << "3601" << true << "Časový limit";
        QTest::newRow("no event") << "h"
                                  << "/bin/x"
                                  << "10" << false << "Události";
        QTest::newRow("name twice") << "PAGER"
                                    << "/bin/x"
                                    << "10" << true << "Jméno";
        QTest::newRow("name with a comma") << "a,b"
                                           << "/bin/x"
                                           << "10" << true << "Jméno";
    }
    void RefusesAHookItCannotRun() {
        QFETCH(QString, name);
        QFETCH(QString, program);
        QFETCH(QString, limit);
        QFETCH(bool, events);
        QFETCH(QString, named);
        std::vector<THookConfig> hooks(1);
        hooks[0].Name = "pager";
        hooks[0].Program = "/usr/bin/page";
        THooksEditor editor;
        QStringList errors;
        editor.ShowErrorBox = [&](QWidget*, const QString& text) { errors << text; };
        editor.Load(hooks);
        editor.AddHook();
        editor.edtName->setText(name);
        editor.edtProgram->setText(program);
        editor.edtTimeLimit->setText(limit);
        for (QCheckBox* box : editor.chbEvents) {
            box->setChecked(events && box == editor.chbEvents.front());
        }
        std::vector<THookConfig> stored = hooks;
        QVERIFY(!editor.Store(stored));
        QCOMPARE(stored.size(), std::size_t{1});
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith(QString::fromUtf8("Nesprávná hodnota!\n") + named),
                 qPrintable(errors[0]));
        QVERIFY(editor.lblNote->isVisibleTo(&editor));
    }
};

} // namespace pingvard

QTEST_MAIN(pingvard::ObservePageTest)
#include "observe_page_test.moc"
