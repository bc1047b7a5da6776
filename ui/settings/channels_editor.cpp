// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/channels_editor.h"

#include "config/integer_text.h"
#include "observe/notify/test_message.h"
#include "observe/notify/transport_module.h"
#include "recovery/secret_mask.h"
#include "ui/settings/config_text.h"
#include "ui/settings/named_rows.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

namespace pingvard {

namespace {

constexpr TWebhookPreset kPresets[] = {TWebhookPreset::Ntfy, TWebhookPreset::Gotify,
                                       TWebhookPreset::Slack, TWebhookPreset::Json};
constexpr int kMinSeconds = 1;
constexpr int kMaxSeconds = 300;

bool StartsWith(const QString& text, const char* prefix) {
    return text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

std::string& SecretOf(TNotifyChannel& c) {
    return c.Kind == TNotifyKind::Email ? c.Mail.Password : c.Webhook.Token;
}

QLineEdit* Field(QWidget* parent, QFormLayout* form, const QString& caption, const QString& name,
                 const QString& description) {
    auto* edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    edit->setAccessibleDescription(description);
    form->addRow(caption, edit);
    return edit;
}

} // namespace

TChannelsEditor::TChannelsEditor(QWidget* parent)
    : QGroupBox(tr("Kanály oznámení (pošta a web hooky)"), parent) {
    auto* column = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    lstChannels = new QListWidget(this);
    lstChannels->setMaximumHeight(90);
    lstChannels->setAccessibleName(tr("Kanály oznámení"));
    lstChannels->setAccessibleDescription(tr("Kam program posílá zprávy o výpadcích"));
    top->addWidget(lstChannels, 1);
    auto* buttons = new QVBoxLayout;
    btnAddEmail = new QPushButton(tr("Přidat poštu"), this);
    btnAddEmail->setAccessibleDescription(tr("Přidá kanál, který posílá e-maily"));
    btnAddWebhook = new QPushButton(tr("Přidat web hook"), this);
    btnAddWebhook->setAccessibleDescription(tr("Přidá kanál, který posílá zprávy na web hook"));
    btnRemove = new QPushButton(tr("Odebrat kanál"), this);
    btnRemove->setAccessibleDescription(tr("Odebere vybraný kanál"));
    btnUp = new QPushButton(tr("Kanál nahoru"), this);
    btnUp->setAccessibleDescription(tr("Posune vybraný kanál o místo dříve"));
    btnDown = new QPushButton(tr("Kanál dolů"), this);
    btnDown->setAccessibleDescription(tr("Posune vybraný kanál o místo později"));
    for (QPushButton* button : {btnAddEmail, btnAddWebhook, btnRemove, btnUp, btnDown}) {
        button->setAutoDefault(false);
        button->setAccessibleName(button->text());
        buttons->addWidget(button);
    }
    top->addLayout(buttons);
    column->addLayout(top);

    auto* form = new QFormLayout;
    edtName = Field(this, form, tr("Jméno:"), tr("Jméno kanálu"), tr("Písmena, číslice, - a _"));
    column->addLayout(form);

    pnlEmail = new QWidget(this);
    auto* mail = new QFormLayout(pnlEmail);
    mail->setContentsMargins(0, 0, 0, 0);
    edtServer = Field(pnlEmail, mail, tr("Server:"), tr("Poštovní server"),
                      tr("smtp://server:587 nebo smtps://server:465"));
    chbStartTls = new QCheckBox(tr("Vyžadovat STARTTLS"), pnlEmail);
    chbStartTls->setAccessibleName(chbStartTls->text());
    chbStartTls->setAccessibleDescription(tr("Server, který nenabídne STARTTLS, se odmítne"));
    mail->addRow(QString(), chbStartTls);
    edtUser = Field(pnlEmail, mail, tr("Uživatel:"), tr("Uživatel poštovního serveru"),
                    tr("Prázdné: bez přihlášení"));
    edtPassword = Field(pnlEmail, mail, tr("Heslo:"), tr("Heslo poštovního serveru"),
                        tr("Nové heslo; nastavené heslo se nikdy neukazuje"));
    edtPassword->setEchoMode(QLineEdit::Password);
    edtFrom = Field(pnlEmail, mail, tr("Od:"), tr("Odesílatel"), tr("Adresa odesílatele"));
    edtTo = Field(pnlEmail, mail, tr("Komu:"), tr("Příjemci"), tr("Adresy oddělené čárkou"));
    column->addWidget(pnlEmail);

    pnlWebhook = new QWidget(this);
    auto* hook = new QFormLayout(pnlWebhook);
    hook->setContentsMargins(0, 0, 0, 0);
    cmbPreset = new QComboBox(pnlWebhook);
    for (const TWebhookPreset preset : kPresets) {
        cmbPreset->addItem(Utf8Text(PresetName(preset)));
    }
    cmbPreset->setAccessibleName(tr("Druh web hooku"));
    cmbPreset->setAccessibleDescription(tr("Tvar zprávy, jak ji služba očekává"));
    hook->addRow(tr("Druh:"), cmbPreset);
    edtUrl = Field(pnlWebhook, hook, tr("Adresa URL:"), tr("Adresa web hooku"),
                   tr("http:// nebo https://"));
    edtToken = Field(pnlWebhook, hook, tr("Token:"), tr("Token web hooku"),
                     tr("Nový token; nastavený token se nikdy neukazuje"));
    edtToken->setEchoMode(QLineEdit::Password);
    column->addWidget(pnlWebhook);

    auto* rest = new QFormLayout;
    chbClearSecret = new QCheckBox(tr("Smazat heslo nebo token"), this);
    chbClearSecret->setAccessibleName(chbClearSecret->text());
    chbClearSecret->setAccessibleDescription(tr("Při OK odstraní nastavené heslo nebo token"));
    rest->addRow(QString(), chbClearSecret);
    auto* events = new QGridLayout;
    for (std::size_t i = 0; i <= std::size(kChannelEvents); ++i) {
        const std::string_view name =
            i < std::size(kChannelEvents) ? KindName(kChannelEvents[i]) : kDailyReportEvent;
        auto* box = new QCheckBox(Utf8Text(name), this);
        box->setAccessibleName(box->text());
        box->setAccessibleDescription(tr("Kanál pošle zprávu při této události"));
        events->addWidget(box, static_cast<int>(i / 2), static_cast<int>(i % 2));
        chbEvents.push_back(box);
    }
    rest->addRow(tr("Události:"), events);
    edtTimeLimit = new QLineEdit(this);
    edtTimeLimit->setAccessibleName(tr("Časový limit kanálu"));
    const QString range = tr("%1 až %2 s").arg(kMinSeconds).arg(kMaxSeconds);
    edtTimeLimit->setAccessibleDescription(range);
    edtTimeLimit->setToolTip(range);
    rest->addRow(tr("Časový limit [s]:"), edtTimeLimit);
    column->addLayout(rest);

    auto* test = new QHBoxLayout;
    btnTest = new QPushButton(tr("Odeslat zkušební zprávu"), this);
    btnTest->setAccessibleDescription(tr("Pošle jednu zkušební zprávu kanálem, jak je vyplněn"));
    btnStop = new QPushButton(tr("Zastavit"), this);
    btnStop->setAccessibleDescription(tr("Ukončí odesílání zkušební zprávy"));
    for (QPushButton* button : {btnTest, btnStop}) {
        button->setAutoDefault(false);
        button->setAccessibleName(button->text());
        test->addWidget(button);
    }
    test->addStretch();
    column->addLayout(test);
    lblAnswer = new QLabel(this);
    lblAnswer->setWordWrap(true);
    lblAnswer->setTextFormat(Qt::PlainText);
    lblAnswer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblAnswer->setAccessibleName(tr("Odpověď serveru"));
    lblAnswer->setAccessibleDescription(tr("Co server odpověděl na zkušební zprávu"));
    column->addWidget(lblAnswer);
    lblNote = new QLabel(this);
    lblNote->setStyleSheet(QStringLiteral("color: #c00000"));
    lblNote->setWordWrap(true);
    lblNote->hide();
    column->addWidget(lblNote);

    connect(lstChannels, &QListWidget::currentRowChanged, this, [this] { SelectionChanged(); });
    connect(btnAddEmail, &QPushButton::clicked, this, [this] { AddChannel(TNotifyKind::Email); });
    connect(btnAddWebhook, &QPushButton::clicked, this,
            [this] { AddChannel(TNotifyKind::Webhook); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { RemoveChannel(); });
    connect(btnUp, &QPushButton::clicked, this, [this] { MoveChannel(-1); });
    connect(btnDown, &QPushButton::clicked, this, [this] { MoveChannel(1); });
    connect(btnTest, &QPushButton::clicked, this, [this] { SendTest(); });
    connect(btnStop, &QPushButton::clicked, this, [this] { StopTest(); });
    ShowErrorBox = [](QWidget* owner, const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok,
                        owner);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    MakeTransport = [] { return MakeModuleTransport(); };
    LoadFields(-1);
}

TChannelsEditor::~TChannelsEditor() {
    EndTest();
}

void TChannelsEditor::EndTest() {
    if (m_transport) {
        m_transport->Abort();
    }
    if (m_test.joinable()) {
        m_test.join();
    }
    m_transport.reset();
}

void TChannelsEditor::Load(const std::vector<TNotifyChannel>& channels) {
    m_channels = channels;
    m_shown = -1;
    ShowNames(*lstChannels, m_channels);
    lstChannels->setCurrentRow(m_channels.empty() ? -1 : 0);
    SelectionChanged();
}

void TChannelsEditor::SelectionChanged() {
    const int row = lstChannels->currentRow();
    if (row == m_shown) {
        return;
    }
    if (m_shown >= 0 && !StoreFields(m_shown)) {
        const QSignalBlocker quiet(lstChannels);
        lstChannels->setCurrentRow(m_shown);
        return;
    }
    LoadFields(row);
}

void TChannelsEditor::LoadFields(int row) {
    m_shown = row;
    const bool any = row >= 0;
    for (QWidget* field : {static_cast<QWidget*>(edtName), static_cast<QWidget*>(pnlEmail),
                           static_cast<QWidget*>(pnlWebhook), static_cast<QWidget*>(chbClearSecret),
                           static_cast<QWidget*>(edtTimeLimit)}) {
        field->setEnabled(any);
    }
    for (QCheckBox* box : chbEvents) {
        box->setEnabled(any);
    }
    for (QLineEdit* edit : {edtPassword, edtToken}) {
        edit->clear();
        edit->setPlaceholderText(QString());
    }
    chbClearSecret->setChecked(false);
    UpdateButtons();
    if (!any) {
        for (QLineEdit* edit :
             {edtName, edtServer, edtUser, edtFrom, edtTo, edtUrl, edtTimeLimit}) {
            edit->clear();
        }
        pnlWebhook->hide();
        return;
    }
    TNotifyChannel& c = m_channels.at(static_cast<std::size_t>(row));
    const bool mail = c.Kind == TNotifyKind::Email;
    pnlEmail->setVisible(mail);
    pnlWebhook->setVisible(!mail);
    edtName->setText(DisplayText(c.Name));
    edtServer->setText(DisplayText(c.Mail.Server));
    chbStartTls->setChecked(c.Mail.RequireStartTls);
    edtUser->setText(DisplayText(c.Mail.User));
    edtFrom->setText(DisplayText(c.Mail.From));
    QStringList to;
    for (const std::string& address : c.Mail.To) {
        to << DisplayText(address);
    }
    edtTo->setText(to.join(QLatin1Char(',')));
    cmbPreset->setCurrentIndex(static_cast<int>(
        std::find(std::begin(kPresets), std::end(kPresets), c.Webhook.Preset) - kPresets));
    edtUrl->setText(DisplayText(c.Webhook.Url));
    const bool secret = !SecretOf(c).empty();
    (mail ? edtPassword : edtToken)->setPlaceholderText(secret ? tr("nastaveno") : QString());
    chbClearSecret->setEnabled(secret);
    for (std::size_t i = 0; i < std::size(kChannelEvents); ++i) {
        chbEvents[i]->setChecked(c.Wants(kChannelEvents[i]));
    }
    chbEvents.back()->setChecked(c.DailyReport);
    edtTimeLimit->setText(QString::number(c.TimeLimitMs / 1000));
}

bool TChannelsEditor::Refuse(QWidget* field, const QString& text) {
    lblNote->setText(text);
    lblNote->show();
    field->setFocus();
    if (ShowErrorBox) {
        ShowErrorBox(this, tr("Nesprávná hodnota!") + "\n" + text);
    }
    return false;
}

bool TChannelsEditor::StoreFields(int row) {
    lblNote->hide();
    TNotifyChannel c = m_channels.at(static_cast<std::size_t>(row));
    static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9_-]{1,40}$"));
    const QString name = edtName->text();
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        if (static_cast<int>(i) != row &&
            Utf8Text(m_channels[i].Name).compare(name, Qt::CaseInsensitive) == 0) {
            return Refuse(edtName, tr("Jméno: tento kanál už je"));
        }
    }
    if (!kName.match(name).hasMatch()) {
        return Refuse(edtName, tr("Jméno: písmena, číslice, - a _"));
    }
    if (c.Kind == TNotifyKind::Email) {
        const QString server = edtServer->text().trimmed();
        if (!StartsWith(server, "smtp://") && !StartsWith(server, "smtps://")) {
            return Refuse(edtServer, tr("Server: smtp:// nebo smtps://"));
        }
        if (!edtFrom->text().contains(QLatin1Char('@'))) {
            return Refuse(edtFrom, tr("Od: adresa s @"));
        }
        std::vector<std::string> to;
        for (const QString& address : edtTo->text().split(QLatin1Char(','))) {
            if (!address.trimmed().isEmpty()) {
                to.push_back(address.trimmed().toStdString());
            }
        }
        if (to.empty() || std::any_of(to.begin(), to.end(), [](const std::string& a) {
                return a.find('@') == std::string::npos;
            })) {
            return Refuse(edtTo, tr("Komu: adresy s @ oddělené čárkou"));
        }
        c.Mail.Server = ConfigBytes(server, c.Mail.Server);
        c.Mail.RequireStartTls = chbStartTls->isChecked() && !StartsWith(server, "smtps://");
        c.Mail.User = ConfigBytes(edtUser->text().trimmed(), c.Mail.User);
        c.Mail.From = ConfigBytes(edtFrom->text().trimmed(), c.Mail.From);
        c.Mail.To = std::move(to);
    } else {
        const QString url = edtUrl->text().trimmed();
        if (!StartsWith(url, "http://") && !StartsWith(url, "https://")) {
            return Refuse(edtUrl, tr("Adresa URL: http:// nebo https://"));
        }
        c.Webhook.Preset = kPresets[std::clamp(cmbPreset->currentIndex(), 0, 3)];
        c.Webhook.Url = ConfigBytes(url, c.Webhook.Url);
    }
    QLineEdit* secretEdit = c.Kind == TNotifyKind::Email ? edtPassword : edtToken;
    std::string secret = SecretOf(c);
    if (!secretEdit->text().isEmpty()) {
        secret = secretEdit->text().toStdString();
    } else if (chbClearSecret->isChecked()) {
        secret.clear();
    }
    if (c.Kind == TNotifyKind::Webhook && c.Webhook.Preset == TWebhookPreset::Gotify &&
        secret.empty()) {
        return Refuse(edtToken, tr("Token: gotify potřebuje token aplikace"));
    }
    const auto limit = ParseIntegerText(edtTimeLimit->text().toStdString(), false);
    if (!limit || *limit < kMinSeconds || *limit > kMaxSeconds) {
        return Refuse(edtTimeLimit,
                      tr("Časový limit: %1 až %2 s").arg(kMinSeconds).arg(kMaxSeconds));
    }
    std::vector<TMonitorEventKind> events;
    for (std::size_t i = 0; i < std::size(kChannelEvents); ++i) {
        if (chbEvents[i]->isChecked()) {
            events.push_back(kChannelEvents[i]);
        }
    }
    const bool daily = chbEvents.back()->isChecked();
    if (events.empty() && !daily) {
        return Refuse(chbEvents.front(), tr("Události: nejméně jedna"));
    }
    c.Name = ConfigBytes(name, c.Name);
    SecretOf(c) = std::move(secret);
    c.Events = std::move(events);
    c.DailyReport = daily;
    c.TimeLimitMs = static_cast<int32_t>(*limit) * 1000;
    lstChannels->item(row)->setText(DisplayText(c.Name));
    m_channels[static_cast<std::size_t>(row)] = std::move(c);
    // What was typed is held now: the field shows the placeholder again.
    secretEdit->clear();
    chbClearSecret->setChecked(false);
    const bool set = !SecretOf(m_channels[static_cast<std::size_t>(row)]).empty();
    secretEdit->setPlaceholderText(set ? tr("nastaveno") : QString());
    chbClearSecret->setEnabled(set);
    return true;
}

bool TChannelsEditor::Store(std::vector<TNotifyChannel>& channels) {
    if (m_shown >= 0 && !StoreFields(m_shown)) {
        return false;
    }
    channels = m_channels;
    return true;
}

void TChannelsEditor::AddChannel(TNotifyKind kind) {
    if (m_shown >= 0 && !StoreFields(m_shown)) {
        return;
    }
    TNotifyChannel channel;
    channel.Kind = kind;
    const QString stem =
        kind == TNotifyKind::Email ? QStringLiteral("mail") : QStringLiteral("phone");
    QString name = stem;
    for (int n = 2; std::any_of(m_channels.begin(), m_channels.end(),
                                [&](const TNotifyChannel& c) {
                                    return Utf8Text(c.Name).compare(name, Qt::CaseInsensitive) == 0;
                                });
         ++n) {
        name = stem + QString::number(n);
    }
    channel.Name = name.toStdString();
    channel.Webhook.Preset = TWebhookPreset::Ntfy;
    m_channels.push_back(channel);
    AppendName(*lstChannels, name);
    LoadFields(lstChannels->count() - 1);
    (kind == TNotifyKind::Email ? edtServer : edtUrl)->setFocus();
}

void TChannelsEditor::RemoveChannel() {
    const int row = m_shown;
    if (row < 0) {
        return;
    }
    RemoveRow(*lstChannels, m_channels, row);
    LoadFields(lstChannels->currentRow());
}

void TChannelsEditor::MoveChannel(int delta) {
    const int row = m_shown;
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= lstChannels->count() || !StoreFields(row)) {
        return;
    }
    SwapRows(*lstChannels, m_channels, row, to);
    LoadFields(to);
}

