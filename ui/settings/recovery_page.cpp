// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/recovery_page.h"

#include "config/integer_text.h"
#include "config/program_dir.h"
#include "ui/form_scale.h"
#include "ui/settings/config_text.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace pingvard {

namespace {

constexpr int kNameColumn = 0;
constexpr int kKindColumn = 1;
constexpr int kTimeLimitColumn = 2;
constexpr int kVerifyColumn = 3;

QString Decimal(int64_t value) {
    return QString::number(value);
}

// The value of text when it is an integer within [low, high].
std::optional<int32_t> InRange(const QString& text, int32_t low, int32_t high) {
    const auto parsed = ParseIntegerText(text.toStdString(), false);
    return parsed && *parsed >= low && *parsed <= high ? parsed : std::nullopt;
}

QString KindText(TActionKind kind) {
    return Utf8Text(ActionKindName(kind));
}

QString RangeText(int32_t low, int32_t high) {
    return TRecoveryPage::tr("%1 až %2").arg(low).arg(high);
}

// The caption without its colon and unit, as a screen reader says it.
QString Spoken(QString caption) {
    caption.remove(QRegularExpression(QStringLiteral("\\s*(\\[[^\\]]*\\])?:?$")));
    return caption;
}

const char* const kPresetCaptions[] = {QT_TRANSLATE_NOOP("pingvard::TRecoveryPage", "žádná"),
                                       "shelly1", "shelly2", "tasmota"};

// A fetch reads the server's key from the action's transcript, where the
// SSH session names it before it would send any secret.
constexpr std::string_view kHostKeyEntry = "Host key SHA256:";

} // namespace

