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
        QVERIFY(page.lblHooks->text().contains("pager"));
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
};

} // namespace pingvard

QTEST_MAIN(pingvard::ObservePageTest)
#include "observe_page_test.moc"
