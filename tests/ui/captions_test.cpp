// SPDX-License-Identifier: GPL-3.0-or-later
// Every caption of the desktop program in both of its languages, with the
// language chosen the way the program chooses it at start.

#include "tests/ui/ui_test_support.h"
#include "ui/about_form.h"
#include "ui/history/history_form.h"
#include "ui/settings/observe_page.h"
#include "ui/settings/recovery_page.h"
#include "ui/settings/settings_form.h"
#include "ui/text_label.h"
#include "ui/ui_language.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QMenu>
#include <QScrollArea>
#include <QTabBar>
#include <QTest>
#include <algorithm>
#include <cstdlib>

using namespace pingvard;
using namespace pingvard::test;

namespace {

// One row per caption: the window it is in, the Czech text, the English text.
// A new caption needs a row here (the failure lists missing rows ready to
// paste) and its English text in ui/translations/pingvard_en.ts.
struct TCaption {
    const char* Window;
    const char* Czech;
    const char* English;
};

const TCaption kCaptions[] = {
    {"main", "Orvane AP Pingvard", "Orvane AP Pingvard"},
    {"main", "Hostname", "Hostname"},
    {"main", "Ping", "Ping"},
    {"main", "Average", "Average"},
    {"main", "PL", "PL"},
    {"main", "&Orvane", "&Orvane"},
    {"main", "&Nastavení...", "&Settings..."},
    {"main", "&O programu...", "&About..."},
    {"main", "&Restartovat nyní", "&Restart now"},
    {"main", "&Historie...", "&History..."},
    {"main", "&Skrýt", "&Hide"},
    {"main", "&Ukončit", "&Exit"},
    {"main", "&Skrýt/Zobrazit", "&Hide/Show"}, // the tray menu
    {"main", "&Restartovat nyní", "&Restart now"},
    {"main", "&Historie...", "&History..."},
    {"main", "&Ukončit", "&Exit"},
    {"settings", "Nastavení", "Settings"},
    {"settings", "Konstanty:", "Constants:"},
    {"settings", "Interval pro zkoušení spojení [ms]:", "Interval between pings [ms]:"},
    {"settings", "Maximální dovolený počet výpadků:", "Maximum failures in a row:"},
    {"settings", "Restartování zařízení:", "Restarting the device:"},
    {"settings", "Adresa restartovaného zařízení:", "Address of the device to restart:"},
    {"settings", "Hlídané IP adresy:", "Watched IP addresses:"},
    {"settings", "Adresa 1", "Address 1"},
    {"settings", "Adresa 2", "Address 2"},
    {"settings", "Adresa 3", "Address 3"},
    {"settings", "Adresa 4", "Address 4"},
    {"settings", "IP adresa:", "IP address:"},
    {"settings", "Zobrazované jméno:", "Display name:"},
    {"settings", "Jak dlouho čekat na odezvu [ms]:", "How long to wait for a reply [ms]:"},
    {"settings", "Adresa je testována:", "The address is tested:"},
    {"settings", "OK", "OK"},
    {"settings", "Storno", "Cancel"},
    {"settings", "&Obnova...", "&Recovery..."},
    {"settings", "&Sledování...", "&Observers..."},
    {"about", "O programu", "About"},
    {"about", "Orvane AP Pingvard", "Orvane AP Pingvard"},
    {"about", "verze 1.0", "version 1.0"},
    {"about", "datum kompilace: 9.5.2003", "build date: 9 May 2003"},
    {"about", "© 2026 Pingvard developers", "© 2026 Pingvard developers"},
    {"about", "pingvard.example.org", "pingvard.example.org"},
    {"about", "pingvard@example.org", "pingvard@example.org"},
    {"recovery", "Obnova zařízení", "Recovery"},
    {"recovery", "Ochrana před opakováním:", "Guard against repeating:"},
    {"recovery", "Kolik sledovaných adres musí selhat (0 = všechny):",
     "Marked hosts that must fail (0 = all):"},
    {"recovery", "Prodleva po každém zásahu [s]:", "Hold-off after each action [s]:"},
    {"recovery",
     "Nejvýše kol v okně (0 = bez omezení):", "At most rounds per window (0 = no limit):"},
    {"recovery", "Okno [s]:", "Window [s]:"},
    {"recovery", "Zdvojnásobit prodlevu po každém neúspěšném kole",
     "Double the hold-off after each round that did not cure"},
    {"recovery", "Akce v pořadí eskalace:", "Actions in escalation order:"},
    {"recovery", "&Přidat", "&Add"},
    {"recovery", "&Odebrat", "&Remove"},
    {"recovery", "Na&horu", "&Up"},
    {"recovery", "Do&lů", "&Down"},
    {"recovery",
     "Připojí se k adrese restartovaného zařízení (hlavní okno nastavení) a přehraje skript ze "
     "souboru pingvard.ini.",
     "Connects to the reset host (main settings window) and plays the script from pingvard.ini."},
    {"recovery", "SSH:", "SSH:"},
    {"recovery", "Adresa zařízení:", "Device address:"},
    {"recovery", "Port:", "Port:"},
    {"recovery", "Soubor s klíčem:", "Key file:"},
    {"recovery", "Příkaz:", "Command:"},
    {"recovery", "Klíč serveru:", "Server key:"},
    {"recovery", "&Načíst klíč", "&Fetch key"},
    {"recovery", "HTTP:", "HTTP:"},
    {"recovery", "Předvolba zásuvky:", "Plug preset:"},
    {"recovery", "Adresa zásuvky:", "Plug address:"},
    {"recovery", "Port (0 = výchozí):", "Port (0 = default):"},
    {"recovery", "HTTPS", "HTTPS"},
    {"recovery", "Kanál:", "Channel:"},
    {"recovery", "Doba vypnutí [s]:", "Off time [s]:"},
    {"recovery", "Připnutý klíč:", "Pinned key:"},
    {"recovery", "Metoda:", "Method:"},
    {"recovery", "URL:", "URL:"},
    {"recovery", "Tělo:", "Body:"},
    {"recovery", "Očekávaný stav:", "Expected status:"},
    {"recovery", "Program:", "Program:"},
    {"recovery", "Program:", "Program:"},
    {"recovery", "&Vybrat...", "&Browse..."},
    {"recovery", "Argumenty (jeden na řádek):", "Arguments (one per row):"},
    {"recovery", "Přihlášení:", "Login:"},
    {"recovery", "Uživatel:", "User:"},
    {"recovery", "Heslo:", "Password:"},
    {"recovery", "Smazat heslo", "Clear the password"},
    {"recovery", "Soubor s heslem:", "Password file:"},
    {"recovery", "Zkouška:", "Test:"},
    {"recovery", "&Vyzkoušet", "&Test"},
    {"recovery", "&Zastavit", "&Stop"},
    {"recovery",
     "Doporučeno pro připojení DSL nebo LTE: prodleva 300 s, nejvýše 6 kol za 86400 s, zdvojování "
     "zapnuto, ověření 180 s a více.",
     "Advised for DSL or LTE links: hold-off 300 s, at most 6 rounds in 86400 s, back-off on, "
     "verify 180 s or more."},
    {"recovery", "Storno", "Cancel"},
    {"recovery", "OK", "OK"},
    {"observe", "Adresa:", "Address:"},
    {"observe", "Argumenty (jeden na řádek):", "Arguments (one per row):"},
    {"observe", "Historie", "History"},
    {"observe",
     "Historie, metriky, háčky a kanály oznámení se změní při příštím spuštění programu.",
     "History, metrics, hooks and notification channels change at the next start of the program."},
    {"observe", "Host opět odpovídá", "A host answers again"},
    {"observe", "Host přestal odpovídat", "A host stopped answering"},
    {"observe", "Háček dolů", "Hook down"},
    {"observe", "Háček nahoru", "Hook up"},
    {"observe", "Háčky", "Hooks"},
    {"observe", "Jméno:", "Name:"},
    {"observe", "Metriky pro Prometheus", "Metrics for Prometheus"},
    {"observe", "Odebrat háček", "Remove hook"},
    {"observe", "Oznámení na ploše", "Desktop notifications"},
    {"observe", "Port:", "Port:"},
    {"observe", "Povolit naslouchání na všech rozhraních", "Allow listening on every interface"},
    {"observe", "Program:", "Program:"},
    {"observe", "Přidat háček", "Add hook"},
    {"observe", "Události:", "Events:"},
    {"observe", "Ukládat každou odezvu a obnovu do historie",
     "Record every echo and recovery in the history"},
    {"observe", "Vybrat...", "Browse..."},
    {"observe", "Výpadek sítě, pozastavení restartů a návrat",
     "Site down, restarts paused, site back"},
    {"observe", "Začátek a výsledek každé obnovy", "Start and outcome of each recovery"},
    {"observe", "Zpřístupnit metriky na /metrics", "Serve the metrics at /metrics"},
    {"observe", "action-outcome", "action-outcome"},
    {"observe", "action-started", "action-started"},
    {"observe", "guard-changed", "guard-changed"},
    {"observe", "host-down", "host-down"},
    {"observe", "host-up", "host-up"},
    {"observe", "restarts-paused", "restarts-paused"},
    {"observe", "rule-fired", "rule-fired"},
    {"observe", "site-back", "site-back"},
    {"observe", "site-down", "site-down"},
    {"observe", "site-state", "site-state"},
    {"observe", "Časový limit [s]:", "Time limit [s]:"},
    // the notification channels
    {"observe", "Kanály oznámení (pošta a web hooky)",
     "Notification channels (mail and web hooks)"},
    {"observe", "Přidat poštu", "Add mail"},
    {"observe", "Přidat web hook", "Add web hook"},
    {"observe", "Odebrat kanál", "Remove channel"},
    {"observe", "Kanál nahoru", "Channel up"},
    {"observe", "Kanál dolů", "Channel down"},
    {"observe", "Jméno:", "Name:"},
    {"observe", "Server:", "Server:"},
    {"observe", "Vyžadovat STARTTLS", "Require STARTTLS"},
    {"observe", "Uživatel:", "User:"},
    {"observe", "Heslo:", "Password:"},
    {"observe", "Od:", "From:"},
    {"observe", "Komu:", "To:"},
    {"observe", "Druh:", "Preset:"},
    {"observe", "Adresa URL:", "URL:"},
    {"observe", "Token:", "Token:"},
    {"observe", "Smazat heslo nebo token", "Clear the password or token"},
    {"observe", "Události:", "Events:"},
    {"observe", "Časový limit [s]:", "Time limit [s]:"},
    {"observe", "Odeslat zkušební zprávu", "Send a test message"},
    {"observe", "Zastavit", "Stop"},
    {"observe", "site-down", "site-down"},
    {"observe", "site-back", "site-back"},
    {"observe", "restarts-paused", "restarts-paused"},
    {"observe", "rule-fired", "rule-fired"},
    {"observe", "action-started", "action-started"},
    {"observe", "action-outcome", "action-outcome"},
    {"observe", "guard-changed", "guard-changed"},
    {"observe", "host-down", "host-down"},
    {"observe", "host-up", "host-up"},
    {"observe", "daily-report", "daily-report"},
    {"history", "Historie", "History"},
    {"history", "Rozsah:", "Range:"},
    {"history", "Načítání…", "Loading…"}, // the status while the first read runs
    {"history", "1 hodina", "1 hour"},
    {"history", "24 hodin", "24 hours"},
    {"history", "7 dní", "7 days"},
    {"history", "90 dní", "90 days"},
    {"history", "Medián, barva podle ztráty:", "Median, colour by loss:"},
    {"history", "0 %", "0 %"},
    {"history", "< 2 %", "< 2 %"},
    {"history", "< 5 %", "< 5 %"},
    {"history", "< 10 %", "< 10 %"},
    {"history", "< 25 %", "< 25 %"},
    {"history", "< 100 %", "< 100 %"},
    {"history", "100 %", "100 %"},
    {"history", "rozptyl min–max", "min–max spread"},
    {"history", "10.–90. percentil", "10th–90th percentile"},
    {"history", "25.–75. percentil", "25th–75th percentile"},
    {"history", "výpadek, vše ztraceno", "outage, all lost"},
    {"history", "nad osou", "above the scale"},
    {"history", "obnova proběhla", "recovery succeeded"},
    {"history", "obnova selhala", "recovery failed"},
    {"history", "Dostupnost za 30 dní:", "Uptime, last 30 days:"},
    {"history",
     "Výpadky (dvojklik: grafy v tu dobu):", "Incidents (double click: the graphs at that time):"},
};

// What a window shows as its own text: the title, labels, buttons, frames,
// tabs and menus. The figures and names the monitor writes are values, not
// captions.
QStringList CaptionsOf(QWidget* window) {
    QStringList captions{window->windowTitle()};
    for (QObject* object : window->findChildren<QObject*>()) {
        if (qobject_cast<TLabel*>(object)) {
            continue;
        }
        if (auto* label = qobject_cast<QLabel*>(object)) {
            captions << label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
            captions << button->text();
        } else if (auto* frame = qobject_cast<QGroupBox*>(object)) {
            captions << frame->title();
        } else if (auto* tabs = qobject_cast<QTabBar*>(object)) {
            for (int i = 0; i < tabs->count(); ++i) {
                captions << tabs->tabText(i);
            }
        } else if (auto* menu = qobject_cast<QMenu*>(object)) {
            captions << menu->title();
            for (const QAction* action : menu->actions()) {
                captions << action->text();
            }
        }
    }
    captions.removeAll(QString());
    captions.sort();
    return captions;
}

QStringList Expected(const char* window, TUiLanguage language) {
    QStringList captions;
    for (const TCaption& row : kCaptions) {
        if (qstrcmp(row.Window, window) == 0) {
            captions << QString::fromUtf8(language == TUiLanguage::Czech ? row.Czech : row.English);
        }
    }
    captions.sort();
    return captions;
}

// Both directions of a difference, so that a new caption's row can be pasted.
QString Difference(const char* window, const QStringList& shown, const QStringList& expected) {
    QStringList missing = expected;
    QStringList unexpected;
    for (const QString& caption : shown) {
        if (!missing.removeOne(caption)) {
            unexpected << caption;
        }
    }
    QString text;
    for (const QString& caption : unexpected) {
        text += QStringLiteral("\n  shown but not in the table: {\"%1\", \"%2\", ...}")
                    .arg(QString::fromUtf8(window), caption);
    }
    for (const QString& caption : missing) {
        text += QStringLiteral("\n  in the table but not shown: \"%1\"").arg(caption);
    }
    return text;
}

void SetVariable(const char* name, const QByteArray& value) {
    if (value.isEmpty()) {
        qunsetenv(name);
    } else {
        qputenv(name, value);
    }
}

} // namespace

