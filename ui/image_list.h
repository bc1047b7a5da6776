#pragma once

#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <vector>

namespace pingvard {

// An ordered list of equally sized images with transparency, owned by a form.
class TImageList : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void Add(const QPixmap& image) { m_images.push_back(image); }
    int Count() const { return static_cast<int>(m_images.size()); }
    // The image at index as an icon; index must be within 0 .. Count() - 1.
    QIcon Icon(int index) const { return QIcon(m_images.at(static_cast<size_t>(index))); }
    const QPixmap& Image(int index) const { return m_images.at(static_cast<size_t>(index)); }

private:
    std::vector<QPixmap> m_images;
};

} // namespace pingvard
