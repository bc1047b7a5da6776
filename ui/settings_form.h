#pragma once

#include "monitor/front_end.h"
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
#include <string>
#include <vector>

namespace pingvard {

// The values of one watched host while the dialog is open; the texts are the
// bytes of pingvard.ini.
struct TPingRec {
    std::string IP;
    bool DoReset = false;
    int32_t Timeout = 0;
    std::string DisplayName;
};

// The tab strip of the settings dialog; Tag is the tab whose values the shared
// fields hold, -1 while they hold none yet.
class TTabControl : public QTabBar {
    Q_OBJECT
public:
    using QTabBar::QTabBar;
    int Tag = -1;
};

// The settings dialog: shows the values the running monitor uses, and on OK
// applies the edits to it and writes them to pingvard.ini. Storno, Esc and the
// close box discard every edit.
class TSettingsForm : public QDialog {
    Q_OBJECT
public:
    TSettingsForm(THostMonitor& monitor, TMonitorFrontEnd& mainForm, QWidget* parent = nullptr);

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
    // True when the field holds an integer; otherwise the field gets the focus
    // and the error box is shown.
    bool ValidateIntEdit(QLineEdit* edit);

    // The record attached to a tab.
    const TPingRec& Record(int tab) const { return m_records.at(static_cast<size_t>(tab)); }

    // Shows a modal error box (error symbol, one OK button). Replaceable so that
    // tests can see the message without a blocking box.
    std::function<void(QWidget* parent, const QString& caption, const QString& text)> ShowErrorBox;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int LabelColumnWidening() const;
    void CreateConstants();
    void CreateTabs();
    void CreateButtons();
    void SetTabOrder();
    void StoreFields(int tab);
    void LoadFields(int tab);
    void Apply();

    THostMonitor& m_monitor;
    TMonitorFrontEnd& m_mainForm;
    std::vector<TPingRec> m_records;
    std::string m_resetHost; // as loaded, to keep its bytes when not edited
    int m_widen = 0;         // design pixels the field column moved right
    bool m_centred = false;
};

} // namespace pingvard