// The channel as edited, checked as at OK, goes to a worker: the send may
// take its whole time limit and the dialog stays usable meanwhile.
void TChannelsEditor::SendTest() {
    if (m_shown < 0 || m_test.joinable() || !StoreFields(m_shown)) {
        return;
    }
    const TNotifyChannel channel = m_channels[static_cast<std::size_t>(m_shown)];
    m_transport = MakeTransport();
    lblAnswer->setText(tr("Odesílám: %1").arg(DisplayText(TestMessageRoute(channel))));
    TNotifyTransport* transport = m_transport.get();
    m_test = std::thread([this, channel, transport] {
        const TDelivery delivery = SendTestMessage(channel, *transport);
        std::vector<std::string> secrets;
        for (const std::string* s : {&channel.Mail.Password, &channel.Webhook.Token}) {
            if (!s->empty()) {
                secrets.push_back(*s);
            }
        }
        const QString answer = DisplayText(MaskSecrets(delivery.Answer, secrets));
        // Queued to the editor: dropped when the editor is gone first.
        QMetaObject::invokeMethod(
            this, [this, accepted = delivery.Accepted, answer] { TestDone(accepted, answer); },
            Qt::QueuedConnection);
    });
    UpdateButtons();
}

void TChannelsEditor::StopTest() {
    if (m_transport) {
        m_transport->Abort();
    }
}

void TChannelsEditor::TestDone(bool accepted, const QString& answer) {
    EndTest();
    lblAnswer->setText((accepted ? tr("Přijato: %1") : tr("Nedoručeno: %1")).arg(answer));
    UpdateButtons();
    emit TestFinished(accepted, answer);
}

void TChannelsEditor::UpdateButtons() {
    btnRemove->setEnabled(m_shown >= 0);
    btnUp->setEnabled(m_shown > 0);
    btnDown->setEnabled(m_shown >= 0 && m_shown + 1 < lstChannels->count());
    btnTest->setEnabled(m_shown >= 0 && !m_test.joinable());
    btnStop->setEnabled(m_test.joinable());
}

} // namespace pingvard
