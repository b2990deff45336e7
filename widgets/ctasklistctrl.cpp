#include "widgets/ctasklistctrl.h"

#include "widgets/cellimagelist.h"
#include "widgets/colorref.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

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
