#include "widgets/ctasklistctrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr ColorRef kBack = rgbRef(255, 255, 255);
constexpr ColorRef kBar = rgbRef(0, 0, 255);
constexpr ColorRef kBarText = rgbRef(255, 255, 0);
constexpr ColorRef kText = rgbRef(255, 0, 0);
constexpr ColorRef kSelBack = rgbRef(0, 128, 0);
constexpr ColorRef kSelBackNoFocus = rgbRef(120, 20, 20);

QRgb rgb(ColorRef c)
{
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// A list with five columns whose parent answers every cell through `answer`.
struct ListFixture
{
    QWidget parent;
    CTaskListCtrl* list;
    std::function<void(CellRequest&)> answer = [](CellRequest&) {};

    explicit ListFixture(int rows = 10)
    {
        parent.resize(600, 300);
        list = new CTaskListCtrl(&parent);
        list->setGeometry(0, 0, 600, 300);
        const char* headings[] = {"Source", "Begin Time", "End Time", "Export", "Progress"};
        const int widths[] = {120, 70, 70, 100, 200};
        for (int c = 0; c < 5; ++c)
            list->InsertColumn(c, headings[c], c == 1 || c == 2 ? Qt::AlignHCenter : Qt::AlignLeft,
                               widths[c]);
        list->SetItemCount(rows);
        QObject::connect(
            list, &CTaskListCtrl::cellRequest, list, [this](CellRequest* r) { answer(*r); },
            Qt::DirectConnection);
    }
    QImage render()
    {
        return list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

// The bar's interior of a cell, as the list lays it out (sunken frame of 2 pixels).
QRect barInterior(const QRect& cell)
{
    const QRect frame(cell.left() + 1, cell.top() + 1, cell.width() - 3, cell.height() - 2);
    return frame.adjusted(2, 2, -2, -2);
}

} // namespace

TEST(TaskList, ProgressBarFillFollowsPosition)
{
    struct Case
    {
        int barPos, barMax;
        double filledShare; // of the interior width
    };
    const Case cases[] = {
        {0, 100, 0.0}, {-5, 100, 0.0}, {50, 100, 0.5}, {100, 100, 1.0}, {150, 100, 1.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.barPos);
        ListFixture f;
        f.answer = [&](CellRequest& r) {
            r.backColor = kBack;
            if (r.subItem == 4) {
                r.barMax = c.barMax;
                r.barPos = c.barPos;
                r.barColor = kBar;
            }
        };
        const QImage img = f.render();
        const QRect cell = f.list->GetCellRect(0, 4);
        const QRect in = barInterior(cell);
        const int filled = int(in.width() * c.filledShare);
        int barPixels = 0, backPixels = 0;
        for (int x = in.left(); x <= in.right(); ++x) {
            const QRgb px = img.pixel(x, in.center().y());
            if (px == rgb(kBar))
                ++barPixels;
            else if (px == rgb(kBack))
                ++backPixels;
        }
        EXPECT_EQ(barPixels, filled);
        EXPECT_EQ(backPixels, in.width() - filled);
        // The sunken frame is drawn around the interior, in neither colour.
        const QRgb edge = img.pixel(cell.left() + 1, in.center().y());
        EXPECT_NE(edge, rgb(kBar));
        EXPECT_NE(edge, rgb(kBack));
        // Outside the frame the cell has its background.
        EXPECT_EQ(img.pixel(cell.left(), in.center().y()), rgb(kBack));
    }
}

TEST(TaskList, TextOverHalfFilledBarHasTwoColours)
{
    ListFixture f;
    f.answer = [](CellRequest& r) {
        r.backColor = kBack;
        r.textColor = kText;
        if (r.subItem == 4) {
            r.text = QString(60, QChar(0x2588)); // full blocks: solid glyphs across the bar
            r.barMax = 100;
            r.barPos = 50;
            r.barColor = kBar;
            r.barTextColor = kBarText;
        }
    };
    const QImage img = f.render();
    const QRect in = barInterior(f.list->GetCellRect(0, 4));
    const int split = in.left() + in.width() / 2;
    auto count = [&](int from, int to, QRgb colour) {
        int n = 0;
        for (int y = in.top(); y <= in.bottom(); ++y)
            for (int x = from; x < to; ++x)
                n += img.pixel(x, y) == colour;
        return n;
    };
    EXPECT_GT(count(in.left(), split, rgb(kBarText)), 0);
    EXPECT_EQ(count(in.left(), split, rgb(kText)), 0);
    EXPECT_GT(count(split, in.right() + 1, rgb(kText)), 0);
    EXPECT_EQ(count(split, in.right() + 1, rgb(kBarText)), 0);
}

TEST(TaskList, SelectedRowBackgroundDependsOnFocus)
{
    ListFixture f;
    f.answer = [](CellRequest& r) {
        r.backColor = kBack;
        r.selBackColor = kSelBack;
        r.selBackColorNoFocus = kSelBackNoFocus;
    };
    f.list->SetFullRowSelect(true);
    f.list->SetItemState(1, CTaskListCtrl::ItemSelected | CTaskListCtrl::ItemFocused,
                         CTaskListCtrl::ItemSelected | CTaskListCtrl::ItemFocused);
    ASSERT_FALSE(f.list->hasFocus());
    QImage img = f.render();
    for (int column = 0; column < 5; ++column) {
        const QRect cell = f.list->GetCellRect(1, column);
        EXPECT_EQ(img.pixel(cell.center()), rgb(kSelBackNoFocus)) << column;
        EXPECT_EQ(img.pixel(f.list->GetCellRect(0, column).center()), rgb(kBack)) << column;
    }

    // Without full-row selection only column 0 shows the selection.
    f.list->SetFullRowSelect(false);
    img = f.render();
    EXPECT_EQ(img.pixel(f.list->GetCellRect(1, 3).center()), rgb(kBack));

    f.parent.show();
    f.parent.activateWindow();
    f.list->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.parent));
    ASSERT_TRUE(f.list->hasFocus());
    f.list->SetFullRowSelect(true);
    img = f.render();
    EXPECT_EQ(img.pixel(f.list->GetCellRect(1, 2).center()), rgb(kSelBack));
}

