// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/hooks_editor.h"

#include "config/integer_text.h"
#include "ui/settings/config_text.h"
#include "ui/settings/named_rows.h"

#include <QFileDialog>
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

// The events a hook may take: every kind but the echo and the status line,
// which come too often for a program each.
constexpr TMonitorEventKind kHookEvents[] = {
    TMonitorEventKind::HostDown,      TMonitorEventKind::HostUp,
    TMonitorEventKind::RuleFired,     TMonitorEventKind::ActionStarted,
    TMonitorEventKind::ActionOutcome, TMonitorEventKind::GuardChanged,
    TMonitorEventKind::SiteState,     TMonitorEventKind::SiteDown,
    TMonitorEventKind::SiteBack,      TMonitorEventKind::RestartsPaused,
};

} // namespace

THooksEditor::THooksEditor(QWidget* parent) : QGroupBox(tr("Háčky"), parent) {
    auto* column = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    lstHooks = new QListWidget(this);
    lstHooks->setMaximumHeight(90);
    lstHooks->setAccessibleName(tr("Háčky"));
    lstHooks->setAccessibleDescription(tr("Programy spouštěné při událostech, v tomto pořadí"));
    top->addWidget(lstHooks, 1);
    auto* buttons = new QVBoxLayout;
    btnAdd = new QPushButton(tr("Přidat háček"), this);
    btnAdd->setAccessibleDescription(tr("Přidá háček na konec"));
    btnRemove = new QPushButton(tr("Odebrat háček"), this);
    btnRemove->setAccessibleDescription(tr("Odebere vybraný háček"));
    btnUp = new QPushButton(tr("Háček nahoru"), this);
    btnUp->setAccessibleDescription(tr("Posune vybraný háček o místo dříve"));
    btnDown = new QPushButton(tr("Háček dolů"), this);
    btnDown->setAccessibleDescription(tr("Posune vybraný háček o místo později"));
    for (QPushButton* button : {btnAdd, btnRemove, btnUp, btnDown}) {
        button->setAutoDefault(false);
        button->setAccessibleName(button->text());
        buttons->addWidget(button);
    }
    top->addLayout(buttons);
    column->addLayout(top);

    auto* form = new QFormLayout;
    edtName = new QLineEdit(this);
    edtName->setAccessibleName(tr("Jméno háčku"));
    edtName->setAccessibleDescription(tr("Písmena, číslice, - a _"));
    form->addRow(tr("Jméno:"), edtName);
    auto* chooser = new QHBoxLayout;
    edtProgram = new QLineEdit(this);
    edtProgram->setAccessibleName(tr("Program háčku"));
    edtProgram->setAccessibleDescription(tr("Spustitelný soubor s celou cestou, bez shellu"));
    btnBrowse = new QPushButton(tr("Vybrat..."), this);
    btnBrowse->setAutoDefault(false);
    btnBrowse->setAccessibleName(tr("Vybrat program háčku"));
    btnBrowse->setAccessibleDescription(tr("Otevře výběr souboru"));
    chooser->addWidget(edtProgram, 1);
    chooser->addWidget(btnBrowse);
    form->addRow(tr("Program:"), chooser);
    txtArgs = new QPlainTextEdit(this);
    txtArgs->setTabChangesFocus(true);
    txtArgs->setMaximumHeight(60);
    txtArgs->setAccessibleName(tr("Argumenty háčku"));
    txtArgs->setAccessibleDescription(tr("Každý řádek je jeden argument"));
    form->addRow(tr("Argumenty (jeden na řádek):"), txtArgs);
    auto* events = new QGridLayout;
    for (std::size_t i = 0; i < std::size(kHookEvents); ++i) {
        auto* box = new QCheckBox(Utf8Text(KindName(kHookEvents[i])), this);
        box->setAccessibleName(box->text());
        box->setAccessibleDescription(tr("Háček se spustí při této události"));
        events->addWidget(box, static_cast<int>(i / 2), static_cast<int>(i % 2));
        chbEvents.push_back(box);
    }
    form->addRow(tr("Události:"), events);
    edtTimeLimit = new QLineEdit(this);
    edtTimeLimit->setAccessibleName(tr("Časový limit háčku"));
    const QString range = tr("%1 až %2 s").arg(kHookMinSeconds).arg(kHookMaxSeconds);
    edtTimeLimit->setAccessibleDescription(range);
    edtTimeLimit->setToolTip(range);
    form->addRow(tr("Časový limit [s]:"), edtTimeLimit);
    column->addLayout(form);
    lblNote = new QLabel(this);
    lblNote->setStyleSheet(QStringLiteral("color: #c00000"));
    lblNote->setWordWrap(true);
    lblNote->hide();
    column->addWidget(lblNote);

    connect(lstHooks, &QListWidget::currentRowChanged, this, [this] { SelectionChanged(); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { AddHook(); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { RemoveHook(); });
    connect(btnUp, &QPushButton::clicked, this, [this] { MoveHook(-1); });
    connect(btnDown, &QPushButton::clicked, this, [this] { MoveHook(1); });
    connect(btnBrowse, &QPushButton::clicked, this, [this] {
        const QString chosen = ChooseProgram ? ChooseProgram(this, edtProgram->text()) : QString();
        if (!chosen.isEmpty()) {
            edtProgram->setText(chosen);
        }
    });
    ShowErrorBox = [](QWidget* owner, const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok,
                        owner);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    ChooseProgram = [](QWidget* owner, const QString& current) {
        return QFileDialog::getOpenFileName(owner, tr("Program"), current);
    };
    UpdateButtons();
}

void THooksEditor::Load(const std::vector<THookConfig>& hooks) {
    m_hooks = hooks;
    m_shown = -1;
    ShowNames(*lstHooks, m_hooks);
    lstHooks->setCurrentRow(m_hooks.empty() ? -1 : 0);
    SelectionChanged();
}

void THooksEditor::SelectionChanged() {
    const int row = lstHooks->currentRow();
    if (row == m_shown) {
        return;
    }
    if (m_shown >= 0 && !StoreFields(m_shown)) {
        const QSignalBlocker quiet(lstHooks);
        lstHooks->setCurrentRow(m_shown);
        return;
    }
    LoadFields(row);
}

void THooksEditor::LoadFields(int row) {
    m_shown = row;
    UpdateButtons();
    const bool any = row >= 0;
    for (QWidget* field : {static_cast<QWidget*>(edtName), static_cast<QWidget*>(edtProgram),
                           static_cast<QWidget*>(btnBrowse), static_cast<QWidget*>(txtArgs),
                           static_cast<QWidget*>(edtTimeLimit)}) {
        field->setEnabled(any);
    }
    for (QCheckBox* box : chbEvents) {
        box->setEnabled(any);
    }
    if (!any) {
        edtName->clear();
        edtProgram->clear();
        txtArgs->clear();
        edtTimeLimit->clear();
        return;
    }
    const THookConfig& hook = m_hooks.at(static_cast<std::size_t>(row));
    edtName->setText(DisplayText(hook.Name));
    edtProgram->setText(DisplayText(hook.Program));
    QStringList args;
    for (const std::string& arg : hook.Args) {
        args << DisplayText(arg);
    }
    txtArgs->setPlainText(args.join(QLatin1Char('\n')));
    for (std::size_t i = 0; i < std::size(kHookEvents); ++i) {
        chbEvents[i]->setChecked(
            std::find(hook.Events.begin(), hook.Events.end(), kHookEvents[i]) != hook.Events.end());
    }
    edtTimeLimit->setText(QString::number(hook.TimeLimitMs / 1000));
}

bool THooksEditor::Refuse(QWidget* field, const QString& text) {
    lblNote->setText(text);
    lblNote->show();
    field->setFocus();
    if (ShowErrorBox) {
        ShowErrorBox(this, tr("Nesprávná hodnota!") + "\n" + text);
    }
    return false;
}

bool THooksEditor::StoreFields(int row) {
    lblNote->hide();
    THookConfig hook = m_hooks.at(static_cast<std::size_t>(row));
    static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9_-]{1,40}$"));
    const QString name = edtName->text();
    for (std::size_t i = 0; i < m_hooks.size(); ++i) {
        if (static_cast<int>(i) != row &&
            Utf8Text(m_hooks[i].Name).compare(name, Qt::CaseInsensitive) == 0) {
            return Refuse(edtName, tr("Jméno: tento háček už je"));
        }
    }
    if (!kName.match(name).hasMatch()) {
        return Refuse(edtName, tr("Jméno: písmena, číslice, - a _"));
    }
    if (edtProgram->text().trimmed().isEmpty()) {
        return Refuse(edtProgram, tr("Program: háček potřebuje program"));
    }
    const auto limit = ParseIntegerText(edtTimeLimit->text().toStdString(), false);
    if (!limit || *limit < kHookMinSeconds || *limit > kHookMaxSeconds) {
        return Refuse(edtTimeLimit,
                      tr("Časový limit: %1 až %2 s").arg(kHookMinSeconds).arg(kHookMaxSeconds));
    }
    std::vector<TMonitorEventKind> events;
    for (std::size_t i = 0; i < std::size(kHookEvents); ++i) {
        if (chbEvents[i]->isChecked()) {
            events.push_back(kHookEvents[i]);
        }
    }
    if (events.empty()) {
        return Refuse(chbEvents.front(), tr("Události: nejméně jedna"));
    }
    hook.Name = ConfigBytes(name, hook.Name);
    hook.Program = ConfigBytes(edtProgram->text(), hook.Program);
    hook.Args.clear();
    for (const QString& arg : txtArgs->toPlainText().split(QLatin1Char('\n'))) {
        hook.Args.push_back(arg.toStdString());
    }
    while (!hook.Args.empty() && hook.Args.back().empty()) {
        hook.Args.pop_back();
    }
    hook.Events = std::move(events);
    hook.TimeLimitMs = *limit * 1000;
    lstHooks->item(row)->setText(DisplayText(hook.Name));
    m_hooks[static_cast<std::size_t>(row)] = std::move(hook);
    return true;
}

bool THooksEditor::Store(std::vector<THookConfig>& hooks) {
    if (m_shown >= 0 && !StoreFields(m_shown)) {
        return false;
    }
    hooks = m_hooks;
    return true;
}

void THooksEditor::AddHook() {
    if (m_shown >= 0 && !StoreFields(m_shown)) {
        return;
    }
    THookConfig hook;
    QString name = QStringLiteral("hook");
    for (int n = 2; std::any_of(m_hooks.begin(), m_hooks.end(),
                                [&](const THookConfig& h) { return Utf8Text(h.Name) == name; });
         ++n) {
        name = QStringLiteral("hook%1").arg(n);
    }
    hook.Name = name.toStdString();
    m_hooks.push_back(hook);
    AppendName(*lstHooks, name);
    LoadFields(lstHooks->count() - 1);
    edtProgram->setFocus();
}

void THooksEditor::RemoveHook() {
    const int row = m_shown;
    if (row < 0) {
        return;
    }
    RemoveRow(*lstHooks, m_hooks, row);
    LoadFields(lstHooks->currentRow());
}

void THooksEditor::MoveHook(int delta) {
    const int row = m_shown;
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= lstHooks->count() || !StoreFields(row)) {
        return;
    }
    SwapRows(*lstHooks, m_hooks, row, to);
    LoadFields(to);
}

void THooksEditor::UpdateButtons() {
    btnRemove->setEnabled(m_shown >= 0);
    btnUp->setEnabled(m_shown > 0);
    btnDown->setEnabled(m_shown >= 0 && m_shown + 1 < lstHooks->count());
}

} // namespace pingvard
