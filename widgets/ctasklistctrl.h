#pragma once

#include "widgets/cellrequest.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QHash>
#include <QStaticText>
#include <QVector>

class QHeaderView;
class CellImageList;
class TaskListHeaderModel;

// A virtual report list: it stores only the number of rows and paints every cell
// itself from what its parent answers to cellRequest. The parent connects cellRequest
// with Qt::DirectConnection and fills the record before the signal returns.
//
// Keys: the list handles Up/Down/PageUp/PageDown/Home/End in keyPressEvent, after any
// event filter installed on it, so a parent that filters the list's key presses sees
// them first and may swallow them.
class CTaskListCtrl : public QAbstractScrollArea
{
    Q_OBJECT

public:
    // Row state bits for SetItemState / GetItemState.
    enum ItemState : unsigned
    {
        ItemFocused = 0x1,
        ItemSelected = 0x2,
    };
    // Extended style bits for SetExtendedStyle.
    enum ExtendedStyle : unsigned
    {
        ExGridLines = 0x1,
        ExCheckBoxes = 0x4,
        ExFullRowSelect = 0x20,
    };

    explicit CTaskListCtrl(QWidget* parent = nullptr);
    ~CTaskListCtrl() override;

    // Columns. InsertColumn returns the new column's index, or -1.
    int InsertColumn(int index, const QString& heading, Qt::Alignment alignment = Qt::AlignLeft,
                     int width = 100);
    int GetColumnCount() const;
    int GetColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);
    Qt::Alignment GetColumnAlignment(int column) const;
    QHeaderView* header() const { return m_header; }

    // Rows: only the count is stored. Selection and focus beyond a new count are dropped.
    void SetItemCount(int count);
    int GetItemCount() const { return m_count; }
    bool DeleteAllItems();

    int GetSelectionMark() const { return m_selectionMark; }
    int SetSelectionMark(int row); // returns the previous mark
    // row -1 applies the change to every row. Single selection: selecting a row
    // deselects the others; focusing a row takes the focus from the others.
    bool SetItemState(int row, unsigned state, unsigned mask);
    unsigned GetItemState(int row, unsigned mask) const;
    int GetSelectedItem() const { return m_selectedRow; } // -1 when none
    int GetFocusedItem() const { return m_focusedRow; }

    int GetHotItem() const { return m_hotRow; }
    int SetHotItem(int row); // returns the previous hot row

    bool EnsureVisible(int row, bool partialOk);
    int GetTopIndex() const;
    int GetCountPerPage() const; // rows that fit wholly into the viewport
    int rowHeight() const { return m_rowHeight; }

    bool RedrawItems(int first, int last);
    // Repaints one column over rows first..last, clamped to the visible rows; returns
    // the viewport rectangle that was invalidated (empty when nothing was). `erase`
    // is accepted for callers' sake: every cell is painted whole anyway.
    QRect InvalidateCells(int first, int last, int column, bool erase);

    void SetExtendedStyle(unsigned mask, unsigned style);
    unsigned GetExtendedStyle() const { return m_exStyle; }
    void SetFullRowSelect(bool on)
    {
        SetExtendedStyle(ExFullRowSelect, on ? unsigned(ExFullRowSelect) : 0u);
    }
    // The selection stays visible while the list has no focus (on by default).
    void SetAlwaysShowSelection(bool on);

    void SetImageList(const CellImageList* images); // not owned
    const CellImageList* GetImageList() const { return m_images; }

    // A cell's rectangle in viewport coordinates; empty for a row or column out of range.
    QRect GetCellRect(int row, int column) const;
    // Row under a viewport point (-1 when none); column and whether it lies on the
    // cell's drawn image.
    int HitTest(const QPoint& viewportPos, int* column = nullptr, bool* onImage = nullptr);

    // Resets the record, fills item/subItem/selected/hot/imageList, emits
    // cellRequest and returns the record, valid until the next query.
    virtual CellRequest* GetCellRequest(int item, int subItem);

signals:
    void cellRequest(CellRequest* request);
    void clicked();
    void rightClicked();
    void doubleClicked();
    void rightDoubleClicked();
    void cellClicked(int item, int subItem, bool onImage);
    void headerRightClicked(int column, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void drawRows(QPainter& painter, const QRect& dirty);
    void drawCell(QPainter& painter, int row, int column);
    // The cell's image, if it has one; returns the area left for the text.
    QRect drawCellImage(QPainter& painter, const CellRequest& r, const QRect& cell);
    // A progress bar in a sunken frame, its text in two colours over the filled part and
    // the rest.
    void drawBarCell(QPainter& painter, const CellRequest& r, const QRect& textArea,
                     Qt::Alignment alignment, bool rowFillPlain);
    void drawBarText(QPainter& painter, const CellRequest& r, const QRect& interior,
                     const QRect& fill, const QRect& rest, Qt::Alignment alignment);
    void drawTextCell(QPainter& painter, const CellRequest& r, const QRect& textArea,
                      Qt::Alignment alignment, bool rowFillPlain);
    // The text as shown in `width` pixels (with an ellipsis when too long), laid out
    // once and kept: the same texts come back on every repaint.
    const QStaticText& shownText(const QString& text, int width);
    QPointF textOrigin(const QStaticText& text, const QRect& area, Qt::Alignment alignment) const;
    void updateScrollBars();
    void updateHeaderGeometry();
    void moveSelectionTo(int row);
    void invalidateRow(int row);
    bool isCellSelected(int row, int column) const;
    QColor textColor(const CellRequest& r, bool suppress, bool force) const;
    QColor backColor(const CellRequest& r, bool plain) const;
    QRect imageRect(const CellRequest& r, const QRect& cell, int* areaRight) const;

    QHeaderView* m_header = nullptr;
    TaskListHeaderModel* m_headerModel = nullptr;
    CellRequest m_request;
    const CellImageList* m_images = nullptr;
    int m_count = 0;
    int m_selectedRow = -1;
    int m_focusedRow = -1;
    int m_selectionMark = -1;
    int m_hotRow = -1;
    int m_rowHeight = 17;
    unsigned m_exStyle = 0;
    bool m_alwaysShowSelection = true;
    QHash<QString, QStaticText> m_textCache;
};
