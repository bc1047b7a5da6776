// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/recovery_page.h"

#include "config/integer_text.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace pingvard {

namespace {

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
    const std::string_view name = ActionKindName(kind);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

} // namespace

TRecoveryPage::TRecoveryPage(TRecoverySettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(tr("Obnova zařízení"));
    auto* form = new QFormLayout;
    edtQuorum = new QLineEdit(Decimal(settings.Quorum), this);
    form->addRow(tr("Kolik sledovaných adres musí selhat (0 = všechny):"), edtQuorum);
    edtHoldOff = new QLineEdit(Decimal(settings.Guard.HoldOffMs / 1000), this);
    form->addRow(tr("Prodleva po každém zásahu [s]:"), edtHoldOff);
    edtMaxRounds = new QLineEdit(Decimal(settings.Guard.MaxRounds), this);
    form->addRow(tr("Nejvýše kol v okně (0 = bez omezení):"), edtMaxRounds);
    edtWindow = new QLineEdit(Decimal(settings.Guard.WindowMs / 1000), this);
    form->addRow(tr("Okno [s]:"), edtWindow);
    chbBackOff = new QCheckBox(tr("Zdvojnásobit prodlevu po každém neúspěšném kole"), this);
    chbBackOff->setChecked(settings.Guard.BackOff);
    form->addRow(chbBackOff);

    tblActions = new QTableWidget(static_cast<int>(settings.Actions.size()), 4, this);
    tblActions->setHorizontalHeaderLabels(
        {tr("Akce"), tr("Druh"), tr("Limit [s]"), tr("Ověření [s]")});
    tblActions->verticalHeader()->hide();
    tblActions->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int row = 0; row < tblActions->rowCount(); ++row) {
        const TActionConfig& action = settings.Actions[static_cast<std::size_t>(row)];
        auto fixed = [](const QString& text) {
            auto* item = new QTableWidgetItem(text);
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            return item;
        };
        tblActions->setItem(row, 0, fixed(QString::fromStdString(action.Name)));
        tblActions->setItem(row, 1, fixed(KindText(action.Kind)));
        tblActions->setItem(row, kTimeLimitColumn,
                            new QTableWidgetItem(Decimal(action.TimeLimitMs / 1000)));
        tblActions->setItem(row, kVerifyColumn,
                            new QTableWidgetItem(Decimal(action.VerifyMs / 1000)));
    }

    auto* advice = new QLabel(
        tr("Doporučeno pro připojení DSL nebo LTE: prodleva 300 s, nejvýše 6 kol za 86400 s, "
           "zdvojování zapnuto, ověření 180 s a více. Akce, jejich adresy a hesla se zadávají "
           "v souboru pingvard.ini."),
        this);
    advice->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Storno"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OkClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(tblActions);
    layout->addWidget(advice);
    layout->addWidget(buttons);

    ShowErrorBox = [](QWidget* owner, const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok,
                        owner);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
}

bool TRecoveryPage::Field(QLineEdit* edit, int32_t low, int32_t high, int32_t& value) {
    if (const auto parsed = InRange(edit->text(), low, high)) {
        value = *parsed;
        return true;
    }
    edit->setFocus();
    ShowInvalidValue();
    return false;
}

bool TRecoveryPage::Cell(int row, int column, int32_t low, int32_t high, int32_t& value) {
    if (const auto parsed = InRange(tblActions->item(row, column)->text(), low, high)) {
        value = *parsed;
        return true;
    }
    tblActions->setCurrentCell(row, column);
    tblActions->setFocus();
    ShowInvalidValue();
    return false;
}

void TRecoveryPage::ShowInvalidValue() {
    if (ShowErrorBox) {
        ShowErrorBox(this, tr("Nesprávná hodnota!"));
    }
}

void TRecoveryPage::OkClick() {
    TRecoverySettings edited = m_settings;
    int32_t holdOff = 0;
    int32_t window = 0;
    if (!Field(edtQuorum, 0, 4, edited.Quorum) ||
        !Field(edtHoldOff, 0, kRecoveryMaxSeconds, holdOff) ||
        !Field(edtMaxRounds, 0, kRecoveryMaxRounds, edited.Guard.MaxRounds) ||
        !Field(edtWindow, 1, kRecoveryMaxSeconds, window)) {
        return;
    }
    edited.Guard.HoldOffMs = static_cast<uint32_t>(holdOff) * 1000;
    edited.Guard.WindowMs = static_cast<uint32_t>(window) * 1000;
    edited.Guard.BackOff = chbBackOff->isChecked();
    for (int row = 0; row < tblActions->rowCount(); ++row) {
        TActionConfig& action = edited.Actions[static_cast<std::size_t>(row)];
        int32_t limit = 0;
        int32_t verify = 0;
        if (!Cell(row, kTimeLimitColumn, 1, kRecoveryMaxSeconds, limit) ||
            !Cell(row, kVerifyColumn, 0, kRecoveryMaxSeconds, verify)) {
            return;
        }
        action.TimeLimitMs = limit * 1000;
        action.VerifyMs = verify * 1000;
    }
    m_settings = std::move(edited);
    accept();
}

} // namespace pingvard
