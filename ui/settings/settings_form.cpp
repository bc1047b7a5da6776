// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/settings_form.h"

#include "config/ini_file.h"
#include "config/integer_text.h"
#include "ui/form_scale.h"
#include "ui/main_form.h"
#include "ui/settings/config_text.h"
#include "ui/settings/observe_page.h"
#include "ui/settings/recovery_page.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <limits>
#include <optional>

namespace pingvard {

namespace {

constexpr int kFieldLeft = 200;
constexpr int kLabelLeft = 16;
constexpr int kLabelGap = 6;

QString Decimal(int32_t value) {
    return QString::number(value);
}

QString TabCaption(int slot) {
    return TSettingsForm::tr("Adresa %1").arg(slot + 1);
}

std::string Std(const QLineEdit* edit) {
    return edit->text().toStdString();
}

int32_t IntegerOf(const QLineEdit* edit) {
    return ParseIntegerText(Std(edit), false).value_or(0);
}

} // namespace

TSettingsForm::TSettingsForm(THostMonitor& monitor, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_monitor(monitor) {
    setWindowTitle(tr("Nastavení"));
    setFont(FormFont());
    m_widen = LabelColumnWidening();
    setFixedSize(TFormScale::ForWidget(this).Size(354 + m_widen, 343));
    CreateConstants();
    CreateTabs();
    CreateButtons();
    SetTabOrder();
    DescribeControls();
    DescribeRanges();
    ShowErrorBox = [](QWidget* owner, const QString& caption, const QString& text) {
        // Modal to the dialog only, so the tray icon stays usable meanwhile.
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
        box.setTextFormat(Qt::PlainText);
        box.setWindowModality(Qt::WindowModal);
        box.exec();
    };
    AskKeepName = [](QWidget* owner, const QString& text) {
        return QMessageBox::question(owner, tr("Neznámé jméno"), text) == QMessageBox::Yes;
    };
}

// The captions were drawn for a narrow 8-point font; with a wider one the
// field column moves right (and the dialog grows) so no caption runs under
// its field.
int TSettingsForm::LabelColumnWidening() const {
    const QFontMetrics metrics(FormFont());
    const double factor = TFormScale::ForWidget(this).Factor();
    int widest = 0;
    for (const char* caption :
         {QT_TR_NOOP("Interval pro zkoušení spojení [ms]:"),
          QT_TR_NOOP("Maximální dovolený počet výpadků:"),
          QT_TR_NOOP("Adresa restartovaného zařízení:"), QT_TR_NOOP("IP adresa:"),
          QT_TR_NOOP("Zobrazované jméno:"), QT_TR_NOOP("Jak dlouho čekat na odezvu [ms]:")}) {
        widest = std::max(widest, metrics.horizontalAdvance(tr(caption)));
    }
    const int needed = kLabelLeft + static_cast<int>(std::ceil(widest / factor)) + kLabelGap;
    return std::max(0, needed - kFieldLeft);
}

void TSettingsForm::CreateConstants() {
    const TFormScale s = TFormScale::ForWidget(this);
    GroupBox2 = new QGroupBox(tr("Konstanty:"), this);
    s.Place(GroupBox2, 8, 8, 337 + m_widen, 73);
    Label1 = new QLabel(tr("Interval pro zkoušení spojení [ms]:"), GroupBox2);
    s.Place(Label1, 16, 24);
    Label2 = new QLabel(tr("Maximální dovolený počet výpadků:"), GroupBox2);
    s.Place(Label2, 16, 48);
    edtMaxTimeouts = new QLineEdit(GroupBox2);
    s.Place(edtMaxTimeouts, kFieldLeft + m_widen, 44, 121, 21);
    edtInterval = new QLineEdit(GroupBox2);
    s.Place(edtInterval, kFieldLeft + m_widen, 20, 121, 21);

    GroupBox3 = new QGroupBox(tr("Restartování zařízení:"), this);
    s.Place(GroupBox3, 8, 88, 337 + m_widen, 52);
    Label3 = new QLabel(tr("Adresa restartovaného zařízení:"), GroupBox3);
    s.Place(Label3, 16, 24);
    edtResetHost = new QLineEdit(GroupBox3);
    s.Place(edtResetHost, kFieldLeft + m_widen, 20, 121, 21);
}

void TSettingsForm::CreateTabs() {
    const TFormScale s = TFormScale::ForWidget(this);
    // The tab control: the strip with a page frame below it; the shared fields
    // are placed relative to the whole control.
    auto* control = new QWidget(this);
    m_tabPage = control;
    s.Place(control, 8, 168, 337 + m_widen, 132);
    TabControl1 = new TTabControl(control);
    TabControl1->setDrawBase(false);
    TabControl1->setExpanding(false);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        TabControl1->addTab(TabCaption(slot));
        TabControl1->setTabToolTip(slot, tr("Který ze čtyř hlídaných hostů se upravuje"));
    }
    TabControl1->setGeometry(QRect(QPoint(0, 0), TabControl1->sizeHint()));
    auto* page = new QFrame(control);
    page->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    const int stripHeight = TabControl1->height();
    page->setGeometry(0, stripHeight - 1, control->width(), control->height() - stripHeight + 1);
    page->lower();

    Label4 = new QLabel(tr("Hlídané IP adresy:"), this);
    Label4->setFont(BoldFormFont());
    s.Place(Label4, 8, 152);
    edtAdrIP = new QLineEdit(control);
    s.Place(edtAdrIP, kFieldLeft + m_widen, 31, 121, 21);
    Label5 = new QLabel(tr("IP adresa:"), control);
    s.Place(Label5, 16, 35);
    Label6 = new QLabel(tr("Zobrazované jméno:"), control);
    s.Place(Label6, 16, 58);
    edtAdrDisp = new QLineEdit(control);
    s.Place(edtAdrDisp, kFieldLeft + m_widen, 55, 121, 21);
    edtAdrTO = new QLineEdit(control);
    s.Place(edtAdrTO, kFieldLeft + m_widen, 79, 121, 21);
    Label7 = new QLabel(tr("Jak dlouho čekat na odezvu [ms]:"), control);
    s.Place(Label7, 16, 81);
    // Caption on the left, the box at the right end.
    chbAdrReset = new QCheckBox(tr("Adresa je testována:"), control);
    chbAdrReset->setLayoutDirection(Qt::RightToLeft);
    s.Place(chbAdrReset, 14, 104, 307 + m_widen, 17);

    connect(TabControl1, &QTabBar::currentChanged, this, [this] { TabControl1Change(); });
}

void TSettingsForm::CreateButtons() {
    const TFormScale s = TFormScale::ForWidget(this);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), tr("OK"), this);
    s.Place(BitBtn1, 96 + m_widen / 2, 312, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn2 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), tr("Storno"), this);
    s.Place(BitBtn2, 184 + m_widen / 2, 312, 75, 25);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    btnRecovery = new QPushButton(tr("&Obnova..."), this);
    s.Place(btnRecovery, 8, 312, 80, 25);
    btnRecovery->setAutoDefault(false);
    connect(btnRecovery, &QPushButton::clicked, this, [this] {
        m_settings.ResetHost = ConfigBytes(edtResetHost->text(), m_settings.ResetHost);
        TActionContext context;
        context.ResetHost = m_settings.ResetHost;
        context.Challenges = m_settings.Challenges;
        context.Answers = m_settings.Answers;
        TRecoveryPage page(m_settings.Recovery, context, this);
        page.setWindowModality(Qt::WindowModal);
        page.exec();
    });
    btnObserve = new QPushButton(tr("&Sledování..."), this);
    s.Place(btnObserve, 266 + m_widen, 312, 80, 25);
    btnObserve->setAutoDefault(false);
    connect(btnObserve, &QPushButton::clicked, this, [this] { EditObserveSettings(); });
}

