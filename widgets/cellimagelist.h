#pragma once

#include "widgets/cellrequest.h"

#include <QPixmap>
#include <QSize>
#include <QVector>

// The small image list a CTaskListCtrl may show in its cells: images of one size and
// the colour painted behind them (CLR_NONE: nothing is painted).
class CellImageList
{
public:
    explicit CellImageList(QSize imageSize) : m_size(imageSize) {}

    QSize imageSize() const { return m_size; }
    int count() const { return int(m_images.size()); }
    int add(const QPixmap& image)
    {
        m_images.append(image);
        return count() - 1;
    }
    // A null pixmap for an index that is not in the list.
    QPixmap image(int index) const
    {
        return index >= 0 && index < count() ? m_images.at(index) : QPixmap();
    }

    ColorRef backgroundColor() const { return m_background; }
    ColorRef setBackgroundColor(ColorRef color)
    {
        const ColorRef old = m_background;
        m_background = color;
        return old;
    }

private:
    QSize m_size;
    QVector<QPixmap> m_images;
    ColorRef m_background = CLR_NONE;
};