TRecoveryPage::TRecoveryPage(TRecoverySettings& settings, TActionContext context, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_context(std::move(context)),
      m_actions(settings.Actions) {
    setWindowTitle(tr("Obnova zařízení"));
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->addWidget(CreateGuard());
    column->addWidget(CreateActions());
    stkKind = new QStackedWidget(content);
    auto* telnet = new QLabel(
        tr("Připojí se k adrese restartovaného zařízení (hlavní okno nastavení) a přehraje "
           "skript ze souboru pingvard.ini."),
        stkKind);
    telnet->setWordWrap(true);
    stkKind->addWidget(telnet);
    stkKind->addWidget(CreateSsh());
    stkKind->addWidget(CreateHttp());
    stkKind->addWidget(CreateProgram());
    column->addWidget(stkKind);
    column->addWidget(CreateCredentials());
    column->addWidget(CreateTest());
    auto* advice = new QLabel(
        tr("Doporučeno pro připojení DSL nebo LTE: prodleva 300 s, nejvýše 6 kol za 86400 s, "
           "zdvojování zapnuto, ověření 180 s a více."),
        content);
    advice->setWordWrap(true);
    column->addWidget(advice);

    // Scrolls where the screen is small or the scale large; the buttons stay.
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setAccessibleName(tr("Obnova zařízení"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Storno"));
    buttons->button(QDialogButtonBox::Ok)
        ->setAccessibleDescription(tr("Zkontroluje a převezme nastavení obnovy"));
    buttons->button(QDialogButtonBox::Cancel)
        ->setAccessibleDescription(tr("Zavře stránku bez převzetí změn"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OkClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(buttons);
    FitOnScreen(this, content->sizeHint() + QSize(40, 60));

    ShowErrorBox = [](QWidget* owner, const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok,
                        owner);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    ConfirmHostKey = [](QWidget* owner, const QString& fingerprint) {
        return QMessageBox::question(
                   owner, tr("Klíč serveru"),
                   tr("Server se představil klíčem\n%1\nOdpovídá klíči, který ukazuje zařízení "
                      "samo? Jen pak jej připněte.")
                       .arg(fingerprint)) == QMessageBox::Yes;
    };
    ChooseProgram = [](QWidget* owner, const QString& current) {
        return QFileDialog::getOpenFileName(owner, tr("Program"), current);
    };

    for (int row = 0; row < static_cast<int>(m_actions.size()); ++row) {
        AddActionRow(row, m_actions[static_cast<std::size_t>(row)]);
    }
    connect(tblActions, &QTableWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
    tblActions->setCurrentCell(0, kNameColumn);
    SelectionChanged();
}

TRecoveryPage::~TRecoveryPage() {
    m_runner.reset(); // aborts and joins before the fields go
}

QWidget* TRecoveryPage::Row(QFormLayout* form, const QString& caption, QWidget* field,
                            const QString& description) {
    auto* cell = new QWidget;
    auto* line = new QHBoxLayout(cell);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(field, 1);
    auto* note = new QLabel(cell);
    note->setStyleSheet(QStringLiteral("color: #c00000"));
    note->setWordWrap(true);
    note->hide();
    line->addWidget(note);
    form->addRow(caption, cell);
    field->setAccessibleName(Spoken(caption));
    field->setAccessibleDescription(description);
    field->setToolTip(description);
    m_fields[field] = {Spoken(caption), note};
    return field;
}

QWidget* TRecoveryPage::CreateGuard() {
    auto* box = new QGroupBox(tr("Ochrana před opakováním:"));
    auto* form = new QFormLayout(box);
    edtQuorum = new QLineEdit(Decimal(m_settings.Quorum));
    Row(form, tr("Kolik sledovaných adres musí selhat (0 = všechny):"), edtQuorum, RangeText(0, 4));
    edtHoldOff = new QLineEdit(Decimal(m_settings.Guard.HoldOffMs / 1000));
    Row(form, tr("Prodleva po každém zásahu [s]:"), edtHoldOff, RangeText(0, kRecoveryMaxSeconds));
    edtMaxRounds = new QLineEdit(Decimal(m_settings.Guard.MaxRounds));
    Row(form, tr("Nejvýše kol v okně (0 = bez omezení):"), edtMaxRounds,
        RangeText(0, kRecoveryMaxRounds));
    edtWindow = new QLineEdit(Decimal(m_settings.Guard.WindowMs / 1000));
    Row(form, tr("Okno [s]:"), edtWindow, RangeText(1, kRecoveryMaxSeconds));
    chbBackOff = new QCheckBox(tr("Zdvojnásobit prodlevu po každém neúspěšném kole"));
    chbBackOff->setChecked(m_settings.Guard.BackOff);
    chbBackOff->setAccessibleName(chbBackOff->text());
    chbBackOff->setAccessibleDescription(tr("Po kole, které zařízení neobnovilo, se prodleva "
                                            "zdvojnásobí"));
    form->addRow(chbBackOff);
    return box;
}

QWidget* TRecoveryPage::CreateActions() {
    auto* box = new QGroupBox(tr("Akce v pořadí eskalace:"));
    auto* column = new QVBoxLayout(box);
    tblActions = new QTableWidget(0, 4, box);
    tblActions->setHorizontalHeaderLabels(
        {tr("Akce"), tr("Druh"), tr("Limit [s]"), tr("Ověření [s]")});
    tblActions->verticalHeader()->hide();
    tblActions->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tblActions->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblActions->setSelectionMode(QAbstractItemView::SingleSelection);
    tblActions->setMinimumHeight(120);
    tblActions->setAccessibleName(tr("Akce"));
    tblActions->setAccessibleDescription(
        tr("Akce v pořadí, v jakém se zkoušejí; jméno, limit a ověření lze přepsat"));
    column->addWidget(tblActions);
    m_tableNote = new QLabel(box);
    m_tableNote->setStyleSheet(QStringLiteral("color: #c00000"));
    m_tableNote->hide();
    column->addWidget(m_tableNote);

    auto* buttons = new QHBoxLayout;
    cmbNewKind = new QComboBox(box);
    for (const TActionKindInfo& info : kActionKinds) {
        cmbNewKind->addItem(Utf8Text(info.Name));
    }
    cmbNewKind->setCurrentIndex(static_cast<int>(TActionKind::Http));
    cmbNewKind->setAccessibleName(tr("Druh nové akce"));
    cmbNewKind->setAccessibleDescription(tr("telnet, ssh, http nebo program"));
    btnAdd = new QPushButton(tr("&Přidat"), box);
    btnAdd->setAccessibleDescription(tr("Přidá akci zvoleného druhu na konec"));
    btnRemove = new QPushButton(tr("&Odebrat"), box);
    btnRemove->setAccessibleDescription(tr("Odebere vybranou akci"));
    btnUp = new QPushButton(tr("Na&horu"), box);
    btnUp->setAccessibleDescription(tr("Posune vybranou akci o místo dříve"));
    btnDown = new QPushButton(tr("Do&lů"), box);
    btnDown->setAccessibleDescription(tr("Posune vybranou akci o místo později"));
    for (QPushButton* button : {btnAdd, btnRemove, btnUp, btnDown}) {
        button->setAutoDefault(false);
        button->setAccessibleName(button->text().remove(QLatin1Char('&')));
    }
    buttons->addWidget(cmbNewKind);
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnRemove);
    buttons->addWidget(btnUp);
    buttons->addWidget(btnDown);
    column->addLayout(buttons);
    connect(btnAdd, &QPushButton::clicked, this,
            [this] { AddAction(static_cast<TActionKind>(cmbNewKind->currentIndex())); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { RemoveAction(); });
    connect(btnUp, &QPushButton::clicked, this, [this] { MoveAction(-1); });
    connect(btnDown, &QPushButton::clicked, this, [this] { MoveAction(1); });
    return box;
}

QWidget* TRecoveryPage::CreateSsh() {
    auto* box = new QGroupBox(tr("SSH:"));
    auto* form = new QFormLayout(box);
    edtSshHost = new QLineEdit;
    Row(form, tr("Adresa zařízení:"), edtSshHost, tr("Jméno nebo IP adresa serveru SSH"));
    edtSshPort = new QLineEdit;
    Row(form, tr("Port:"), edtSshPort, RangeText(1, 65535));
    edtSshKeyFile = new QLineEdit;
    Row(form, tr("Soubor s klíčem:"), edtSshKeyFile,
        tr("Soukromý klíč bez hesla, chmod 600; prázdné = přihlášení heslem"));
    edtSshCommand = new QLineEdit;
    Row(form, tr("Příkaz:"), edtSshCommand, tr("Co zařízení provede, obvykle reboot"));
    edtSshHostKey = new QLineEdit;
    edtSshHostKey->setPlaceholderText(QStringLiteral("SHA256:…"));
    Row(form, tr("Klíč serveru:"), edtSshHostKey,
        tr("Připnutý otisk klíče serveru; prázdné = soubor known_hosts"));
    btnFetchKey = new QPushButton(tr("&Načíst klíč"), box);
    btnFetchKey->setAutoDefault(false);
    btnFetchKey->setAccessibleName(tr("Načíst klíč"));
    btnFetchKey->setAccessibleDescription(
        tr("Spojí se se serverem, ukáže otisk jeho klíče a po potvrzení jej připne"));
    form->addRow(QString(), btnFetchKey);
    connect(btnFetchKey, &QPushButton::clicked, this, [this] { FetchKey(); });
    return box;
}

QWidget* TRecoveryPage::CreateHttp() {
    auto* box = new QGroupBox(tr("HTTP:"));
    auto* form = new QFormLayout(box);
    cmbPreset = new QComboBox;
    for (const char* caption : kPresetCaptions) {
        cmbPreset->addItem(tr(caption));
    }
    Row(form, tr("Předvolba zásuvky:"), cmbPreset,
        tr("Druh chytré zásuvky; žádná = požadavek zadaný celý"));
    edtHttpHost = new QLineEdit;
    Row(form, tr("Adresa zásuvky:"), edtHttpHost, tr("Jméno nebo IP adresa zásuvky"));
    edtHttpPort = new QLineEdit;
    Row(form, tr("Port (0 = výchozí):"), edtHttpPort, RangeText(0, 65535));
    chbHttps = new QCheckBox(tr("HTTPS"));
    chbHttps->setAccessibleName(tr("HTTPS"));
    chbHttps->setAccessibleDescription(tr("Spojení šifrované TLS"));
    form->addRow(QString(), chbHttps);
    edtChannel = new QLineEdit;
    Row(form, tr("Kanál:"), edtChannel, RangeText(0, 15));
    edtOffTime = new QLineEdit;
    Row(form, tr("Doba vypnutí [s]:"), edtOffTime, RangeText(1, 86400));
    edtPinnedKey = new QLineEdit;
    edtPinnedKey->setPlaceholderText(QStringLiteral("sha256//…"));
    Row(form, tr("Připnutý klíč:"), edtPinnedKey,
        tr("Veřejný klíč serveru HTTPS jako sha256//BASE64; prázdné = certifikační autority"));
    edtMethod = new QLineEdit;
    Row(form, tr("Metoda:"), edtMethod, tr("GET nebo POST, bez předvolby"));
    edtUrl = new QLineEdit;
    Row(form, tr("URL:"), edtUrl, tr("Celá adresa požadavku, bez předvolby"));
    edtBody = new QLineEdit;
    Row(form, tr("Tělo:"), edtBody, tr("Tělo požadavku, bez předvolby"));
    edtExpect = new QLineEdit;
    Row(form, tr("Očekávaný stav:"), edtExpect, RangeText(100, 599));
    connect(cmbPreset, &QComboBox::currentIndexChanged, this, [this] { UpdatePresetFields(); });
    return box;
}

QWidget* TRecoveryPage::CreateProgram() {
    auto* box = new QGroupBox(tr("Program:"));
    auto* form = new QFormLayout(box);
    auto* chooser = new QWidget;
    auto* line = new QHBoxLayout(chooser);
    line->setContentsMargins(0, 0, 0, 0);
    edtProgram = new QLineEdit(chooser);
    btnBrowse = new QPushButton(tr("&Vybrat..."), chooser);
    btnBrowse->setAutoDefault(false);
    btnBrowse->setAccessibleName(tr("Vybrat program"));
    btnBrowse->setAccessibleDescription(tr("Otevře výběr souboru"));
    line->addWidget(edtProgram, 1);
    line->addWidget(btnBrowse);
    Row(form, tr("Program:"), chooser, tr("Spustitelný soubor s celou cestou"));
    edtProgram->setAccessibleName(tr("Program"));
    edtProgram->setAccessibleDescription(tr("Spustitelný soubor s celou cestou"));
    txtArgs = new QPlainTextEdit;
    txtArgs->setTabChangesFocus(true);
    txtArgs->setMaximumHeight(90);
    Row(form, tr("Argumenty (jeden na řádek):"), txtArgs,
        tr("Každý řádek je jeden argument, bez shellu"));
    connect(btnBrowse, &QPushButton::clicked, this, [this] {
        const QString chosen = ChooseProgram ? ChooseProgram(this, edtProgram->text()) : QString();
        if (!chosen.isEmpty()) {
            edtProgram->setText(chosen);
        }
    });
    return box;
}

QWidget* TRecoveryPage::CreateCredentials() {
    auto* box = new QGroupBox(tr("Přihlášení:"));
    grpCredentials = box;
    auto* form = new QFormLayout(box);
    edtUser = new QLineEdit;
    Row(form, tr("Uživatel:"), edtUser, tr("Jméno pro přihlášení k zařízení"));
    edtPassword = new QLineEdit;
    edtPassword->setEchoMode(QLineEdit::Password);
    Row(form, tr("Heslo:"), edtPassword, tr("Nové heslo; nastavené heslo se nikdy neukazuje"));
    chbClearPassword = new QCheckBox(tr("Smazat heslo"));
    chbClearPassword->setAccessibleName(tr("Smazat heslo"));
    chbClearPassword->setAccessibleDescription(tr("Při OK odstraní nastavené heslo"));
    form->addRow(QString(), chbClearPassword);
    edtPasswordFile = new QLineEdit;
    Row(form, tr("Soubor s heslem:"), edtPasswordFile,
        tr("Heslo se uloží do tohoto souboru (chmod 600); prázdné = do pingvard.ini"));
    return box;
}

QWidget* TRecoveryPage::CreateTest() {
    auto* box = new QGroupBox(tr("Zkouška:"));
    auto* column = new QVBoxLayout(box);
    auto* buttons = new QHBoxLayout;
    btnTest = new QPushButton(tr("&Vyzkoušet"), box);
    btnTest->setAccessibleName(tr("Vyzkoušet"));
    btnTest->setAccessibleDescription(tr("Jednou provede vybranou akci tak, jak je zadaná"));
    btnStop = new QPushButton(tr("&Zastavit"), box);
    btnStop->setAccessibleName(tr("Zastavit"));
    btnStop->setAccessibleDescription(tr("Přeruší probíhající zkoušku"));
    btnStop->setEnabled(false);
    for (QPushButton* button : {btnTest, btnStop}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    column->addLayout(buttons);
    txtTest = new QPlainTextEdit(box);
    txtTest->setReadOnly(true);
    txtTest->setMaximumHeight(110);
    txtTest->setAccessibleName(tr("Průběh zkoušky"));
    txtTest->setAccessibleDescription(tr("Kroky a výsledek poslední zkoušky"));
    column->addWidget(txtTest);
    connect(btnTest, &QPushButton::clicked, this, [this] { TestAction(); });
    connect(btnStop, &QPushButton::clicked, this, [this] { StopTest(); });
    return box;
}

void TRecoveryPage::AddActionRow(int row, const TActionConfig& action) {
    const QSignalBlocker quiet(tblActions);
    tblActions->insertRow(row);
    tblActions->setItem(row, kNameColumn, new QTableWidgetItem(Utf8Text(action.Name)));
    auto* kind = new QTableWidgetItem(KindText(action.Kind));
    kind->setFlags(kind->flags() & ~Qt::ItemIsEditable);
    tblActions->setItem(row, kKindColumn, kind);
    tblActions->setItem(row, kTimeLimitColumn,
                        new QTableWidgetItem(Decimal(action.TimeLimitMs / 1000)));
    tblActions->setItem(row, kVerifyColumn, new QTableWidgetItem(Decimal(action.VerifyMs / 1000)));
}

std::string& TRecoveryPage::Secret(TActionConfig& action) {
    return action.Kind == TActionKind::Ssh ? action.Ssh.Password : action.Http.Password;
}

void TRecoveryPage::SelectionChanged() {
    const int row = tblActions->currentRow();
    if (row == m_shown) {
        return;
    }
    if (m_shown >= 0 && m_shown < tblActions->rowCount() && !StoreFields(m_shown)) {
        const QSignalBlocker quiet(tblActions);
        tblActions->setCurrentCell(m_shown, kNameColumn);
        return;
    }
    LoadFields(row);
}

void TRecoveryPage::LoadFields(int row) {
    m_shown = row;
    UpdateButtons();
    if (row < 0) {
        return;
    }
    const TActionConfig& a = m_actions.at(static_cast<std::size_t>(row));
    stkKind->setCurrentIndex(static_cast<int>(a.Kind));
    const TSshSettings& s = a.Ssh;
    edtSshHost->setText(DisplayText(s.Host));
    edtSshPort->setText(Decimal(s.Port));
    edtSshKeyFile->setText(DisplayText(s.KeyFile));
    edtSshCommand->setText(DisplayText(s.Command));
    edtSshHostKey->setText(DisplayText(s.HostKey));
    const THttpSettings& h = a.Http;
    cmbPreset->setCurrentIndex(static_cast<int>(h.Preset));
    edtHttpHost->setText(DisplayText(h.Host));
    edtHttpPort->setText(Decimal(h.Port));
    chbHttps->setChecked(h.Https);
    edtChannel->setText(Decimal(h.Channel));
    edtOffTime->setText(Decimal(h.OffTimeS));
    edtPinnedKey->setText(DisplayText(h.PinnedKey));
    edtMethod->setText(DisplayText(h.Method));
    edtUrl->setText(DisplayText(h.Url));
    edtBody->setText(DisplayText(h.Body));
    edtExpect->setText(Decimal(h.ExpectStatus));
    edtProgram->setText(DisplayText(a.Program.Program));
    QStringList args;
    for (const std::string& arg : a.Program.Args) {
        args << DisplayText(arg);
    }
    txtArgs->setPlainText(args.join(QLatin1Char('\n')));
    const bool credentials = a.Kind == TActionKind::Ssh || a.Kind == TActionKind::Http;
    grpCredentials->setVisible(credentials);
    edtUser->setText(DisplayText(a.Kind == TActionKind::Ssh ? s.User : h.User));
    edtPassword->clear();
    const std::string& secret = a.Kind == TActionKind::Ssh ? s.Password : h.Password;
    edtPassword->setPlaceholderText(secret.empty() ? QString() : tr("nastaveno"));
    chbClearPassword->setChecked(false);
    chbClearPassword->setEnabled(!secret.empty());
    edtPasswordFile->setText(DisplayText(a.PasswordFile));
    UpdatePresetFields();
}

void TRecoveryPage::UpdatePresetFields() {
    const bool preset = cmbPreset->currentIndex() != static_cast<int>(TPlugPreset::None);
    for (QWidget* field : {edtHttpHost, edtHttpPort, edtChannel, edtOffTime}) {
        field->setEnabled(preset);
    }
    chbHttps->setEnabled(preset);
    for (QWidget* field : {edtMethod, edtUrl, edtBody, edtExpect}) {
        field->setEnabled(!preset);
    }
}

void TRecoveryPage::UpdateButtons() {
    const int row = m_shown;
    const int count = tblActions->rowCount();
    const bool idle = !m_runner;
    btnRemove->setEnabled(idle && row >= 0 && count > 1); // the escalation is never empty
    btnUp->setEnabled(idle && row > 0);
    btnDown->setEnabled(idle && row >= 0 && row + 1 < count);
    btnAdd->setEnabled(idle);
    btnTest->setEnabled(idle && row >= 0);
    btnFetchKey->setEnabled(idle && row >= 0);
    btnStop->setEnabled(!idle);
    stkKind->setVisible(row >= 0);
}

void TRecoveryPage::ClearNotes() {
    for (auto& [field, info] : m_fields) {
        info.Note->hide();
    }
    m_tableNote->hide();
}

void TRecoveryPage::Refuse(QWidget* field, const QString& range) {
    QString line;
    if (const auto found = m_fields.find(field); found != m_fields.end()) {
        found->second.Note->setText(range);
        found->second.Note->show();
        line = found->second.Caption + ": " + range;
    } else {
        m_tableNote->setText(range);
        m_tableNote->show();
        line = range;
    }
    field->setFocus();
    if (ShowErrorBox) {
        ShowErrorBox(this, tr("Nesprávná hodnota!") + "\n" + line);
    }
}

std::optional<int32_t> TRecoveryPage::Field(QLineEdit* edit, int32_t low, int32_t high) {
    if (const auto parsed = InRange(edit->text(), low, high)) {
        return parsed;
    }
    Refuse(edit, RangeText(low, high));
    return std::nullopt;
}

bool TRecoveryPage::Cell(int row, int column, int32_t low, int32_t high, int32_t& value) {
    if (const auto parsed = InRange(tblActions->item(row, column)->text(), low, high)) {
        value = *parsed;
        return true;
    }
    tblActions->setCurrentCell(row, column);
    Refuse(tblActions,
           tblActions->horizontalHeaderItem(column)->text() + ": " + RangeText(low, high));
    return false;
}

// The fields of row into its action; false (with the field refused) when a
// number is not within its range.
bool TRecoveryPage::StoreFields(int row) {
    ClearNotes();
    TActionConfig a = m_actions.at(static_cast<std::size_t>(row));
    a.Name = ConfigBytes(tblActions->item(row, kNameColumn)->text(), a.Name);
    int32_t limit = 0;
    int32_t verify = 0;
    if (!Cell(row, kTimeLimitColumn, 1, kRecoveryMaxSeconds, limit) ||
        !Cell(row, kVerifyColumn, 0, kRecoveryMaxSeconds, verify)) {
        return false;
    }
    a.TimeLimitMs = limit * 1000;
    a.VerifyMs = verify * 1000;
    switch (a.Kind) {
    case TActionKind::Telnet:
        break;
    case TActionKind::Ssh: {
        const auto port = Field(edtSshPort, 1, 65535);
        if (!port) {
            return false;
        }
        a.Ssh.Port = *port;
        a.Ssh.Host = ConfigBytes(edtSshHost->text(), a.Ssh.Host);
        a.Ssh.KeyFile = ConfigBytes(edtSshKeyFile->text(), a.Ssh.KeyFile);
        a.Ssh.Command = ConfigBytes(edtSshCommand->text(), a.Ssh.Command);
        a.Ssh.HostKey = ConfigBytes(edtSshHostKey->text(), a.Ssh.HostKey);
        a.Ssh.User = ConfigBytes(edtUser->text(), a.Ssh.User);
        break;
    }
    case TActionKind::Http: {
        THttpSettings& h = a.Http;
        h.Preset = static_cast<TPlugPreset>(cmbPreset->currentIndex());
        const int32_t offMax = h.Preset == TPlugPreset::Tasmota ? 360 : 86400;
        const auto port = Field(edtHttpPort, 0, 65535);
        const auto channel = port ? Field(edtChannel, 0, 15) : std::nullopt;
        const auto off = channel ? Field(edtOffTime, 1, offMax) : std::nullopt;
        const auto expect = off ? Field(edtExpect, 100, 599) : std::nullopt;
        if (!expect) {
            return false;
        }
        h.Port = *port;
        h.Channel = *channel;
        h.OffTimeS = *off;
        h.ExpectStatus = *expect;
        h.Host = ConfigBytes(edtHttpHost->text(), h.Host);
        h.Https = chbHttps->isChecked();
        h.PinnedKey = ConfigBytes(edtPinnedKey->text(), h.PinnedKey);
        h.Method = ConfigBytes(edtMethod->text(), h.Method);
        h.Url = ConfigBytes(edtUrl->text(), h.Url);
        h.Body = ConfigBytes(edtBody->text(), h.Body);
        h.User = ConfigBytes(edtUser->text(), h.User);
        break;
    }
    case TActionKind::Program: {
        a.Program.Program = ConfigBytes(edtProgram->text(), a.Program.Program);
        const QStringList rows = txtArgs->toPlainText().split(QLatin1Char('\n'));
        a.Program.Args.clear();
        for (const QString& arg : rows) {
            a.Program.Args.push_back(arg.toStdString());
        }
        while (!a.Program.Args.empty() && a.Program.Args.back().empty()) {
            a.Program.Args.pop_back();
        }
        break;
    }
    }
    if (a.Kind == TActionKind::Ssh || a.Kind == TActionKind::Http) {
        a.PasswordFile = ConfigBytes(edtPasswordFile->text(), a.PasswordFile);
        if (!edtPassword->text().isEmpty()) {
            Secret(a) = edtPassword->text().toStdString();
        } else if (chbClearPassword->isChecked()) {
            Secret(a).clear();
        }
        edtPassword->clear();
        chbClearPassword->setChecked(false);
        edtPassword->setPlaceholderText(Secret(a).empty() ? QString() : tr("nastaveno"));
        chbClearPassword->setEnabled(!Secret(a).empty());
    }
    a.Problem.clear(); // the reader's verdict on the old values
    m_actions[static_cast<std::size_t>(row)] = std::move(a);
    return true;
}

// A name becomes a section's name and an entry of a comma list: letters,
// digits, '-' and '_', each name once (the console's --test-action ignores case).
bool TRecoveryPage::CheckNames() {
    static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9_-]{1,40}$"));
    QStringList seen;
    for (int row = 0; row < tblActions->rowCount(); ++row) {
        const QString name = tblActions->item(row, kNameColumn)->text();
        if (!kName.match(name).hasMatch() || seen.contains(name, Qt::CaseInsensitive)) {
            tblActions->setCurrentCell(row, kNameColumn);
            Refuse(tblActions, tr("Akce: jméno z písmen, číslic, - a _, každé jen jednou"));
            return false;
        }
        seen << name;
    }
    return true;
}

void TRecoveryPage::AddAction(TActionKind kind) {
    if (m_shown >= 0 && !StoreFields(m_shown)) {
        return;
    }
    TActionConfig action = NewActionConfig(kind, GetProgramDir());
    const QString base = kind == TActionKind::Http ? QStringLiteral("plug") : KindText(kind);
    QString name = base;
    for (int n = 2;; ++n) {
        bool taken = false;
        for (const TActionConfig& other : m_actions) {
            taken =
                taken || QString::fromStdString(other.Name).compare(name, Qt::CaseInsensitive) == 0;
        }
        if (!taken) {
            break;
        }
        name = base + QString::number(n);
    }
    action.Name = name.toStdString();
    const int row = tblActions->rowCount();
    m_actions.push_back(action);
    AddActionRow(row, action);
    m_shown = -1;
    tblActions->setCurrentCell(row, kNameColumn);
    if (m_shown != row) {
        LoadFields(row);
    }
}

void TRecoveryPage::RemoveAction() {
    const int row = m_shown;
    if (row < 0 || tblActions->rowCount() <= 1) {
        return;
    }
    m_actions.erase(m_actions.begin() + row);
    m_shown = -1;
    {
        const QSignalBlocker quiet(tblActions);
        tblActions->removeRow(row);
    }
    const int next = std::min(row, tblActions->rowCount() - 1);
    tblActions->setCurrentCell(next, kNameColumn);
    if (m_shown != next) {
        LoadFields(next);
    }
}

void TRecoveryPage::MoveAction(int delta) {
    const int row = m_shown;
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= tblActions->rowCount() || !StoreFields(row)) {
        return;
    }
    std::swap(m_actions[static_cast<std::size_t>(row)], m_actions[static_cast<std::size_t>(to)]);
    {
        const QSignalBlocker quiet(tblActions);
        for (int column = 0; column < tblActions->columnCount(); ++column) {
            QTableWidgetItem* a = tblActions->takeItem(row, column);
            QTableWidgetItem* b = tblActions->takeItem(to, column);
            tblActions->setItem(row, column, b);
            tblActions->setItem(to, column, a);
        }
        tblActions->setCurrentCell(to, kNameColumn);
    }
    LoadFields(to);
}

void TRecoveryPage::TestAction() {
    if (m_runner || m_shown < 0 || !StoreFields(m_shown)) {
        return;
    }
    TActionConfig config = m_actions.at(static_cast<std::size_t>(m_shown));
    txtTest->clear();
    txtTest->appendPlainText(
        tr("Zkouška akce %1 (%2)").arg(Utf8Text(config.Name), KindText(config.Kind)));
    TRecoveryEvent event;
    event.Reason = "test";
    event.Step = m_shown + 1;
    std::unique_ptr<TRecoveryAction> action = MakeAction(config, m_context);
    action->SetEvent(event);
    StartRun(std::move(action), false);
}

// Connects with no key trusted, so the session stops at the server's key
// before it would log in; the key it names is pinned once confirmed.
void TRecoveryPage::FetchKey() {
    if (m_runner || m_shown < 0 || !StoreFields(m_shown)) {
        return;
    }
    TActionConfig config = m_actions.at(static_cast<std::size_t>(m_shown));
    config.Ssh.HostKey.clear();
    config.Ssh.KnownHostsFile = "/dev/null";
    config.Ssh.Password.clear();
    config.Ssh.KeyFile.clear();
    txtTest->clear();
    txtTest->appendPlainText(tr("Načítám klíč serveru %1...").arg(Utf8Text(config.Ssh.Host)));
    m_fetchedKey.clear();
    StartRun(MakeAction(config, m_context), true);
}

void TRecoveryPage::StartRun(std::unique_ptr<TRecoveryAction> action, bool fetch) {
    m_fetching = fetch;
    const QPointer<TRecoveryPage> page(this);
    const auto post = [page](std::function<void(TRecoveryPage&)> work) {
        QMetaObject::invokeMethod(
            page.data(),
            [page, work = std::move(work)] {
                if (page) {
                    work(*page);
                }
            },
            Qt::QueuedConnection);
    };
    m_runner = std::make_unique<TActionRunner>(
        std::move(action),
        [post, fetch](const std::string& text) {
            if (!fetch) {
                post([text](TRecoveryPage& p) { p.txtTest->appendPlainText(DisplayText(text)); });
            }
        },
        [post, fetch](const std::string& entry) {
            if (fetch && entry.rfind(kHostKeyEntry, 0) == 0) {
                const std::string key = entry.substr(std::string_view("Host key ").size());
                post([key](TRecoveryPage& p) { p.m_fetchedKey = key; });
            }
        },
        [post](const TRecoveryOutcome& outcome) {
            post([outcome](TRecoveryPage& p) { p.RunEnded(outcome); });
        });
    UpdateButtons();
}

void TRecoveryPage::RunEnded(const TRecoveryOutcome& outcome) {
    m_runner.reset(); // its thread has handed the outcome over: the join is short
    UpdateButtons();
    if (!m_fetching) {
        txtTest->appendPlainText(
            (outcome.Ok ? tr("Výsledek: úspěch - ") : tr("Výsledek: chyba - ")) +
            DisplayText(outcome.Status));
        return;
    }
    if (m_fetchedKey.empty()) {
        txtTest->appendPlainText(tr("Klíč se nepodařilo načíst: ") + DisplayText(outcome.Status));
        return;
    }
    const QString fingerprint = Utf8Text(m_fetchedKey);
    txtTest->appendPlainText(tr("Klíč serveru: ") + fingerprint);
    if (ConfirmHostKey && ConfirmHostKey(this, fingerprint)) {
        edtSshHostKey->setText(fingerprint);
        txtTest->appendPlainText(tr("Klíč připnut."));
    } else {
        txtTest->appendPlainText(tr("Klíč nepřipnut."));
    }
}

void TRecoveryPage::StopTest() {
    if (m_runner) {
        m_runner->Stop();
        txtTest->appendPlainText(tr("Zastavuji..."));
    }
}

void TRecoveryPage::reject() {
    m_runner.reset();
    UpdateButtons();
    QDialog::reject();
}

void TRecoveryPage::OkClick() {
    ClearNotes();
    if (m_shown >= 0 && !StoreFields(m_shown)) {
        return;
    }
    if (!CheckNames()) {
        return;
    }
    TRecoverySettings edited = m_settings;
    const auto quorum = Field(edtQuorum, 0, 4);
    const auto holdOff = quorum ? Field(edtHoldOff, 0, kRecoveryMaxSeconds) : std::nullopt;
    const auto rounds = holdOff ? Field(edtMaxRounds, 0, kRecoveryMaxRounds) : std::nullopt;
    const auto window = rounds ? Field(edtWindow, 1, kRecoveryMaxSeconds) : std::nullopt;
    if (!window) {
        return;
    }
    for (int row = 0; row < tblActions->rowCount(); ++row) {
        if (row != m_shown) {
            TActionConfig& action = m_actions[static_cast<std::size_t>(row)];
            int32_t limit = 0;
            int32_t verify = 0;
            if (!Cell(row, kTimeLimitColumn, 1, kRecoveryMaxSeconds, limit) ||
                !Cell(row, kVerifyColumn, 0, kRecoveryMaxSeconds, verify)) {
                return;
            }
            action.TimeLimitMs = limit * 1000;
            action.VerifyMs = verify * 1000;
            action.Name = tblActions->item(row, kNameColumn)->text().toStdString();
        }
    }
    edited.Quorum = *quorum;
    edited.Guard.HoldOffMs = static_cast<uint32_t>(*holdOff) * 1000;
    edited.Guard.MaxRounds = *rounds;
    edited.Guard.WindowMs = static_cast<uint32_t>(*window) * 1000;
    edited.Guard.BackOff = chbBackOff->isChecked();
    edited.Actions = m_actions;
    m_runner.reset();
    m_settings = std::move(edited);
    accept();
}

} // namespace pingvard