// History, metrics and notifications on a page of their own; what it changes
// is written at OK, with the rest.
void TSettingsForm::EditObserveSettings() {
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Sledování"));
    dialog.setWindowModality(Qt::WindowModal);
    auto* page = new TObservePage(&dialog);
    page->Load(m_settings.Observe);
    page->edChannels->Load(m_settings.Notify.Channels);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Storno"));
    std::vector<THookConfig> hooks;
    std::vector<TNotifyChannel> channels;
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (page->edHooks->Store(hooks) && page->edChannels->Store(channels)) {
            dialog.accept();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // Scrolls where the screen is small or the scale large; the buttons stay.
    auto* scroll = new QScrollArea(&dialog);
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(scroll);
    layout->addWidget(buttons);
    FitOnScreen(&dialog, page->sizeHint() + QSize(40, buttons->sizeHint().height() + 40));
    if (dialog.exec() == QDialog::Accepted) {
        page->Store(m_settings.Observe);
        m_settings.Observe.Hooks = std::move(hooks);
        m_settings.Notify.Channels = std::move(channels);
        m_observeEdited = true;
    }
}

void TSettingsForm::SetTabOrder() {
    QWidget* order[] = {edtInterval, edtMaxTimeouts, edtResetHost, TabControl1,
                        edtAdrIP,    edtAdrDisp,     edtAdrTO,     chbAdrReset,
                        BitBtn1,     BitBtn2,        btnRecovery,  btnObserve};
    for (size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

// The fields are loaded when the dialog is opened, not on every show event:
// the window manager sends those too (after un-minimising, on a switch of
// workspaces), and reloading then would throw away what the operator typed.
void TSettingsForm::setVisible(bool visible) {
    if (visible && !isVisible()) {
        FormShow();
    }
    QDialog::setVisible(visible);
}

void TSettingsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        CentreOnScreen(this);
    }
}

void TSettingsForm::FormShow() {
    m_settings = m_monitor.Settings();
    edtInterval->setText(Decimal(m_settings.PingInterval));
    edtMaxTimeouts->setText(Decimal(m_settings.MaxTimeouts));
    edtResetHost->setText(DisplayText(m_settings.ResetHost));

    const QSignalBlocker quiet(TabControl1);
    while (TabControl1->count() > 0) {
        TabControl1->removeTab(0);
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        TabControl1->addTab(TabCaption(slot));
        TabControl1->setTabToolTip(slot, tr("Který ze čtyř hlídaných hostů se upravuje"));
    }
    TabControl1->setCurrentIndex(0);
    TabControl1->Tag = -1;
    TabControl1Change();
}

void TSettingsForm::TabControl1Change() {
    if (TabControl1->Tag != -1) {
        if (!ValidateIntEdit(edtAdrTO)) {
            const QSignalBlocker quiet(TabControl1);
            TabControl1->setCurrentIndex(TabControl1->Tag);
            return;
        }
        StoreFields(TabControl1->Tag);
    }
    LoadFields(TabControl1->currentIndex());
    TabControl1->Tag = TabControl1->currentIndex();
}

void TSettingsForm::StoreFields(int tab) {
    TPingRec& rec = m_settings.Hosts.at(static_cast<size_t>(tab));
    rec.Timeout = IntegerOf(edtAdrTO);
    rec.Hostname = ConfigBytes(edtAdrIP->text(), rec.Hostname);
    rec.DoReset = chbAdrReset->isChecked();
    rec.DisplayName = ConfigBytes(edtAdrDisp->text(), rec.DisplayName);
}

void TSettingsForm::LoadFields(int tab) {
    const TPingRec& rec = Record(tab);
    edtAdrIP->setText(DisplayText(rec.Hostname));
    edtAdrDisp->setText(DisplayText(rec.DisplayName));
    edtAdrTO->setText(Decimal(rec.Timeout));
    chbAdrReset->setChecked(rec.DoReset);
}

// What could flood a host or hang a worker is refused (config/settings.h);
// the other bound of each field is the integer's own.
TSettingsForm::TFieldRange TSettingsForm::RangeOf(const QLineEdit* edit) const {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    if (edit == edtInterval) {
        return {kMinPingInterval, kMax, Label1};
    }
    if (edit == edtMaxTimeouts) {
        return {kMinMaxTimeouts, kMax, Label2};
    }
    if (edit == edtAdrTO) {
        return {kMin, kMaxHostTimeout, Label7};
    }
    return {kMin, kMax, nullptr};
}

// "nejméně 100", "nejvýše 60000": the side that is bounded.
QString TSettingsForm::RangeText(const TFieldRange& range) const {
    return range.Low > std::numeric_limits<int32_t>::min() ? tr("nejméně %1").arg(range.Low)
                                                           : tr("nejvýše %1").arg(range.High);
}

// What a screen reader says of each control: its caption as the name, and
// what it does (a field's range is added by DescribeRanges).
void TSettingsForm::DescribeControls() {
    const std::pair<QWidget*, QString> controls[] = {
        {edtInterval, Label1->text()},  {edtMaxTimeouts, Label2->text()},
        {edtResetHost, Label3->text()}, {edtAdrIP, Label5->text()},
        {edtAdrDisp, Label6->text()},   {edtAdrTO, Label7->text()},
        {TabControl1, Label4->text()},
    };
    for (const auto& [control, caption] : controls) {
        QString name = caption;
        name.remove(QRegularExpression(QStringLiteral("\\s*(\\[[^\\]]*\\])?:?$")));
        control->setAccessibleName(name);
    }
    edtResetHost->setAccessibleDescription(
        tr("Jméno nebo IP adresa zařízení, které se restartuje"));
    edtAdrIP->setAccessibleDescription(tr("Jméno nebo IP adresa hlídaného hosta"));
    edtAdrDisp->setAccessibleDescription(tr("Jméno, které ukazuje hlavní okno"));
    TabControl1->setAccessibleDescription(tr("Který ze čtyř hlídaných hostů se upravuje"));
    chbAdrReset->setAccessibleDescription(tr("Výpadek této adresy se počítá pro restart"));
    BitBtn1->setAccessibleDescription(tr("Zkontroluje, převezme a uloží nastavení"));
    BitBtn2->setAccessibleDescription(tr("Zavře okno bez převzetí změn"));
    btnRecovery->setAccessibleDescription(
        tr("Akce obnovy, jejich pořadí a ochrana před opakováním"));
    btnObserve->setAccessibleDescription(tr("Historie, metriky, háčky a oznámení"));
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(BitBtn1), static_cast<QAbstractButton*>(BitBtn2),
          static_cast<QAbstractButton*>(btnRecovery), static_cast<QAbstractButton*>(btnObserve),
          static_cast<QAbstractButton*>(chbAdrReset)}) {
        button->setAccessibleName(button->text()
                                      .remove(QLatin1Char('&'))
                                      .remove(QStringLiteral("..."))
                                      .remove(QLatin1Char(':')));
    }
}

