#include "ctasklistctrl.h"

#include "cellimagelist.h"
#include "colorref.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <qdrawutil.h>

#include <cmath>

// The header needs a model; it holds the headings and their alignments, and no rows.
class TaskListHeaderModel : public QAbstractTableModel
{
public:
    struct Column
    {
        QString heading;
        Qt::Alignment alignment;
    };
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& = QModelIndex()) const override { return 0; }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(columns.size());
    }
    QVariant data(const QModelIndex&, int) const override { return {}; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= columns.size())
            return {};
        if (role == Qt::DisplayRole)
            return columns.at(section).heading;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(columns.at(section).alignment | Qt::AlignVCenter);
        return {};
    }
    void insert(int index, const Column& column)
    {
        beginInsertColumns(QModelIndex(), index, index);
        columns.insert(index, column);
        endInsertColumns();
    }

    QVector<Column> columns;
};

namespace {

// A rectangle from exclusive right and bottom edges, as the cell geometry is stated.
QRect ltrb(int l, int t, int r, int b)
{
    return QRect(l, t, r - l, b - t);
}

} // namespace

CTaskListCtrl::CTaskListCtrl(QWidget* parent) : QAbstractScrollArea(parent)
{
    m_headerModel = new TaskListHeaderModel(this);
    m_header = new QHeaderView(Qt::Horizontal, this);
    m_header->setModel(m_headerModel);
    m_header->setSectionsClickable(false);
    m_header->setSectionsMovable(false);
    m_header->setStretchLastSection(false);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_header->viewport()->installEventFilter(this);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateScrollBars();
        viewport()->update();
    });

    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(20);
    m_rowHeight = qMax(17, fontMetrics().height() + 4);
    updateHeaderGeometry();
}

CTaskListCtrl::~CTaskListCtrl() = default;

int CTaskListCtrl::InsertColumn(int index, const QString& heading, Qt::Alignment alignment,
                                int width)
{
    if (index < 0)
        return -1;
    index = qMin(index, GetColumnCount());
    m_headerModel->insert(index, {heading, alignment & Qt::AlignHorizontal_Mask});
    m_header->resizeSection(index, qMax(0, width));
    updateHeaderGeometry();
    updateScrollBars();
    viewport()->update();
    return index;
}

int CTaskListCtrl::GetColumnCount() const
{
    return int(m_headerModel->columns.size());
}

int CTaskListCtrl::GetColumnWidth(int column) const
{
    return column >= 0 && column < GetColumnCount() ? m_header->sectionSize(column) : 0;
}

void CTaskListCtrl::SetColumnWidth(int column, int width)
{
    if (column >= 0 && column < GetColumnCount())
        m_header->resizeSection(column, qMax(0, width));
}

Qt::Alignment CTaskListCtrl::GetColumnAlignment(int column) const
{
    return column >= 0 && column < GetColumnCount() ? m_headerModel->columns.at(column).alignment
                                                    : Qt::Alignment(Qt::AlignLeft);
}

void CTaskListCtrl::SetItemCount(int count)
{
    m_count = qMax(0, count);
    if (m_selectedRow >= m_count)
        m_selectedRow = -1;
    if (m_focusedRow >= m_count)
        m_focusedRow = -1;
    if (m_selectionMark >= m_count)
        m_selectionMark = -1;
    if (m_hotRow >= m_count)
        m_hotRow = -1;
    updateScrollBars();
    viewport()->update();
}

bool CTaskListCtrl::DeleteAllItems()
{
    m_selectedRow = m_focusedRow = m_selectionMark = m_hotRow = -1;
    SetItemCount(0);
    return true;
}

int CTaskListCtrl::SetSelectionMark(int row)
{
    const int old = m_selectionMark;
    m_selectionMark = row >= 0 && row < m_count ? row : -1;
    return old;
}

