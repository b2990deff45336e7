// The list's painting: every visible cell, drawn from what its parent answers.
#include "widgets/ctasklistctrl.h"

#include "widgets/cellimagelist.h"
#include "widgets/colorref.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <cmath>

namespace {

// A rectangle from exclusive right and bottom edges, as the cell geometry is stated.
QRect ltrb(int l, int t, int r, int b)
{
    return QRect(l, t, r - l, b - t);
}

} // namespace

QColor CTaskListCtrl::textColor(const CellRequest& r, bool suppress, bool force) const
{
    if ((r.selected && !suppress) || force) {
        if (r.selTextColor == CLR_DEFAULT)
            return palette().color(hasFocus() ? QPalette::HighlightedText : QPalette::Text);
        return colorFromRef(r.selTextColor);
    }
    if (m_hotRow >= 0 && m_hotRow == r.item)
        return colorFromRef(r.hotTextColor, palette().color(QPalette::Link));
    return colorFromRef(r.textColor, palette().color(QPalette::Text));
}

QColor CTaskListCtrl::backColor(const CellRequest& r, bool plain) const
{
    if (plain || !r.selected)
        return colorFromRef(r.backColor, palette().color(QPalette::Base));
    const ColorRef chosen = hasFocus() ? r.selBackColor : r.selBackColorNoFocus;
    if (chosen != CLR_DEFAULT)
        return colorFromRef(chosen);
    if (r.hot)
        return palette().color(QPalette::Link);
    return palette().color(hasFocus() ? QPalette::Highlight : QPalette::Button);
}

QRect CTaskListCtrl::imageRect(const CellRequest& r, const QRect& cell, int* areaRight) const
{
    *areaRight = cell.left();
    if (!r.imageList || r.imageIndex < 0 || cell.width() <= 0)
        return {};
    const QPixmap image = r.imageList->image(r.imageIndex);
    if (image.isNull())
        return {};
    const QSize size = r.imageList->imageSize();
    const int l = cell.left(), t = cell.top(), rt = cell.left() + cell.width(),
              b = cell.top() + cell.height();
    const int x = r.centerImage ? (l + rt) / 2 - size.width() / 2 + 1 : l + 1;
    const int y = qMax(t, (t + b) / 2 - size.height() / 2);
    *areaRight = x + size.width();
    const int h = cell.height() + 1 >= size.height() ? size.height() : cell.height();
    return QRect(x, y, qMin(cell.width(), size.width()), h);
}

void CTaskListCtrl::drawCell(QPainter& p, int row, int column)
{
    const QRect cell = GetCellRect(row, column);
    if (cell.isEmpty())
        return;
    const CellRequest r = *GetCellRequest(row, column);
    p.save();
    p.setClipRect(cell);
    const bool rowFillPlain = !((m_exStyle & ExFullRowSelect) && !r.noHighlight);
    const QRect textArea = drawCellImage(p, r, cell);
    const Qt::Alignment align = GetColumnAlignment(column);
    if (r.barMax > 0)
        drawBarCell(p, r, textArea, align, rowFillPlain);
    else
        drawTextCell(p, r, textArea, align, rowFillPlain);
    p.restore();
}

QRect CTaskListCtrl::drawCellImage(QPainter& p, const CellRequest& r, const QRect& cell)
{
    int areaRight = cell.left();
    const QRect image = r.imageIndex != -1 ? imageRect(r, cell, &areaRight) : QRect();
    QRect textArea = cell;
    if (image.isNull())
        return textArea;
    textArea.setLeft(areaRight);
    const QColor back = backColor(r, r.plainImageBack || r.noHighlight);
    if (back.isValid())
        p.fillRect(ltrb(cell.left(), cell.top(), areaRight, cell.top() + cell.height()), back);
    p.drawPixmap(image, r.imageList->image(r.imageIndex), QRect(QPoint(0, 0), image.size()));
    const QColor blend = backColor(r, false);
    if (r.selected && !r.noHighlight && r.selImageStyle != 0 && blend.isValid()) {
        // Half the selection colour over the image's own pixels only.
        QPixmap tinted = r.imageList->image(r.imageIndex).copy(QRect(QPoint(0, 0), image.size()));
        QPainter tp(&tinted);
        tp.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        tp.setOpacity(0.5);
        tp.fillRect(tinted.rect(), blend);
        tp.end();
        p.drawPixmap(image.topLeft(), tinted);
    }
    return textArea;
}

