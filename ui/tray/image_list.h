// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QObject>
#include <vector>

namespace pingvard {

// An ordered list of images with transparency, owned by a form. Each image
// holds the same picture at several sizes, so every panel size draws it sharp.
class TImageList : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void Add(const QIcon& image) { m_images.push_back(image); }
    int Count() const { return static_cast<int>(m_images.size()); }
    // The image at index; index must be within 0 .. Count() - 1.
    const QIcon& Icon(int index) const { return m_images.at(static_cast<size_t>(index)); }

private:
    std::vector<QIcon> m_images;
};

} // namespace pingvard