TEST(TaskList, ColumnZeroStaysInsideItsColumn)
{
    ListFixture f;
    f.answer = [](CellRequest& r) {
        r.backColor = r.subItem == 0 ? rgbRef(0, 0, 0) : kBack;
        r.textColor = rgbRef(0, 0, 0);
        if (r.subItem == 0)
            r.text = QString(200, QLatin1Char('W')) + "&W";
    };
    const QImage img = f.render();
    const QRect next = f.list->GetCellRect(0, 1);
    for (int x = next.left(); x <= next.right(); ++x)
        for (int y = next.top(); y <= next.bottom(); ++y)
            ASSERT_EQ(img.pixel(x, y), rgb(kBack)) << x << "," << y;
    EXPECT_EQ(f.list->GetCellRect(0, 0).right() + 1, next.left());
}

TEST(TaskList, InvalidateCellsClampsToVisibleRows)
{
    ListFixture f(200);
    const int perPage = f.list->GetCountPerPage();
    ASSERT_GT(perPage, 4);
    auto rows = [&](int first, int last, int column) {
        return f.list->GetCellRect(first, column).united(f.list->GetCellRect(last, column));
    };
    struct Case
    {
        int top, first, last, column;
        int expectFirst, expectLast; // -1: nothing invalidated
    };
    const Case cases[] = {
        {0, 3, 3, 4, 3, 3},                         // one visible row
        {0, perPage + 20, perPage + 30, 4, -1, -1}, // wholly below
        {0, -5, 2, 1, 0, 2},                        // partly above the top: clamped
        {0, 2, perPage + 50, 2, 2, perPage},        // partly below: clamped to the last visible
        {50, 10, 20, 4, -1, -1},                    // wholly above after scrolling
        {50, 45, 52, 3, 50, 52},
        {0, 3, 3, 7, -1, -1}, // no such column
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.top << " " << c.first << ".." << c.last);
        f.list->verticalScrollBar()->setValue(c.top);
        const QRect got = f.list->InvalidateCells(c.first, c.last, c.column, false);
        if (c.expectFirst < 0)
            EXPECT_TRUE(got.isEmpty());
        else
            EXPECT_EQ(got, rows(c.expectFirst, c.expectLast, c.column));
    }
    ListFixture empty(0);
    EXPECT_TRUE(empty.list->InvalidateCells(0, 0, 0, false).isEmpty());
}