void CTaskListCtrl::drawBarCell(QPainter& p, const CellRequest& r, const QRect& textArea,
                                Qt::Alignment align, bool rowFillPlain)
{
    const int l = textArea.left(), t = textArea.top();
    const int rt = textArea.left() + textArea.width(), b = textArea.top() + textArea.height();
    const QRect frame = ltrb(l + 1, t + 1, rt - 2, b - 1);
    const QRect interior = r.barEdge != 0 ? frame.adjusted(2, 2, -2, -2) : frame;
    const QColor rowBack = backColor(r, rowFillPlain);
    if (rowBack.isValid()) {
        // The text area around the frame: four strips.
        p.fillRect(ltrb(l, t, rt, frame.top()), rowBack);
        p.fillRect(ltrb(l, frame.top() + frame.height(), rt, b), rowBack);
        p.fillRect(ltrb(l, frame.top(), frame.left(), frame.top() + frame.height()), rowBack);
        p.fillRect(
            ltrb(frame.left() + frame.width(), frame.top(), rt, frame.top() + frame.height()),
            rowBack);
    }
    if (r.barEdge != 0 && frame.isValid())
        qDrawShadePanel(&p, frame, palette(), true, 2);
    const QColor plainBack = backColor(r, true);
    if (plainBack.isValid() && interior.isValid())
        p.fillRect(interior, plainBack);
    int filled = 0;
    if (interior.width() > 0) {
        filled = r.barPos >= r.barMax
                     ? interior.width()
                     : int(qint64(interior.width()) * qMax(0, r.barPos) / r.barMax);
    }
    const QRect fill(interior.left(), interior.top(), filled, interior.height());
    const QRect rest(interior.left() + filled, interior.top(), interior.width() - filled,
                     interior.height());
    const QColor barColor = colorFromRef(r.barColor, palette().color(QPalette::Highlight));
    if (r.barPos > 0 && barColor.isValid() && !fill.isEmpty())
        p.fillRect(fill, barColor);
    if (!r.text.isEmpty() && interior.width() > 0)
        drawBarText(p, r, interior, fill, rest, align);
}

void CTaskListCtrl::drawBarText(QPainter& p, const CellRequest& r, const QRect& interior,
                                const QRect& fill, const QRect& rest, Qt::Alignment align)
{
    const QStaticText& shown = shownText(r.text, interior.width());
    const QPointF at = textOrigin(shown, interior, align);
    const QColor over = colorFromRef(r.barTextColor, palette().color(QPalette::HighlightedText));
    const QColor other = textColor(r, true, false);
    const QRect cellClip = p.clipBoundingRect().toAlignedRect();
    if (over.isValid() && !fill.isEmpty()) {
        p.setClipRect(fill.intersected(cellClip));
        p.setPen(over);
        p.drawStaticText(at, shown);
    }
    if (other.isValid() && !rest.isEmpty()) {
        p.setClipRect(rest.intersected(cellClip));
        p.setPen(other);
        p.drawStaticText(at, shown);
    }
}

void CTaskListCtrl::drawTextCell(QPainter& p, const CellRequest& r, const QRect& textArea,
                                 Qt::Alignment align, bool rowFillPlain)
{
    const QColor rowBack = backColor(r, rowFillPlain);
    if (rowBack.isValid())
        p.fillRect(textArea, rowBack);
    if (r.text.isEmpty())
        return;
    const QRect area = textArea.adjusted(2, 0, 0, 0);
    const QStaticText& shown = shownText(r.text, qMax(0, area.width()));
    const QPointF at = textOrigin(shown, area, align);
    const QColor fore = textColor(r, r.noHighlight, false);
    const QColor textBack = backColor(r, r.noHighlight);
    if (textBack.isValid())
        p.fillRect(QRectF(at, shown.size()).toAlignedRect().intersected(area), textBack);
    if (fore.isValid()) {
        p.setPen(fore);
        p.drawStaticText(at, shown);
    }
}

const QStaticText& CTaskListCtrl::shownText(const QString& text, int width)
{
    QString key = text;
    key += QChar(0);
    key += QString::number(width);
    auto it = m_textCache.find(key);
    if (it != m_textCache.end())
        return *it;
    if (m_textCache.size() > 4096) // progress texts change all the time
        m_textCache.clear();
    const QFontMetrics fm = fontMetrics();
    // Plain text: names are shown as they are, "&" and "<" included.
    QStaticText shown(
        fm.horizontalAdvance(text) <= width ? text : fm.elidedText(text, Qt::ElideRight, width));
    shown.setTextFormat(Qt::PlainText);
    shown.setPerformanceHint(QStaticText::AggressiveCaching);
    shown.prepare(QTransform(), font());
    return *m_textCache.insert(key, shown);
}

QPointF CTaskListCtrl::textOrigin(const QStaticText& text, const QRect& area,
                                  Qt::Alignment alignment) const
{
    const qreal w = text.size().width();
    qreal x = area.left();
    if (alignment & Qt::AlignHCenter)
        x = area.left() + (area.width() - w) / 2;
    else if (alignment & Qt::AlignRight)
        x = area.left() + area.width() - w;
    const qreal y = area.top() + (area.height() - fontMetrics().height()) / 2;
    return QPointF(std::round(x), std::round(y));
}

void CTaskListCtrl::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    const QRect dirty = event->rect();
    p.fillRect(dirty, palette().color(QPalette::Base));
    if (m_count > 0 && GetColumnCount() > 0)
        drawRows(p, dirty);
    if (hasFocus()) {
        // Cells draw no focus rectangle; the list as a whole shows that the keys go to
        // it, also while it is empty.
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
    }
}

void CTaskListCtrl::drawRows(QPainter& p, const QRect& dirty)
{
    const int top = GetTopIndex();
    const int firstRow = qMax(top, top + dirty.top() / m_rowHeight);
    const int lastRow = qMin(m_count - 1, top + dirty.bottom() / m_rowHeight);
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = 0; column < GetColumnCount(); ++column) {
            const int x = m_header->sectionViewportPosition(column);
            if (x > dirty.right() || x + m_header->sectionSize(column) <= dirty.left())
                continue;
            drawCell(p, row, column);
        }
    }
}
