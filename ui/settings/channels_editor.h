// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/notify/notify_settings.h"
#include "observe/notify/transport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace pingvard {

// The notification channels of the observers page: added (email or web
// hook), removed and moved in the list, each with its fields. A password or
// token is never shown back: the field says "nastaveno" and only the clear
// box takes it out. The test button sends one test message through the
// channel as edited, on a worker the editor owns (stopped and joined when it
// goes), and shows the server's answer.
class TChannelsEditor : public QGroupBox {
    Q_OBJECT
public:
    explicit TChannelsEditor(QWidget* parent = nullptr);
    ~TChannelsEditor() override;

    void Load(const std::vector<TNotifyChannel>& channels);
    // False, with the field refused, when a value is not usable.
    bool Store(std::vector<TNotifyChannel>& channels);

    void AddChannel(TNotifyKind kind);
    void RemoveChannel();
    void MoveChannel(int delta);
    void SendTest();
    void StopTest();

    QListWidget* lstChannels;
    QPushButton* btnAddEmail;
    QPushButton* btnAddWebhook;
    QPushButton* btnRemove;
    QPushButton* btnUp;
    QPushButton* btnDown;
    QLineEdit* edtName;
    QWidget* pnlEmail; // the mail fields
    QLineEdit* edtServer;
    QCheckBox* chbStartTls;
    QLineEdit* edtUser;
    QLineEdit* edtPassword;
    QLineEdit* edtFrom;
    QLineEdit* edtTo;
    QWidget* pnlWebhook; // the web hook fields
    QComboBox* cmbPreset;
    QLineEdit* edtUrl;
    QLineEdit* edtToken;
    QCheckBox* chbClearSecret;         // takes the password or token out
    std::vector<QCheckBox*> chbEvents; // the channel events, then daily-report
    QLineEdit* edtTimeLimit;
    QPushButton* btnTest;
    QPushButton* btnStop;
    QLabel* lblAnswer; // what the server said
    QLabel* lblNote;   // the red note of a refused field

    std::function<void(QWidget* parent, const QString& text)> ShowErrorBox;
    std::function<std::unique_ptr<TNotifyTransport>()> MakeTransport;

signals:
    void TestFinished(bool accepted, const QString& answer);

private:
    void SelectionChanged();
    void LoadFields(int row);
    bool StoreFields(int row);
    void UpdateButtons();
    bool Refuse(QWidget* field, const QString& text);
    void TestDone(bool accepted, const QString& answer);
    void EndTest();

    std::vector<TNotifyChannel> m_channels;
    int m_shown = -1;
    std::unique_ptr<TNotifyTransport> m_transport; // of the test under way
    std::thread m_test;
};

} // namespace pingvard
