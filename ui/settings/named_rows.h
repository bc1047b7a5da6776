// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The editors' lists of named entries (hooks, channels): a vector of entries
// and the QListWidget showing their names, kept row for row. The list's
// signals are held while these change it, so the editor reacts only to the
// operator's own choice of a row.

#include "ui/settings/config_text.h"

#include <QListWidget>
#include <QSignalBlocker>
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace pingvard {

template <typename T> void ShowNames(QListWidget& list, const std::vector<T>& entries) {
    const QSignalBlocker quiet(&list);
    list.clear();
    for (const T& entry : entries) {
        list.addItem(DisplayText(entry.Name));
    }
}

// A new last row, made current.
inline void AppendName(QListWidget& list, const QString& name) {
    const QSignalBlocker quiet(&list);
    list.addItem(name);
    list.setCurrentRow(list.count() - 1);
}

// The entry of row goes; the row after it (or the new last) becomes current.
template <typename T> void RemoveRow(QListWidget& list, std::vector<T>& entries, int row) {
    entries.erase(entries.begin() + row);
    const QSignalBlocker quiet(&list);
    delete list.takeItem(row);
    list.setCurrentRow(std::min(row, list.count() - 1));
}

// The entries of row and to change places; to becomes current.
template <typename T> void SwapRows(QListWidget& list, std::vector<T>& entries, int row, int to) {
    std::swap(entries[static_cast<std::size_t>(row)], entries[static_cast<std::size_t>(to)]);
    const QSignalBlocker quiet(&list);
    list.item(row)->setText(DisplayText(entries[static_cast<std::size_t>(row)].Name));
    list.item(to)->setText(DisplayText(entries[static_cast<std::size_t>(to)].Name));
    list.setCurrentRow(to);
}

} // namespace pingvard
