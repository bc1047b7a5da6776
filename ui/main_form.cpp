// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_form.h"

#include "config/ini_file.h"
#include "ui/about_form.h"
#include "ui/form_scale.h"
#include "ui/settings/config_text.h"
#include "ui/settings/settings_form.h"
#include "ui/tray/site_tooltip.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>

namespace pingvard {

namespace {

constexpr int kClientWidth = 268;
constexpr int kRowsHeight = 122;
constexpr int kStatusHeight = 19;
constexpr int kFirstRowTop = 32;
constexpr int kRowPitch = 24;
constexpr int kHostColumnWidth = 121;

} // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/pingvard/pingvard-%1.png").arg(size));
    }
    return icon;
}

QIcon TrayImage(int index) {
    QIcon icon;
    for (int size : kTrayImageSizes) {
        icon.addFile(QStringLiteral(":/pingvard/tray%1-%2.png").arg(index).arg(size));
    }
    return icon;
}

TMainForm::TMainForm(std::unique_ptr<TTrayBackend> trayBackend, TMonitorOptions options,
                     QWidget* parent)
    : QMainWindow(parent), TrayIcon1(new TTrayIcon(this, std::move(trayBackend))),
      PopupMenu1(new QMenu(this)), StatusBar1(new QStatusBar(this)),
      ImageList1(new TImageList(this)), MainMenu1(new QMenuBar(this)), Bevel1(nullptr),
      m_dispatcher(std::make_unique<TQtDispatcher>()) {
    m_hidesToTray = TrayIcon1->Available();
    Qt::WindowFlags flags =
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (!m_hidesToTray) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    setWindowFlags(flags);
    setWindowTitle(tr("Orvane AP Pingvard"));
    setFont(FormFont());
    // The fourth image goes past the designed three: an icon must not say
    // all is well while the site is down and no restart has failed.
    for (int i = 0; i < kTrayImageCount; ++i) {
        ImageList1->Add(TrayImage(i));
    }
    CreateMenus();
    CreateRows();
    LayOut();

    // What loading the tray icon's layout sets, in that order; then the
    // references, then the loaded notification that adds the icon.
    TrayIcon1->SetHint(tr("Orvane AP Pingvard"));
    TrayIcon1->SetShowHint(false);
    TrayIcon1->SetIcon(ProgramIcon());
    TrayIcon1->StartMinimized = true;
    TrayIcon1->OnClick = [this] { Obnovit1Click(); };
    TrayIcon1->OnTrayAppeared = [this] { TrayAppeared(); };
    TrayIcon1->SetIconList(ImageList1);
    TrayIcon1->SetPopupMenu(PopupMenu1);
    TrayIcon1->Loaded();

    m_monitor = std::make_unique<THostMonitor>(*this, *m_dispatcher, std::move(options));
    m_observers = new TDesktopObservers(*this);
    ShowErrorBox = [this](const QString& text) {
        // Modal to this window only, so the tray icon and its exit command
        // stay usable; the text is shown as it is, never as markup.
        QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle), text,
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.setWindowModality(Qt::WindowModal);
        box.exec();
    };
    AskRestart = [this](const QString& question) {
        // A restart reaches a device: never at a stray click.
        QMessageBox box(QMessageBox::Question, QString::fromUtf8(kApplicationTitle), question,
                        QMessageBox::NoButton, this);
        box.setTextFormat(Qt::PlainText);
        QPushButton* restart = box.addButton(tr("Restartovat"), QMessageBox::AcceptRole);
        box.setDefaultButton(box.addButton(tr("Storno"), QMessageBox::RejectRole));
        box.setWindowModality(Qt::WindowModal);
        box.exec();
        return box.clickedButton() == restart;
    };
    m_dispatcher->OnHandOffError = [this](const std::string& what) {
        if (ShowErrorBox) {
            ShowErrorBox(DisplayText(what));
        }
    };
}

TMainForm::~TMainForm() {
    FormDestroy();
    m_monitor.reset();
    m_dispatcher.reset();
}

void TMainForm::CreateMenus() {
    Obnovit1 = PopupMenu1->addAction(tr("&Skrýt/Zobrazit"), this, &TMainForm::Obnovit1Click);
    HistoriePopup1 = PopupMenu1->addAction(tr("&Historie..."), this, &TMainForm::Historie1Click);
    Restart1 = PopupMenu1->addAction(tr("&Restartovat nyní"), this, &TMainForm::RestartNowClick);
    Zav1 = PopupMenu1->addAction(tr("&Ukončit"), this, &TMainForm::Zav1Click);

    setMenuBar(MainMenu1);
    Soubor1 = MainMenu1->addMenu(tr("&Orvane"));
    Nastaven1 = Soubor1->addAction(tr("&Nastavení..."), this, &TMainForm::Nastaven1Click);
    Historie1 = Soubor1->addAction(tr("&Historie..."), this, &TMainForm::Historie1Click);
    Oprogramu1 = Soubor1->addAction(tr("&O programu..."), this, &TMainForm::Oprogramu1Click);
    Soubor1->addAction(Restart1);
    N1 = Soubor1->addSeparator();
    Hide1 = Soubor1->addAction(tr("&Skrýt"), this, &TMainForm::Obnovit1Click);
    Soubor1->addAction(Zav1);
}