Q_DECLARE_METATYPE(TUiLanguage)

class CaptionsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) {
            qunsetenv(name);
        }
    }

    void LocaleChoosesTheLanguage_data() {
        QTest::addColumn<QByteArray>("lcAll");
        QTest::addColumn<QByteArray>("lcMessages");
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<TUiLanguage>("expected");
        const auto cs = TUiLanguage::Czech;
        const auto en = TUiLanguage::English;
        QTest::newRow("nothing set")
            << QByteArray() << QByteArray() << QByteArray() << QByteArray() << en;
        QTest::newRow("LANG Czech")
            << QByteArray() << QByteArray() << QByteArray("cs_CZ.UTF-8") << QByteArray() << cs;
        QTest::newRow("LANG bare cs")
            << QByteArray() << QByteArray() << QByteArray("cs") << QByteArray() << cs;
        QTest::newRow("LANG German")
            << QByteArray() << QByteArray() << QByteArray("de_DE.UTF-8") << QByteArray() << en;
        QTest::newRow("Kashubian is not Czech")
            << QByteArray() << QByteArray() << QByteArray("csb_PL.UTF-8") << QByteArray() << en;
        QTest::newRow("LC_MESSAGES beats LANG") << QByteArray() << QByteArray("cs_CZ.UTF-8")
                                                << QByteArray("en_GB.UTF-8") << QByteArray() << cs;
        QTest::newRow("LC_ALL beats LC_MESSAGES")
            << QByteArray("en_US.UTF-8") << QByteArray("cs_CZ.UTF-8") << QByteArray()
            << QByteArray() << en;
        QTest::newRow("C locale ignores LANGUAGE")
            << QByteArray("C.UTF-8") << QByteArray() << QByteArray("cs_CZ.UTF-8")
            << QByteArray("cs") << en;
        QTest::newRow("LANGUAGE's first known entry")
            << QByteArray() << QByteArray() << QByteArray("cs_CZ.UTF-8")
            << QByteArray("de:en_GB:cs") << en;
        QTest::newRow("LANGUAGE without a known entry: the locale")
            << QByteArray() << QByteArray() << QByteArray("cs_CZ.UTF-8") << QByteArray("de:fr")
            << cs;
    }
    void LocaleChoosesTheLanguage() {
        QFETCH(QByteArray, lcAll);
        QFETCH(QByteArray, lcMessages);
        QFETCH(QByteArray, lang);
        QFETCH(QByteArray, language);
        QFETCH(TUiLanguage, expected);
        SetVariable("LC_ALL", lcAll);
        SetVariable("LC_MESSAGES", lcMessages);
        SetVariable("LANG", lang);
        SetVariable("LANGUAGE", language);
        QCOMPARE(LocaleLanguage(TLocaleEnvironment::FromProcess()), expected);
    }

    // The option beats pingvard.ini, which beats the locale; reading the
    // setting leaves a missing or settings-only file as it was.
    void OptionThenFileThenLocale_data() {
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("option");
        QTest::addColumn<TUiLanguage>("expected");
        QTest::addColumn<int>("problems");
        const auto cs = TUiLanguage::Czech;
        const auto en = TUiLanguage::English;
        const QByteArray english = "en_US.UTF-8", czech = "cs_CZ.UTF-8";
        QTest::newRow("no file") << english << QByteArray() << QString() << en << 0;
        QTest::newRow("file says cs")
            << english << QByteArray("[Desktop]\r\nLanguage=cs\r\n") << QString() << cs << 0;
        QTest::newRow("file says EN")
            << czech << QByteArray("[Desktop]\r\nLanguage=EN\r\n") << QString() << en << 0;
        QTest::newRow("empty key: the locale")
            << czech << QByteArray("[Desktop]\r\nLanguage=\r\n") << QString() << cs << 0;
        QTest::newRow("invalid key: the locale, and a problem")
            << czech << QByteArray("[Desktop]\r\nLanguage=de\r\n") << QString() << cs << 1;
        QTest::newRow("option beats the file")
            << czech << QByteArray("[Desktop]\r\nLanguage=cs\r\n") << QStringLiteral("en") << en
            << 0;
    }
    void OptionThenFileThenLocale() {
        QFETCH(QByteArray, lang);
        QFETCH(QByteArray, ini);
        QFETCH(QString, option);
        QFETCH(TUiLanguage, expected);
        QFETCH(int, problems);
        qputenv("LANG", lang);
        const TProgramDir dir(ini);
        std::vector<std::string> reported;
        QCOMPARE(DesktopLanguage(option.toStdString(), reported), expected);
        QCOMPARE(static_cast<int>(reported.size()), problems);
        QCOMPARE(QFile::exists(dir.Path("pingvard.ini")), !ini.isEmpty());
        if (!ini.isEmpty()) {
            QCOMPARE(dir.ReadFile("pingvard.ini"), ini);
        }
    }

    // A screen reader says what each control is and what it does: every
    // control that takes the focus has a name and a description, in both
    // languages.
    void EveryControlHasANameAndADescription_data() { EveryCaptionInTheChosenLanguage_data(); }
    void EveryControlHasANameAndADescription() {
        QFETCH(QByteArray, lang);
        qputenv("LANG", lang);
        const TProgramDir dir(kQuietIni);
        std::vector<std::string> problems;
        const TUiTranslation translation(DesktopLanguage({}, problems));
        auto form = MakeMainForm();
        TSettingsForm settings(form->Monitor());
        TRecoverySettings escalation;
        escalation.Actions.resize(1);
        escalation.Actions[0].Name = "telnet";
        TRecoveryPage recovery(escalation);
        TObservePage observe;
        observe.Load({});
        QStringList silent;
        for (QWidget* window : {static_cast<QWidget*>(&settings), static_cast<QWidget*>(&recovery),
                                static_cast<QWidget*>(&observe)}) {
            for (QWidget* control : window->findChildren<QWidget*>()) {
                // Parts of a control (a tab strip's arrows, a spin box's
                // line) are said as the control.
                if (control->focusPolicy() == Qt::NoFocus ||
                    qobject_cast<QTabBar*>(control->parentWidget()) ||
                    qobject_cast<QAbstractSpinBox*>(control->parentWidget()) ||
                    qobject_cast<QAbstractScrollArea*>(control->parentWidget()) ||
                    qobject_cast<QScrollArea*>(control)) {
                    continue;
                }
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
                // A tab strip is said by its tabs' names.
                const bool tabs = qobject_cast<QTabBar*>(control) != nullptr;
                if (!a || a->text(QAccessible::Name).isEmpty() ||
                    (!tabs && a->text(QAccessible::Description).isEmpty())) {
                    silent << QStringLiteral("%1 %2 \"%3\"")
                                  .arg(QString::fromLatin1(control->metaObject()->className()),
                                       control->objectName(),
                                       a ? a->text(QAccessible::Name) : QString());
                }
            }
        }
        QVERIFY2(silent.isEmpty(), qPrintable(silent.join('\n')));
    }

    void EveryCaptionInTheChosenLanguage_data() {
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<TUiLanguage>("expected");
        QTest::newRow("Czech locale") << QByteArray("cs_CZ.UTF-8") << TUiLanguage::Czech;
        QTest::newRow("English locale") << QByteArray("en_GB.UTF-8") << TUiLanguage::English;
    }
    void EveryCaptionInTheChosenLanguage() {
        QFETCH(QByteArray, lang);
        QFETCH(TUiLanguage, expected);
        qputenv("LANG", lang);
        const TProgramDir dir(kQuietIni);
        std::vector<std::string> problems;
        const TUiLanguage language = DesktopLanguage({}, problems);
        QCOMPARE(language, expected);
        const TUiTranslation translation(language);

        auto form = MakeMainForm();
        TSettingsForm settings(form->Monitor());
        TAboutForm about;
        THistoryWindowOptions options;
        options.HistoryFile = dir.Path("history.db").toStdString();
        THistoryForm history(options);
        TRecoverySettings escalation;
        escalation.Actions.resize(1);
        escalation.Actions[0].Name = "telnet";
        TRecoveryPage recovery(escalation);
        TObservePage observe;
        observe.Load({});
        const std::pair<const char*, QWidget*> windows[] = {
            {"main", form.get()},  {"settings", &settings}, {"about", &about},
            {"history", &history}, {"recovery", &recovery}, {"observe", &observe}};
        QString differences;
        for (const auto& [name, window] : windows) {
            differences += Difference(name, CaptionsOf(window), Expected(name, language));
        }
        QVERIFY2(differences.isEmpty(), qPrintable(differences));

        if (const QByteArray shots = qgetenv("PINGVARD_SCREENSHOT_DIR");
            !shots.isEmpty() && language == TUiLanguage::English) {
            QVERIFY(form->FormCreate());
            const QString prefix = QString::fromLocal8Bit(shots) + '/';
            for (QWidget* window :
                 {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(&settings),
                  static_cast<QWidget*>(&about)}) {
                window->show(); // the dialog fills its fields as it opens
            }
            QVERIFY(form->grab().save(prefix + "main-window-en.png"));
            QVERIFY(settings.grab().save(prefix + "settings-dialog-en.png"));
            QVERIFY(about.grab().save(prefix + "about-box-en.png"));
            for (const auto& [menu, file] : {std::pair{form->Soubor1, "menu-en.png"},
                                             std::pair{form->PopupMenu1, "tray-menu-en.png"}}) {
                menu->popup(QPoint(0, 0));
                QVERIFY(menu->grab().save(prefix + file));
                menu->hide();
            }
        }
    }
};

QTEST_MAIN(CaptionsTest)
#include "captions_test.moc"
