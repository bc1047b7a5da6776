// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/dialog/recovery_write.h"
#include "config/recovery_settings.h"
#include "ui/settings/action_runner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QFormLayout;

namespace pingvard {

// The settings dialog's page for the recovery: the quorum, the guard and the
// actions in escalation order (added by kind, removed, moved), each with the
// fields of its kind, edited on the dialog's copy. Leaving an action, Test
// and OK check its fields (an integer within its range, else the error box,
// a red note beside the field and the field's focus); OK writes the values
// back, Storno leaves the copy as it was.
//
// Secrets: a password field is never filled with the password; "nastaveno"
// stands in it while one is set. A typed text replaces it, and only the
// "Smazat heslo" box clears it.
//
// Test runs the selected action, as edited, once as a dry run on a worker
// thread the page owns (TActionRunner); its steps and outcome appear below
// as they come, Zastavit aborts it, and closing the page ends it.
class TRecoveryPage : public QDialog {
    Q_OBJECT
public:
    // context: the telnet kind's device (reset host, script) for Test.
    TRecoveryPage(TRecoverySettings& settings, TActionContext context = {},
                  QWidget* parent = nullptr);
    ~TRecoveryPage() override;

    QLineEdit* edtQuorum;
    QLineEdit* edtHoldOff;
    QLineEdit* edtMaxRounds;
    QLineEdit* edtWindow;
    QCheckBox* chbBackOff;
    QTableWidget* tblActions; // name, kind, time limit [s], verify [s]
    QComboBox* cmbNewKind;
    QPushButton* btnAdd;
    QPushButton* btnRemove;
    QPushButton* btnUp;
    QPushButton* btnDown;
    QStackedWidget* stkKind; // the fields of the selected action's kind
    // ssh
    QLineEdit* edtSshHost;
    QLineEdit* edtSshPort;
    QLineEdit* edtSshKeyFile;
    QLineEdit* edtSshCommand;
    QLineEdit* edtSshHostKey;
    QPushButton* btnFetchKey;
    // http
    QComboBox* cmbPreset;
    QLineEdit* edtHttpHost;
    QLineEdit* edtHttpPort;
    QCheckBox* chbHttps;
    QLineEdit* edtChannel;
    QLineEdit* edtOffTime;
    QLineEdit* edtPinnedKey;
    QLineEdit* edtMethod;
    QLineEdit* edtUrl;
    QLineEdit* edtBody;
    QLineEdit* edtExpect;
    // program
    QLineEdit* edtProgram;
    QPushButton* btnBrowse;
    QPlainTextEdit* txtArgs; // one argument per row
    // ssh and http: who logs in
    QWidget* grpCredentials;
    QLineEdit* edtUser;
    QLineEdit* edtPassword;
    QCheckBox* chbClearPassword;
    QLineEdit* edtPasswordFile;
    // the dry run
    QPushButton* btnTest;
    QPushButton* btnStop;
    QPlainTextEdit* txtTest;

    void OkClick();
    void AddAction(TActionKind kind);
    void RemoveAction();
    void MoveAction(int delta);
    void TestAction();
    void StopTest();
    void FetchKey();
    bool TestRunning() const { return m_runner != nullptr; }
    void reject() override; // also ends a test under way

    // The error box; tests replace it.
    std::function<void(QWidget* parent, const QString& text)> ShowErrorBox;
    // Asked before a fetched host key is pinned; tests replace it.
    std::function<bool(QWidget* parent, const QString& fingerprint)> ConfirmHostKey;
    // The program's file chooser; tests replace it.
    std::function<QString(QWidget* parent, const QString& current)> ChooseProgram;

private:
    struct TFieldInfo {
        QString Caption;
        QLabel* Note; // the red note beside the field
    };
    QWidget* Row(QFormLayout* form, const QString& caption, QWidget* field,
                 const QString& description);
    QWidget* CreateGuard();
    QWidget* CreateActions();
    QWidget* CreateSsh();
    QWidget* CreateHttp();
    QWidget* CreateProgram();
    QWidget* CreateCredentials();
    QWidget* CreateTest();
    void AddActionRow(int row, const TActionConfig& action);
    void SelectionChanged();
    void LoadFields(int row);
    bool StoreFields(int row);
    void UpdateButtons();
    void UpdatePresetFields();
    void ClearNotes();
    std::optional<int32_t> Field(QLineEdit* edit, int32_t low, int32_t high);
    bool Cell(int row, int column, int32_t low, int32_t high, int32_t& value);
    bool CheckNames();
    void Refuse(QWidget* field, const QString& range);
    void StartRun(std::unique_ptr<TRecoveryAction> action, bool fetch);
    void RunEnded(const TRecoveryOutcome& outcome);
    std::string& Secret(TActionConfig& action);

    TRecoverySettings& m_settings;
    TActionContext m_context;
    std::vector<TActionConfig> m_actions; // in the table's order
    int m_shown = -1;                     // the row whose fields are shown
    std::map<const QWidget*, TFieldInfo> m_fields;
    QLabel* m_tableNote = nullptr;
    std::string m_fetchedKey; // a fetch under way found this key
    bool m_fetching = false;
    std::unique_ptr<TActionRunner> m_runner;
};

} // namespace pingvard