void TMainForm::CreateRows() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    Bevel1 = new QFrame(client);
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    Label1 = new QLabel(tr("Hostname"), client);
    Label2 = new QLabel(tr("Ping"), client);
    Label3 = new QLabel(tr("Average"), client);
    Label4 = new QLabel(tr("PL"), client);
    for (QLabel* heading : {Label1, Label2, Label3, Label4}) {
        heading->setFont(BoldFormFont());
    }
    auto label = [client](const QString& text, bool centred) {
        auto* l = new TLabel(text, client);
        if (centred) {
            l->setAlignment(Qt::AlignCenter);
        } else {
            l->FitsText = true;
        }
        return l;
    };
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString n = QString::number(slot + 1);
        m_hosts[slot] = label(QStringLiteral("Host") + n, false);
        m_pings[slot] = label(QStringLiteral("P") + n, true);
        m_averages[slot] = label(QStringLiteral("A") + n, true);
        m_losses[slot] = label(QStringLiteral("PL") + n, true);
    }
    std::tie(Host1, Host2, Host3, Host4) =
        std::tuple(m_hosts[0], m_hosts[1], m_hosts[2], m_hosts[3]);
    std::tie(P1, P2, P3, P4) = std::tuple(m_pings[0], m_pings[1], m_pings[2], m_pings[3]);
    std::tie(A1, A2, A3, A4) =
        std::tuple(m_averages[0], m_averages[1], m_averages[2], m_averages[3]);
    std::tie(PL1, PL2, PL3, PL4) = std::tuple(m_losses[0], m_losses[1], m_losses[2], m_losses[3]);

    // One simple panel: a label, because a status-bar message would be wiped
    // by the status tips of the menu items.
    setStatusBar(StatusBar1);
    StatusBar1->setSizeGripEnabled(false);
    m_statusPanel = new QLabel(StatusBar1);
    m_statusPanel->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(m_statusPanel, 1);
    // The site's state beside the designed status line, which keeps its texts.
    m_sitePanel = new QLabel(StatusBar1);
    m_sitePanel->setTextFormat(Qt::PlainText);
    m_sitePanel->setAccessibleName(tr("Stav sítě"));
    m_statusPanel->setAccessibleName(tr("Stavový řádek"));
    StatusBar1->addPermanentWidget(m_sitePanel);
}

void TMainForm::LayOut() {
    const TFormScale s = TFormScale::ForWidget(this);
    centralWidget()->setFixedSize(s.Size(kClientWidth, kRowsHeight));
    s.Place(Bevel1, 0, 0, kClientWidth, 2);
    s.Place(Label1, 46, 8);
    s.Place(Label2, 136, 8);
    s.Place(Label3, 174, 8);
    s.Place(Label4, 238, 8);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const int top = kFirstRowTop + slot * kRowPitch;
        // A long name is cut short of the Ping column instead of running into it.
        m_hosts[slot]->setMaximumWidth(s(kHostColumnWidth));
        s.Place(m_hosts[slot], 6, top);
        s.Place(m_pings[slot], 129, top, 40, 13);
        s.Place(m_averages[slot], 178, top, 40, 13);
        s.Place(m_losses[slot], 230, top, 32, 13);
    }
    StatusBar1->setFixedHeight(s(kStatusHeight));
    setFixedSize(s(kClientWidth), MainMenu1->sizeHint().height() + s(kRowsHeight + kStatusHeight));
}

bool TMainForm::FormCreate() {
    Closing = false;
    try {
        m_monitor->Start();
        if (OnDiagnostic) {
            for (const std::string& problem : m_monitor->Settings().BoundsProblems) {
                OnDiagnostic(problem); // each value used at its bound, once
            }
        }
        m_observers->Start();
        return true;
    } catch (const ELoadCancelled&) {
        // An exit request during the load: its byte waits in the signal pipe
        // and ends the program as soon as the event loop runs.
        return true;
    } catch (const EIniFileException& e) {
        if (OnDiagnostic) {
            OnDiagnostic(e.what());
        }
        if (ShowErrorBox) {
            ShowErrorBox(DisplayText(e.what()));
        }
        return false;
    }
}

void TMainForm::FormDestroy() {
    if (m_destroyed) {
        return;
    }
    m_destroyed = true;
    m_monitor->Shutdown();
    m_observers->Stop(); // after the monitor: its last events are written
}

void TMainForm::ShowAtStart() {
    if (!TrayIcon1->StartMinimized || !m_hidesToTray) {
        TrayIcon1->RestoreMainWindow();
    }
}

void TMainForm::OpenSettingsOnFirstRun() {
    if (!m_monitor->AwaitingConfirmation()) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            Nastaven1Click();
            if (!Closing) {
                m_monitor->ConfirmSettings();
            }
        },
        Qt::QueuedConnection);
}

