// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/net/fake_clock.h"
#include "tests/ui/fake_tray_backend.h"
#include "ui/tray/tray_icon.h"

#include <QMenu>
#include <QTest>
#include <QWidget>

using namespace pingvard;
using pingvard::test::TFakeTrayBackend;
using pingvard::test::TFakeTrayState;

namespace {

QImage Pixels(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

QPixmap Solid(QColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return pixmap;
}

} // namespace

class TrayIconTest : public QObject {
    Q_OBJECT

    std::shared_ptr<TFakeTrayState> m_state;
    QWidget* m_owner = nullptr;
    TTrayIcon* m_tray = nullptr;
    TFakeTrayBackend* m_backend = nullptr;
    TImageList* m_images = nullptr;
    int m_clicks = 0;

private slots:
    void init() {
        m_state = std::make_shared<TFakeTrayState>();
        m_owner = new QWidget;
        auto backend = std::make_unique<TFakeTrayBackend>(m_state);
        m_backend = backend.get();
        m_tray = new TTrayIcon(m_owner, std::move(backend));
        m_images = new TImageList(m_owner);
        for (QColor c : {QColor(Qt::green), QColor(Qt::gray), QColor(Qt::red)}) {
            m_images->Add(Solid(c));
        }
        m_clicks = 0;
        m_tray->OnClick = [this] { ++m_clicks; };
    }
    void cleanup() { delete m_owner; }

    void LoadedAddsImageZeroWithoutTooltip() {
        m_tray->SetHint(QStringLiteral("Orvane AP Pingvard"));
        m_tray->SetIconList(m_images);
        QVERIFY(!m_state->shown); // updates before the add fail harmlessly
        m_tray->Loaded();
        QVERIFY(m_state->shown);
        QCOMPARE(m_state->tip, QString());
        QCOMPARE(Pixels(m_state->icon), Pixels(m_images->Icon(0)));
    }

    void TooltipOnlyWithHintAndShowHint_data() {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("showHint");
        QTest::addColumn<QString>("tip");
        QTest::newRow("hint, hidden") << "Pingvard" << false << "";
        QTest::newRow("no hint, shown") << "" << true << "";
        QTest::newRow("both") << "Pingvard" << true << "Pingvard";
        QTest::newRow("cut to 63") << QString(70, 'x') << true << QString(63, 'x');
    }
    void TooltipOnlyWithHintAndShowHint() {
        QFETCH(QString, hint);
        QFETCH(bool, showHint);
        QFETCH(QString, tip);
        m_tray->Loaded();
        m_tray->SetHint(hint);
        m_tray->SetShowHint(showHint);
        QCOMPARE(m_state->tip, tip);
    }

    // The site's tooltip takes as many lines as it needs, and reaches the
    // notification area only when it changes.
    void TheSitesTooltipReplacesTheHintWhole() {
        m_tray->SetHint(QStringLiteral("Orvane AP Pingvard"));
        m_tray->Loaded();
        const QString tip = QString::fromUtf8("3 ze 4 hostů odpovídá\n") + QString(80, 'x');
        m_tray->SetToolTip(tip);
        QCOMPARE(m_state->tip, tip);
        const std::size_t calls = m_state->calls.size();
        m_tray->SetToolTip(tip);
        QCOMPARE(m_state->calls.size(), calls);
        m_tray->SetToolTip(QString());
        QCOMPARE(m_state->tip, QString()); // the designed hint, hidden
    }

    void IconIndexIsClampedIntoTheList_data() {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("expected");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("2") << 2 << 2;
        QTest::newRow("3 shows the last") << 3 << 2;
        QTest::newRow("far past the end") << 1000 << 2;
        QTest::newRow("negative") << -1 << 0;
    }
    void IconIndexIsClampedIntoTheList() {
        QFETCH(int, requested);
        QFETCH(int, expected);
        m_tray->SetIconList(m_images);
        m_tray->Loaded();
        m_tray->SetIconIndex(requested);
        QCOMPARE(m_tray->IconIndex(), expected);
        QCOMPARE(Pixels(m_tray->Icon()), Pixels(m_images->Icon(expected)));
        QCOMPARE(Pixels(m_state->icon), Pixels(m_images->Icon(expected)));
    }

    void IconIndexStaysZeroWithoutList() {
        m_tray->SetIconIndex(2);
        QCOMPARE(m_tray->IconIndex(), 0);
    }

    void LeftClickRaisesOnClickOnce() {
        m_tray->Loaded();
        m_backend->Activate(TTrayActivation::Trigger);
        QCOMPARE(m_clicks, 1);
        QVERIFY(!m_tray->ClickPending());
    }