bool CTaskListCtrl::SetItemState(int row, unsigned state, unsigned mask)
{
    if (row < -1 || row >= m_count)
        return false;
    const int oldSelected = m_selectedRow;
    const int oldFocused = m_focusedRow;
    if (mask & ItemSelected) {
        if (state & ItemSelected)
            m_selectedRow = row == -1 ? (m_count == 1 ? 0 : m_selectedRow) : row;
        else if (row == -1 || row == m_selectedRow)
            m_selectedRow = -1;
    }
    if (mask & ItemFocused) {
        if (state & ItemFocused) {
            if (row != -1)
                m_focusedRow = row;
        } else if (row == -1 || row == m_focusedRow) {
            m_focusedRow = -1;
        }
    }
    for (int r : {oldSelected, m_selectedRow, oldFocused, m_focusedRow})
        invalidateRow(r);
    return true;
}

unsigned CTaskListCtrl::GetItemState(int row, unsigned mask) const
{
    unsigned state = 0;
    if (row >= 0 && row == m_selectedRow)
        state |= ItemSelected;
    if (row >= 0 && row == m_focusedRow)
        state |= ItemFocused;
    return state & mask;
}

int CTaskListCtrl::SetHotItem(int row)
{
    const int old = m_hotRow;
    m_hotRow = row >= 0 && row < m_count ? row : -1;
    if (old != m_hotRow) {
        invalidateRow(old);
        invalidateRow(m_hotRow);
    }
    return old;
}

int CTaskListCtrl::GetTopIndex() const
{
    return verticalScrollBar()->value();
}

int CTaskListCtrl::GetCountPerPage() const
{
    return qMax(0, viewport()->height() / m_rowHeight);
}

bool CTaskListCtrl::EnsureVisible(int row, bool partialOk)
{
    if (row < 0 || row >= m_count)
        return false;
    const int top = GetTopIndex();
    const int perPage = qMax(1, GetCountPerPage());
    const bool partlyShown =
        viewport()->height() % m_rowHeight != 0 && row == top + GetCountPerPage();
    if (row < top)
        verticalScrollBar()->setValue(row);
    else if (row >= top + perPage && !(partialOk && partlyShown))
        verticalScrollBar()->setValue(row - perPage + 1);
    return true;
}

bool CTaskListCtrl::RedrawItems(int first, int last)
{
    if (m_count == 0)
        return false;
    const QRect a = GetCellRect(qBound(0, first, m_count - 1), 0);
    const QRect b = GetCellRect(qBound(0, last, m_count - 1), 0);
    viewport()->update(QRect(0, qMin(a.top(), b.top()), viewport()->width(),
                             qMax(a.bottom(), b.bottom()) - qMin(a.top(), b.top()) + 1));
    return true;
}

QRect CTaskListCtrl::InvalidateCells(int first, int last, int column, bool /*erase*/)
{
    if (m_count == 0)
        return {};
    const int top = GetTopIndex();
    const int bottom = qMin(top + GetCountPerPage(), m_count - 1);
    if ((first < top && last < top) || (first > bottom && last > bottom))
        return {};
    const QRect area = GetCellRect(qBound(top, first, bottom), column)
                           .united(GetCellRect(qBound(top, last, bottom), column));
    if (!area.isEmpty())
        viewport()->update(area);
    return area;
}

void CTaskListCtrl::SetExtendedStyle(unsigned mask, unsigned style)
{
    const unsigned changed = (m_exStyle ^ style) & mask;
    m_exStyle = (m_exStyle & ~mask) | (style & mask);
    if (changed)
        viewport()->update();
}

void CTaskListCtrl::SetAlwaysShowSelection(bool on)
{
    m_alwaysShowSelection = on;
    invalidateRow(m_selectedRow);
}

void CTaskListCtrl::SetImageList(const CellImageList* images)
{
    m_images = images;
    viewport()->update();
}

QRect CTaskListCtrl::GetCellRect(int row, int column) const
{
    if (row < 0 || row >= m_count || column < 0 || column >= GetColumnCount())
        return {};
    // Each column is its own header section, so column 0 ends where column 1 begins.
    const int x = m_header->sectionViewportPosition(column);
    const int y = (row - GetTopIndex()) * m_rowHeight;
    return QRect(x, y, m_header->sectionSize(column), m_rowHeight);
}

