// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/slots.h"
#include "monitor/front_end.h"
#include "monitor/host_monitor.h"
#include "ui/notify/desktop_observers.h"
#include "ui/qt_dispatcher.h"
#include "ui/text_label.h"
#include "ui/tray/image_list.h"
#include "ui/tray/tray_icon.h"

#include <QAction>
#include <QFrame>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <array>
#include <functional>
#include <memory>

namespace pingvard {

// The application title: the text of the taskbar entry and the caption of the
// program's error boxes.
inline constexpr const char* kApplicationTitle = "AP Pingvard";

// The main window: the four rows of figures, the status bar and the menus. It
// lives in the notification area through TrayIcon1; closing it only hides it,
// and only the exit command (Zav1Click) ends the program. It owns the host
// monitor and is the monitor's front end.
//
// Without a notification area the window is shown at start and its close box
// minimises it instead, so the program can never become unreachable.
class TMainForm : public QMainWindow, public TMonitorFrontEnd {
    Q_OBJECT
public:
    explicit TMainForm(std::unique_ptr<TTrayBackend> trayBackend, TMonitorOptions options = {},
                       QWidget* parent = nullptr);
    ~TMainForm() override; // FormDestroy, then the components (the tray icon leaves)

    TTrayIcon* TrayIcon1;
    QMenu* PopupMenu1;
    QAction* Obnovit1;
    // One action per command, in both menus: the exit command ("Ukončit") and
    // "Restart now".
    QAction* Zav1;
    QAction* Restart1;
    QStatusBar* StatusBar1;
    TLabel* Host1;
    TLabel* Host2;
    TLabel* Host3;
    TLabel* Host4;
    TLabel* P1;
    TLabel* P2;
    TLabel* P3;
    TLabel* P4;
    TLabel* A1;
    TLabel* A2;
    TLabel* A3;
    TLabel* A4;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    TLabel* PL1;
    TLabel* PL2;
    TLabel* PL3;
    TLabel* PL4;
    TImageList* ImageList1;
    QMenuBar* MainMenu1;
    QMenu* Soubor1;
    QAction* Nastaven1;
    QAction* Oprogramu1;
    QAction* Historie1;      // the history window, in the Orvane menu
    QAction* HistoriePopup1; // the same in the tray menu
    QAction* N1;
    // "Skrýt": runs the toggle Obnovit1Click, which always hides here, since
    // the menu bar can only be used while the window is shown.
    QAction* Hide1;
    QFrame* Bevel1;
    bool Closing = false;

    // Start-up of the host monitor. A configuration write that fails is shown
    // in an error box captioned with the application title; the result is then
    // false and the program ends, since no worker exists to monitor anything.
    bool FormCreate();
    // A notification area appeared after start: the icon is in it, and the
    // window goes back to hiding there.
    void TrayAppeared();
    // The monitor's shutdown (once): run by the exit command, or at the latest
    // by the destructor.
    void FormDestroy();
    // Shows the window when the program should start with it: when the tray
    // icon is not set to start minimised or there is no notification area.
    void ShowAtStart();
    // After FormCreate: while the settings a first start wrote wait for the
    // operator (the first start in this directory, with the defaults that
    // ping public hosts and restart 192.168.168.1, and every start after it
    // until they are confirmed), the restart rule waits and the settings
    // dialog opens as soon as the event loop runs, so the operator sees what
    // will be pinged and restarted before any restart. The monitor runs
    // meanwhile; closing the dialog (OK or Storno) confirms the settings
    // (THostMonitor::ConfirmSettings) and the rule counts afresh.
    void OpenSettingsOnFirstRun();

    void Zav1Click();
    void Obnovit1Click();
    void Nastaven1Click();
    void Oprogramu1Click();
    void Historie1Click();
    // "Restart now" in the menus: asks first (AskRestart, naming the first
    // action and what it acts on), then one round of the recovery actions,
    // within the guard's limits.
    void RestartNowClick();
    // The same without asking: SIGUSR1, which nobody sits in front of.
    void RestartNowUnasked();
    // "Restartovat zařízení nyní?" with the first action and its target.
    QString RestartQuestion() const;
    // The ping report of a worker, as the monitor takes it.
    void WMPing(int slot, int32_t ms);

    THostMonitor& Monitor() { return *m_monitor; }
    TQtDispatcher& Dispatcher() { return *m_dispatcher; }
    QString StatusText() const;
    // Every label of a slot's row, the host's first.
    std::array<TLabel*, 4> RowLabels(int slot) const;
    // Whether the close box hides to the tray (true) or minimises (false).
    bool HidesToTray() const { return m_hidesToTray; }

    // Where errors and diagnostics go: start-up errors and errors escaping a
    // hand-off to this thread are shown in a box (start-up errors also go to
    // OnDiagnostic); the program writes diagnostics to stderr. Tests record
    // them.
    std::function<void(const QString& text)> ShowErrorBox;
    // Asks the question of "Restart now" in a box (Yes/No): true to go on.
    std::function<bool(const QString& question)> AskRestart;
    std::function<void(const std::string& text)> OnDiagnostic;

    // TMonitorFrontEnd
    TTextLabel& HostLabel(int slot) override;
    void ShowFigures(int slot, const TRowFigures& figures) override;
    void SetStatusText(const std::string& text) override;
    int TrayIconIndex() const override;
    void SetTrayIconIndex(int index) override;
    void CopyTrayImageToApplicationIcon() override;
    void ReportIcmpUnavailable(const std::string& reason) override;
    void ReportProblem(const std::string& text) override;
    // The tray icon's tooltip and the status bar's second field.
    void ShowSite(const TSiteView& site) override;
    QString SiteText() const; // the second field

protected:
    void closeEvent(QCloseEvent* event) override; // FormClose
    void showEvent(QShowEvent* event) override;

private:
    void FormClose(QCloseEvent* event);
    void CreateMenus();
    void CreateRows();
    void LayOut();
    void CloseModalDialogs();
    static TLabel* RowLabel(const std::array<TLabel*, kSlotCount>& row, int slot);

    std::array<TLabel*, kSlotCount> m_hosts{};
    std::array<TLabel*, kSlotCount> m_pings{};
    std::array<TLabel*, kSlotCount> m_averages{};
    std::array<TLabel*, kSlotCount> m_losses{};
    QLabel* m_statusPanel = nullptr;
    QLabel* m_sitePanel = nullptr; // the site's state, beside the status line
    bool m_hidesToTray = true;
    bool m_centred = false;
    bool m_destroyed = false;
    // The dispatcher outlives the monitor, whose destructor joins the threads
    // that may be waiting in it.
    std::unique_ptr<TQtDispatcher> m_dispatcher;
    std::unique_ptr<THostMonitor> m_monitor;
    TDesktopObservers* m_observers = nullptr; // a child; stopped by FormDestroy

public:
    TDesktopObservers& Observers() { return *m_observers; }
};

// The sizes panels draw tray icons at; the art comes in each of them.
inline constexpr int kTrayImageSizes[] = {16, 22, 24, 32, 48, 64};

// The program's icon: tray image 0 at every size the art comes in.
QIcon ProgramIcon();
// Tray image 0, 1, 2 or 3 (the site down) at every panel size.
QIcon TrayImage(int index);

} // namespace pingvard