    void DoubleClickTogglesExactlyOnce() {
        m_tray->DoubleClickIntervalMs = 60 * 60 * 1000;
        m_tray->Loaded();
        // A double click reaches the icon as press, release, press+double, release.
        m_backend->Activate(TTrayActivation::Trigger);
        m_backend->Activate(TTrayActivation::Trigger);
        m_backend->Activate(TTrayActivation::DoubleClick);
        QCOMPARE(m_clicks, 1);
    }

    void SeparateClicksEachToggle() {
        m_tray->DoubleClickIntervalMs = 0;
        m_tray->Loaded();
        m_backend->Activate(TTrayActivation::Trigger);
        m_backend->Activate(TTrayActivation::Trigger);
        m_backend->Activate(TTrayActivation::Trigger);
        QCOMPARE(m_clicks, 3);
    }

    // The second press counts as a click of its own once the interval has
    // passed on the icon's clock, across the wrap of the tick counter too.
    void ClicksApartByTheIntervalEachToggle() {
        test::TManualClock clock(0xFFFFFF00u);
        m_tray->SetClock(clock);
        m_tray->DoubleClickIntervalMs = 500;
        m_tray->Loaded();
        for (uint32_t step : {0u, 499u, 601u, 500u}) {
            clock.Tick += step;
            m_backend->Activate(TTrayActivation::Trigger);
        }
        QCOMPARE(m_clicks, 3);
    }

    void MiddleClickAndDisabledIconDoNothing() {
        QMenu menu;
        m_tray->SetPopupMenu(&menu);
        m_tray->Loaded();
        m_backend->Activate(TTrayActivation::MiddleClick);
        m_tray->Enabled = false;
        m_backend->Activate(TTrayActivation::Trigger);
        m_backend->Activate(TTrayActivation::Context);
        QCOMPARE(m_clicks, 0);
        QVERIFY(!menu.isVisible());
    }

    void ContextShowsMenuAtCursor() {
        QMenu menu;
        menu.addAction(QStringLiteral("&Ukončit"));
        m_tray->SetPopupMenu(&menu);
        m_tray->Loaded();
        m_backend->Activate(TTrayActivation::Context);
        QVERIFY(menu.isVisible());
        QCOMPARE(menu.pos(), QPoint(300, 200));
        QCOMPARE(m_clicks, 0);
        menu.hide();
    }

    void TheMenuIsHandedToTheNotificationArea() {
        QMenu menu;
        m_tray->SetPopupMenu(&menu);
        QCOMPARE(m_state->menu, &menu);
    }

    // An XEmbed tray has Qt open the menu at the press before the right click
    // is reported; the report must not open or move it a second time.
    void ContextLeavesAMenuTheNotificationAreaOpenedAlone() {
        QMenu menu;
        menu.addAction(QStringLiteral("&Ukončit"));
        m_tray->SetPopupMenu(&menu);
        m_tray->Loaded();
        menu.popup(QPoint(40, 50));
        m_backend->Activate(TTrayActivation::Context);
        QVERIFY(menu.isVisible());
        QCOMPARE(menu.pos(), QPoint(40, 50));
        menu.hide();
    }

    void ANotificationAreaAppearingIsPassedOn() {
        int appeared = 0;
        m_tray->OnTrayAppeared = [&] { ++appeared; };
        m_backend->Appear();
        QCOMPARE(appeared, 1);
    }

    void ContextWithoutMenuOrCursorShowsNothing() {
        m_tray->Loaded();
        m_backend->Activate(TTrayActivation::Context); // no menu: must not crash
        QMenu menu;
        menu.addAction(QStringLiteral("&Ukončit"));
        m_tray->SetPopupMenu(&menu);
        m_state->cursor.reset();
        m_backend->Activate(TTrayActivation::Context);
        QVERIFY(!menu.isVisible());
    }

    void DroppedMenuIsForgotten() {
        auto* menu = new QMenu;
        m_tray->SetPopupMenu(menu);
        delete menu;
        QCOMPARE(m_tray->PopupMenu(), nullptr);
        m_backend->Activate(TTrayActivation::Context);
    }

    void RestoreAndHideSwitchTheOwner() {
        m_tray->RestoreMainWindow();
        QVERIFY(m_owner->isVisible());
        m_tray->HideMainWindow();
        QVERIFY(!m_owner->isVisible());
    }

    void DestructionRemovesTheIcon() {
        m_tray->Loaded();
        QVERIFY(m_state->shown);
        delete m_owner;
        m_owner = nullptr;
        QVERIFY(!m_state->shown);
        QCOMPARE(m_state->calls.back(), std::string("remove"));
    }
};

QTEST_MAIN(TrayIconTest)
#include "tray_icon_test.moc"