int CTaskListCtrl::HitTest(const QPoint& pos, int* column, bool* onImage)
{
    if (column)
        *column = -1;
    if (onImage)
        *onImage = false;
    if (pos.y() < 0 || pos.x() < 0)
        return -1;
    const int row = GetTopIndex() + pos.y() / m_rowHeight;
    if (row >= m_count)
        return -1;
    const int col = m_header->logicalIndexAt(pos.x());
    if (column)
        *column = col;
    if (onImage && col >= 0) {
        const QRect cell = GetCellRect(row, col);
        const CellRequest request = *GetCellRequest(row, col);
        int areaRight = cell.left();
        *onImage = imageRect(request, cell, &areaRight).contains(pos);
    }
    return row;
}

CellRequest* CTaskListCtrl::GetCellRequest(int item, int subItem)
{
    m_request = CellRequest{};
    m_request.item = item;
    m_request.subItem = subItem;
    m_request.selected = isCellSelected(item, subItem);
    m_request.hot = m_hotRow >= 0 && m_hotRow == item;
    m_request.imageList = m_images;
    emit cellRequest(&m_request);
    return &m_request;
}

bool CTaskListCtrl::isCellSelected(int row, int column) const
{
    return row >= 0 && row == m_selectedRow && (column == 0 || (m_exStyle & ExFullRowSelect)) &&
           (hasFocus() || m_alwaysShowSelection);
}

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

    int areaRight = cell.left();
    const QRect image = r.imageIndex != -1 ? imageRect(r, cell, &areaRight) : QRect();
    QRect textArea = cell;
    if (!image.isNull()) {
        textArea.setLeft(areaRight);
        const QColor back = backColor(r, r.plainImageBack || r.noHighlight);
        if (back.isValid())
            p.fillRect(ltrb(cell.left(), cell.top(), areaRight, cell.top() + cell.height()), back);
        p.drawPixmap(image, r.imageList->image(r.imageIndex), QRect(QPoint(0, 0), image.size()));
        const QColor blend = backColor(r, false);
        if (r.selected && !r.noHighlight && r.selImageStyle != 0 && blend.isValid()) {
            // Half the selection colour over the image's own pixels only.
            QPixmap tinted =
                r.imageList->image(r.imageIndex).copy(QRect(QPoint(0, 0), image.size()));
            QPainter tp(&tinted);
            tp.setCompositionMode(QPainter::CompositionMode_SourceAtop);
            tp.setOpacity(0.5);
            tp.fillRect(tinted.rect(), blend);
            tp.end();
            p.drawPixmap(image.topLeft(), tinted);
        }
    }

    const QString& text = r.text;
    const Qt::Alignment align = GetColumnAlignment(column);

    if (r.barMax > 0) {
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
        if (!text.isEmpty() && interior.width() > 0) {
            const QStaticText& shown = shownText(text, interior.width());
            const QPointF at = textOrigin(shown, interior, align);
            const QColor over =
                colorFromRef(r.barTextColor, palette().color(QPalette::HighlightedText));
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
    } else {
        const QColor rowBack = backColor(r, rowFillPlain);
        if (rowBack.isValid())
            p.fillRect(textArea, rowBack);
        if (!text.isEmpty()) {
            const QRect area = textArea.adjusted(2, 0, 0, 0);
            const QStaticText& shown = shownText(text, qMax(0, area.width()));
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
    }
    p.restore();
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

void CTaskListCtrl::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateHeaderGeometry();
    updateScrollBars();
}

void CTaskListCtrl::scrollContentsBy(int dx, int dy)
{
    m_header->setOffset(horizontalScrollBar()->value());
    // Scrolled pixels would carry the focus ring along with the rows.
    if (hasFocus())
        viewport()->update();
    else
        viewport()->scroll(dx, dy * m_rowHeight);
}

void CTaskListCtrl::updateHeaderGeometry()
{
    const int h = m_header->sizeHint().height();
    setViewportMargins(0, h, 0, 0);
    const QRect vg = viewport()->geometry();
    m_header->setGeometry(vg.left(), vg.top() - h, vg.width(), h);
}

void CTaskListCtrl::updateScrollBars()
{
    const int perPage = GetCountPerPage();
    verticalScrollBar()->setPageStep(qMax(1, perPage));
    verticalScrollBar()->setRange(0, qMax(0, m_count - perPage));
    const int total = m_header->length();
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, qMax(0, total - viewport()->width()));
    m_header->setOffset(horizontalScrollBar()->value());
}