void TSettingsForm::DescribeRanges() {
    for (QLineEdit* edit : {edtInterval, edtMaxTimeouts, edtAdrTO}) {
        const QString range = RangeText(RangeOf(edit));
        edit->setToolTip(range);
        edit->setAccessibleDescription(range);
    }
}

bool TSettingsForm::ValidateIntEdit(QLineEdit* edit) {
    const std::optional<int32_t> value = ParseIntegerText(Std(edit), false);
    const TFieldRange range = RangeOf(edit);
    if (value && *value >= range.Low && *value <= range.High) {
        return true;
    }
    edit->setFocus();
    QString text = tr("Nesprávná hodnota!");
    if (value && range.Caption) {
        text += "\n" + range.Caption->text() + " " + RangeText(range); // names the field
    }
    if (ShowErrorBox) {
        ShowErrorBox(this, tr("Error"), text);
    }
    return false;
}

void TSettingsForm::BitBtn1Click() {
    if (LookupRunning()) {
        return;
    }
    for (QLineEdit* edit : {edtAdrTO, edtMaxTimeouts, edtInterval}) {
        if (!ValidateIntEdit(edit)) {
            return;
        }
    }
    StoreFields(TabControl1->currentIndex());
    m_settings.MaxTimeouts = IntegerOf(edtMaxTimeouts);
    m_settings.PingInterval = IntegerOf(edtInterval);
    m_settings.ResetHost = ConfigBytes(edtResetHost->text(), m_settings.ResetHost);
    SetEditable(false);
    const int lookup = ++m_lookupCount;
    m_lookup = std::make_unique<TAddressLookup>(
        m_settings,
        [this, lookup](TAddressLookup::TAddresses addresses) {
            QMetaObject::invokeMethod(
                this, [this, lookup, addresses] { LookupDone(lookup, addresses); },
                Qt::QueuedConnection);
        },
        Resolve);
}