TEST(TaskList, CellRequestIsResetAndFilledForEachQuery)
{
    ListFixture f;
    int queries = 0;
    f.answer = [&](CellRequest& r) {
        ++queries;
        EXPECT_TRUE(r.text.isEmpty());
        EXPECT_EQ(r.barMax, -1);
        EXPECT_EQ(r.textColor, CLR_DEFAULT);
        r.text = "filled";
        r.barMax = 100;
        r.textColor = kText;
    };
    f.list->SetItemState(2, CTaskListCtrl::ItemSelected, CTaskListCtrl::ItemSelected);
    f.list->SetHotItem(2);
    CellRequest* r = f.list->GetCellRequest(2, 0);
    EXPECT_EQ(r->item, 2);
    EXPECT_EQ(r->subItem, 0);
    EXPECT_TRUE(r->selected);
    EXPECT_TRUE(r->hot);
    EXPECT_EQ(r->text, "filled");
    r = f.list->GetCellRequest(2, 3);
    EXPECT_FALSE(r->selected); // column 3 without full-row selection
    f.list->SetFullRowSelect(true);
    EXPECT_TRUE(f.list->GetCellRequest(2, 3)->selected);
    EXPECT_FALSE(f.list->GetCellRequest(1, 3)->hot);
    // Without the always-show-selection style an unfocused list shows no selection.
    f.list->SetAlwaysShowSelection(false);
    EXPECT_FALSE(f.list->GetCellRequest(2, 0)->selected);
    EXPECT_EQ(queries, 5);
}

TEST(TaskList, ClicksSelectAndReportTheCell)
{
    ListFixture f(5);
    f.parent.show();
    QSignalSpy clicked(f.list, &CTaskListCtrl::clicked);
    QSignalSpy cell(f.list, &CTaskListCtrl::cellClicked);
    QSignalSpy doubled(f.list, &CTaskListCtrl::doubleClicked);
    QSignalSpy right(f.list, &CTaskListCtrl::rightClicked);
    QWidget* vp = f.list->viewport();

    QTest::mouseClick(vp, Qt::LeftButton, {}, f.list->GetCellRect(3, 2).center());
    EXPECT_EQ(clicked.count(), 1);
    ASSERT_EQ(cell.count(), 1);
    EXPECT_EQ(cell.at(0).at(0).toInt(), 3);
    EXPECT_EQ(cell.at(0).at(1).toInt(), 2);
    EXPECT_FALSE(cell.at(0).at(2).toBool());
    EXPECT_EQ(f.list->GetSelectionMark(), 3);
    EXPECT_EQ(f.list->GetItemState(3, CTaskListCtrl::ItemSelected),
              unsigned(CTaskListCtrl::ItemSelected));

    // Hovering neither makes a row hot (its text would change colour) nor selects.
    QTest::mouseMove(vp, f.list->GetCellRect(1, 1).center());
    EXPECT_EQ(f.list->GetHotItem(), -1);
    EXPECT_EQ(f.list->GetSelectionMark(), 3);
    EXPECT_EQ(f.list->GetSelectedItem(), 3);

    // Below the rows: clicked, no cell, the row deselected, the mark kept.
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(10, f.list->GetCellRect(4, 0).bottom() + 20));
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(cell.count(), 1);
    EXPECT_EQ(f.list->GetSelectedItem(), -1);
    EXPECT_EQ(f.list->GetSelectionMark(), 3);

    QTest::mouseClick(vp, Qt::RightButton, {}, f.list->GetCellRect(0, 0).center());
    EXPECT_EQ(right.count(), 1);
    EXPECT_EQ(f.list->GetSelectionMark(), 0);

    QTest::mouseDClick(vp, Qt::LeftButton, {}, f.list->GetCellRect(4, 0).center());
    EXPECT_EQ(doubled.count(), 1);
    EXPECT_EQ(f.list->GetSelectionMark(), 4);
}