void CTaskListCtrl::invalidateRow(int row)
{
    if (row < 0 || row >= m_count)
        return;
    const int y = (row - GetTopIndex()) * m_rowHeight;
    if (y + m_rowHeight > 0 && y < viewport()->height())
        viewport()->update(0, y, viewport()->width(), m_rowHeight);
}

void CTaskListCtrl::moveSelectionTo(int row)
{
    if (row < 0 || row >= m_count)
        return;
    SetItemState(row, ItemSelected | ItemFocused, ItemSelected | ItemFocused);
    m_selectionMark = row;
    EnsureVisible(row, false);
}

void CTaskListCtrl::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    int column = -1;
    bool onImage = false;
    const int row = HitTest(event->position().toPoint(), &column, &onImage);
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)
        return;
    if (row >= 0)
        moveSelectionTo(row);
    else
        SetItemState(-1, 0, ItemSelected);
    if (event->button() == Qt::LeftButton) {
        emit clicked();
        if (row >= 0 && column >= 0)
            emit cellClicked(row, column, onImage);
    } else {
        emit rightClicked();
    }
}

void CTaskListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int row = HitTest(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        if (row >= 0)
            moveSelectionTo(row);
        emit doubleClicked();
    } else if (event->button() == Qt::RightButton) {
        if (row >= 0)
            moveSelectionTo(row);
        emit rightDoubleClicked();
    }
}

void CTaskListCtrl::mouseMoveEvent(QMouseEvent* event)
{
    // Mouse movement is not the list's business: hovering neither selects a row nor makes
    // it the hot row, whose text would change colour.
    QAbstractScrollArea::mouseMoveEvent(event);
}

void CTaskListCtrl::leaveEvent(QEvent* event)
{
    SetHotItem(-1);
    QAbstractScrollArea::leaveEvent(event);
}

void CTaskListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (m_count == 0 || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int current = m_focusedRow >= 0 ? m_focusedRow : m_selectionMark;
    const int page = qMax(1, GetCountPerPage() - 1);
    int target = -1;
    switch (event->key()) {
    case Qt::Key_Up:
        target = current < 0 ? 0 : qMax(0, current - 1);
        break;
    case Qt::Key_Down:
        target = current < 0 ? 0 : qMin(m_count - 1, current + 1);
        break;
    case Qt::Key_PageUp:
        target = qMax(0, current - page);
        break;
    case Qt::Key_PageDown:
        target = qMin(m_count - 1, qMax(0, current) + page);
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = m_count - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    moveSelectionTo(target);
    event->accept();
}

void CTaskListCtrl::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update(); // the selected row's colours and the focus ring
}

void CTaskListCtrl::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_textCache.clear();
        m_rowHeight = qMax(17, fontMetrics().height() + 4);
        updateScrollBars();
        viewport()->update();
    }
}

void CTaskListCtrl::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

bool CTaskListCtrl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_header->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            const QPoint pos = mouse->position().toPoint();
            emit headerRightClicked(m_header->logicalIndexAt(pos),
                                    m_header->viewport()->mapToGlobal(pos));
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

bool CTaskListCtrl::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        SetHotItem(-1);
    return QAbstractScrollArea::viewportEvent(event);
}
