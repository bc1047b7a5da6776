// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/hook_config.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>
#include <vector>

namespace pingvard {

// The hooks of the observers page: added, removed and moved in the list,
// each with its program, arguments (one per row), events and time limit.
// Leaving a hook and Store check its fields; a refused one gets a red note
// beside it and the focus, and the error box names it with its range.
class THooksEditor : public QGroupBox {
    Q_OBJECT
public:
    explicit THooksEditor(QWidget* parent = nullptr);

    void Load(const std::vector<THookConfig>& hooks);
    // False, with the field refused, when a value is not usable.
    bool Store(std::vector<THookConfig>& hooks);

    void AddHook();
    void RemoveHook();
    void MoveHook(int delta);

    QListWidget* lstHooks;
    QPushButton* btnAdd;
    QPushButton* btnRemove;
    QPushButton* btnUp;
    QPushButton* btnDown;
    QLineEdit* edtName;
    QLineEdit* edtProgram;
    QPushButton* btnBrowse;
    QPlainTextEdit* txtArgs;
    std::vector<QCheckBox*> chbEvents; // one per kind of kHookEvents
    QLineEdit* edtTimeLimit;
    QLabel* lblNote; // the red note of a refused field

    std::function<void(QWidget* parent, const QString& text)> ShowErrorBox;
    std::function<QString(QWidget* parent, const QString& current)> ChooseProgram;

private:
    void SelectionChanged();
    void LoadFields(int row);
    bool StoreFields(int row);
    void UpdateButtons();
    bool Refuse(QWidget* field, const QString& text);

    std::vector<THookConfig> m_hooks;
    int m_shown = -1;
};

} // namespace pingvard