TEST(TaskList, HeaderRightClickNamesTheColumn)
{
    ListFixture f;
    f.parent.show();
    QSignalSpy spy(f.list, &CTaskListCtrl::headerRightClicked);
    QHeaderView* header = f.list->header();
    const QPoint at(header->sectionViewportPosition(3) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::RightButton, {}, at);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 3);
    EXPECT_EQ(spy.at(0).at(1).toPoint(), header->viewport()->mapToGlobal(at));
    QTest::mouseClick(header->viewport(), Qt::RightButton, {}, QPoint(590, header->height() / 2));
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), -1);
}

// The parent filters the list's key presses and sees them before the list does.
class KeySwallower : public QObject
{
public:
    QList<int> seen;
    bool swallow = true;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        seen << static_cast<QKeyEvent*>(e)->key();
        return swallow;
    }
};

TEST(TaskList, ParentSeesNavigationKeysFirst)
{
    ListFixture f(20);
    KeySwallower filter;
    f.list->installEventFilter(&filter);
    f.list->SetItemState(5, CTaskListCtrl::ItemSelected | CTaskListCtrl::ItemFocused,
                         CTaskListCtrl::ItemSelected | CTaskListCtrl::ItemFocused);
    f.list->SetSelectionMark(5);
    const Qt::Key keys[] = {Qt::Key_Up,       Qt::Key_Down, Qt::Key_PageUp,
                            Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};
    for (Qt::Key key : keys)
        QTest::keyClick(f.list, key);
    EXPECT_EQ(filter.seen.size(), 6);
    EXPECT_EQ(f.list->GetSelectionMark(), 5);

    filter.swallow = false;
    QTest::keyClick(f.list, Qt::Key_Down);
    EXPECT_EQ(f.list->GetSelectionMark(), 6);
    QTest::keyClick(f.list, Qt::Key_End);
    EXPECT_EQ(f.list->GetSelectedItem(), 19);
    QTest::keyClick(f.list, Qt::Key_Home);
    EXPECT_EQ(f.list->GetFocusedItem(), 0);
}

TEST(TaskList, ItemCountAndVisibility)
{
    ListFixture f(100);
    f.list->SetItemState(50, CTaskListCtrl::ItemSelected, CTaskListCtrl::ItemSelected);
    f.list->SetSelectionMark(50);
    EXPECT_TRUE(f.list->EnsureVisible(50, false));
    EXPECT_LE(f.list->GetTopIndex(), 50);
    EXPECT_GT(f.list->GetTopIndex() + f.list->GetCountPerPage(), 50);
    EXPECT_TRUE(f.list->EnsureVisible(0, true));
    EXPECT_EQ(f.list->GetTopIndex(), 0);
    EXPECT_FALSE(f.list->EnsureVisible(100, true));

    f.list->SetItemCount(40); // the selected row and the mark are gone
    EXPECT_EQ(f.list->GetSelectedItem(), -1);
    EXPECT_EQ(f.list->GetSelectionMark(), -1);
    EXPECT_TRUE(f.list->GetCellRect(40, 0).isEmpty());
    EXPECT_TRUE(f.list->GetCellRect(0, 5).isEmpty());
    EXPECT_TRUE(f.list->DeleteAllItems());
    EXPECT_EQ(f.list->GetItemCount(), 0);
}