// The names are looked up: apply and write, or stay open with the error of a
// refused write (what was applied before it stays applied).
void TSettingsForm::LookupDone(int lookup, const TAddressLookup::TAddresses& addresses) {
    if (lookup != m_lookupCount || !m_lookup) {
        return; // abandoned
    }
    m_lookup.reset();
    SetEditable(true);
    if (!KeepUnresolved(addresses)) {
        return;
    }
    try {
        m_monitor.ApplySettings(m_settings, addresses);
        if (m_observeEdited) {
            m_monitor.ApplyObserveSettings(m_settings.Observe);
            m_monitor.ApplyNotifyChannels(m_settings.Notify.Channels);
        }
    } catch (const EIniFileException& e) {
        if (ShowErrorBox) {
            ShowErrorBox(this, QString::fromUtf8(kApplicationTitle), DisplayText(e.what()));
        }
        return;
    }
    accept();
}

// A name that did not become an address is most often a typo: its field is
// marked and the operator decides whether it stays (it may resolve later,
// the worker looks it up again before each echo).
bool TSettingsForm::KeepUnresolved(const TAddressLookup::TAddresses& addresses) {
    edtAdrIP->setStyleSheet(QString());
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const std::string& name = m_settings.Hosts[static_cast<std::size_t>(slot)].Hostname;
        in_addr parsed{};
        const std::string& address = addresses[static_cast<std::size_t>(slot)];
        if (name.empty() || ::inet_pton(AF_INET, address.c_str(), &parsed) == 1) {
            continue;
        }
        TabControl1->setCurrentIndex(slot);
        const QString note = tr("Jméno %1 nelze přeložit na IP adresu").arg(DisplayText(name));
        edtAdrIP->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #c00000; }"));
        edtAdrIP->setToolTip(note);
        edtAdrIP->setAccessibleDescription(note);
        edtAdrIP->setFocus();
        if (!AskKeepName || !AskKeepName(this, note + "\n" + tr("Ponechat je?"))) {
            return false;
        }
        edtAdrIP->setStyleSheet(QString());
        edtAdrIP->setToolTip(QString());
        // back to what DescribeControls said
        edtAdrIP->setAccessibleDescription(tr("Jméno nebo IP adresa hlídaného hosta"));
    }
    return true;
}

void TSettingsForm::reject() {
    m_lookup.reset();
    SetEditable(true);
    QDialog::reject();
}

void TSettingsForm::SetEditable(bool editable) {
    for (QWidget* part :
         {static_cast<QWidget*>(GroupBox2), static_cast<QWidget*>(GroupBox3), m_tabPage,
          static_cast<QWidget*>(BitBtn1), static_cast<QWidget*>(btnRecovery)}) {
        part->setEnabled(editable);
    }
    if (editable) {
        unsetCursor();
    } else {
        setCursor(Qt::BusyCursor);
    }
}

} // namespace pingvard