// Started before the panel (autostart at login): the window was shown for
// want of a notification area. Now there is one, so the program behaves as
// if it had been there from the start.
void TMainForm::TrayAppeared() {
    if (m_hidesToTray) {
        return;
    }
    m_hidesToTray = true;
    setWindowFlags(windowFlags() & ~Qt::WindowMinimizeButtonHint); // this also hides
    TrayIcon1->HideMainWindow();
    if (OnDiagnostic) {
        OnDiagnostic("a notification area appeared: the window hides in it now");
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose(event);
}

void TMainForm::FormClose(QCloseEvent* event) {
    if (Closing) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_hidesToTray) {
        TrayIcon1->HideMainWindow();
    } else {
        showMinimized();
    }
    CopyTrayImageToApplicationIcon();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_centred) {
        return;
    }
    m_centred = true;
    CentreOnScreen(this);
}

void TMainForm::Zav1Click() {
    Closing = true;
    CloseModalDialogs();
    close();
    // Reports can only come in through the event loop, which has not run
    // since Closing was set.
    FormDestroy();
    // The window may never have been shown, so end the loops here rather than
    // count on the close of the last window. Only when one runs: an exit
    // without a loop would end the next one at its start.
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(0);
    }
}

void TMainForm::CloseModalDialogs() {
    // Innermost first (an error box above the settings dialog); each rejected
    // dialog's modal loop ends with the cancel result.
    QWidget* previous = nullptr;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog || dialog == previous) {
            break;
        }
        previous = dialog;
        dialog->reject();
    }
}

void TMainForm::Obnovit1Click() {
    if (isVisible() && !isMinimized()) {
        if (m_hidesToTray) {
            TrayIcon1->HideMainWindow();
        } else {
            showMinimized();
        }
    } else {
        TrayIcon1->RestoreMainWindow();
    }
}

// The dialogs are modal to this window only: an application-modal dialog
// would also block the tray icon, which must stay usable (its menu's exit
// command closes an open dialog).
void TMainForm::Nastaven1Click() {
    TSettingsForm dialog(*m_monitor, this);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.exec();
    m_observers->SettingsChanged();
}

void TMainForm::Historie1Click() {
    m_observers->OpenHistory();
}

void TMainForm::RestartNowClick() {
    if (AskRestart && !AskRestart(RestartQuestion())) {
        return;
    }
    RestartNowUnasked();
}

void TMainForm::RestartNowUnasked() {
    m_monitor->RestartNow();
}

QString TMainForm::RestartQuestion() const {
    const TSettings settings = m_monitor->Settings();
    const TActionConfig& first = settings.Recovery.Actions.front();
    return tr("Restartovat zařízení nyní?\n\nPrvní akce: %1 (%2) na %3")
        .arg(DisplayText(first.Name), QString::fromUtf8(ActionKindName(first.Kind).data()),
             DisplayText(KindInfo(first.Kind).Target(first, m_monitor->ResetHost())));
}

void TMainForm::Oprogramu1Click() {
    TAboutForm dialog(this);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.exec();
}

void TMainForm::WMPing(int slot, int32_t ms) {
    m_monitor->ReportPing(slot, ms);
}

QString TMainForm::StatusText() const {
    return m_statusPanel->text();
}

TLabel* TMainForm::RowLabel(const std::array<TLabel*, kSlotCount>& row, int slot) {
    return row.at(static_cast<size_t>(slot));
}

TTextLabel& TMainForm::HostLabel(int slot) {
    return *RowLabel(m_hosts, slot);
}

void TMainForm::ShowFigures(int slot, const TRowFigures& figures) {
    const TRowTexts texts = RowTexts(figures);
    RowLabel(m_pings, slot)->SetText(texts.Ping);
    RowLabel(m_averages, slot)->SetText(texts.Average);
    RowLabel(m_losses, slot)->SetText(texts.Loss);
}

std::array<TLabel*, 4> TMainForm::RowLabels(int slot) const {
    return {RowLabel(m_hosts, slot), RowLabel(m_pings, slot), RowLabel(m_averages, slot),
            RowLabel(m_losses, slot)};
}

void TMainForm::SetStatusText(const std::string& text) {
    m_statusPanel->setText(DisplayText(text));
}

int TMainForm::TrayIconIndex() const {
    return TrayIcon1->IconIndex();
}

void TMainForm::SetTrayIconIndex(int index) {
    TrayIcon1->SetIconIndex(index);
}

void TMainForm::CopyTrayImageToApplicationIcon() {
    QApplication::setWindowIcon(TrayIcon1->Icon());
}

void TMainForm::ShowSite(const TSiteView& site) {
    TrayIcon1->SetToolTip(TSiteToolTip::ToolTip(site));
    m_sitePanel->setText(TSiteToolTip::StateField(site));
}

QString TMainForm::SiteText() const {
    return m_sitePanel->text();
}

void TMainForm::ReportIcmpUnavailable(const std::string& reason) {
    SetStatusText(reason);
    if (OnDiagnostic) {
        OnDiagnostic(reason);
    }
}

void TMainForm::ReportProblem(const std::string& text) {
    if (OnDiagnostic) {
        OnDiagnostic(text);
    }
}

} // namespace pingvard
