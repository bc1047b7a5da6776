// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/settings.h"
#include "monitor/address_lookup.h"
#include "monitor/host_monitor.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pingvard {

// The values of one watched host while the dialog is open (one per tab); the
// texts are the bytes of pingvard.ini.
using TPingRec = THostSettings;

// The tab strip of the settings dialog; Tag is the tab whose values the shared
// fields hold, -1 while they hold none yet.
class TTabControl : public QTabBar {
    Q_OBJECT
public:
    using QTabBar::QTabBar;
    int Tag = -1;
};

// The settings dialog: edits a copy of the settings the running monitor uses,
// and on OK hands it back, which applies it and writes it to pingvard.ini.
// Storno, Esc and the close box discard every edit.
//
// OK looks the hosts' names up off the GUI thread; meanwhile the fields and OK
// rest, and Storno (or the exit command) abandons the lookup at once.
class TSettingsForm : public QDialog {
    Q_OBJECT
public:
    explicit TSettingsForm(THostMonitor& monitor, QWidget* parent = nullptr);

    QGroupBox* GroupBox2;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* edtMaxTimeouts;
    QLineEdit* edtInterval;
    QGroupBox* GroupBox3;
    QLabel* Label3;
    QLineEdit* edtResetHost;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* btnRecovery; // the recovery page (ui/settings/recovery_page.h)
    QPushButton* btnObserve;  // history, metrics, notifications (ui/settings/observe_page.h)
    TTabControl* TabControl1;
    QLabel* Label4;
    QLineEdit* edtAdrIP;
    QLabel* Label5;
    QLabel* Label6;
    QLineEdit* edtAdrDisp;
    QLineEdit* edtAdrTO;
    QLabel* Label7;
    QCheckBox* chbAdrReset;

    void FormShow();
    void TabControl1Change();
    void BitBtn1Click();
    // True when the field holds an integer within the field's range;
    // otherwise the field gets the focus and the error box is shown, which
    // for an integer out of range names the field and its range (also the
    // field's tooltip).
    bool ValidateIntEdit(QLineEdit* edit);

    // The record attached to a tab.
    const TPingRec& Record(int tab) const { return m_settings.Hosts.at(static_cast<size_t>(tab)); }
    // The copy being edited (the recovery page edits its Recovery).
    TSettings& Settings() { return m_settings; }
    // OK's lookup of the hosts' names is under way.
    bool LookupRunning() const { return m_lookup != nullptr; }
    // How OK looks the names up (null: ResolveToIP); tests replace it.
    TAddressLookup::TResolver Resolve;

    // Shows a modal error box (error symbol, one OK button). Replaceable so that
    // tests can see the message without a blocking box.
    std::function<void(QWidget* parent, const QString& caption, const QString& text)> ShowErrorBox;

    // Asked on OK for a host name that did not resolve: keep it (true) or
    // go back to its field. Tests replace it.
    std::function<bool(QWidget* parent, const QString& text)> AskKeepName;

    void setVisible(bool visible) override;
    void reject() override; // also abandons a lookup under way

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct TFieldRange {
        int32_t Low, High;
        const QLabel* Caption; // the field's label; null when unbounded
    };
    TFieldRange RangeOf(const QLineEdit* edit) const;
    QString RangeText(const TFieldRange& range) const;
    void DescribeRanges();
    void DescribeControls();
    int LabelColumnWidening() const;
    void CreateConstants();
    void CreateTabs();
    void CreateButtons();
    void SetTabOrder();
    void EditObserveSettings();
    void StoreFields(int tab);
    void LoadFields(int tab);
    void SetEditable(bool editable);
    bool KeepUnresolved(const TAddressLookup::TAddresses& addresses);
    void LookupDone(int lookup, const TAddressLookup::TAddresses& addresses);

    THostMonitor& m_monitor;
    TSettings m_settings;         // the copy being edited; texts keep their bytes when not edited
    QWidget* m_tabPage = nullptr; // the tab control with its shared fields
    int m_widen = 0;              // design pixels the field column moved right
    bool m_centred = false;
    bool m_observeEdited = false; // the observers page was left with OK
    int m_lookupCount = 0;        // tells a finished lookup from an abandoned one
    std::unique_ptr<TAddressLookup> m_lookup;
};

} // namespace pingvard
