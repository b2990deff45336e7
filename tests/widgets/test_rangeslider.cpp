#include "widgets/crangeslider.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

using Notes = std::vector<std::pair<int, int>>;

// A slider 222 pixels wide: a track of 196 pixels. With the range 0..196 one pixel
// is one unit of value.
struct SliderFixture
{
    QWidget parent;
    CRangeSlider* slider;
    Notes notes;

    explicit SliderFixture(int width = 222)
    {
        parent.resize(300, 40);
        slider = new CRangeSlider(&parent);
        slider->setGeometry(0, 0, width, 18);
        QObject::connect(slider, &CRangeSlider::rangeChanged,
                         [this](int which, int released) { notes.emplace_back(which, released); });
    }
    Notes take() { return std::exchange(notes, {}); }
    std::pair<double, double> sel() const { return slider->GetSelection(); }
    void press(QPoint at) { QTest::mousePress(slider, Qt::LeftButton, {}, at); }
    void move(QPoint at)
    {
        QMouseEvent e(QEvent::MouseMove, at, slider->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                      {});
        QCoreApplication::sendEvent(slider, &e);
    }
    void release(QPoint at) { QTest::mouseRelease(slider, Qt::LeftButton, {}, at); }
};

} // namespace

TEST(RangeSlider, SetRangeAndSetSelectionClamp)
{
    struct Case
    {
        const char* name;
        double min, max;    // SetRange
        double selA, selB;  // SetSelection
        double left, right; // afterwards
        Notes notes;        // sent by SetSelection
    };
    const Case cases[] = {
        {"inside, order kept", 0, 10, 5, 3, 5, 3, {}},
        {"left below min", 0, 10, -1, 4, 0, 4, {{0, 0}}},
        {"both below min", 0, 10, -5, -3, 0, 0, {{0, 0}, {1, 0}}},
        {"right above max", 0, 10, 2, 12, 2, 10, {{1, 0}}},
        {"both above max", 0, 10, 12, 11, 10, 10, {{1, 0}, {0, 0}}},
        {"swapped range", 10, 0, 1, 9, 1, 9, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SliderFixture f;
        f.slider->SetRange(c.min, c.max);
        EXPECT_EQ(f.slider->GetMin(), 0.0);
        EXPECT_EQ(f.slider->GetMax(), 10.0);
        f.take();
        f.slider->SetSelection(c.selA, c.selB);
        EXPECT_EQ(f.sel(), std::make_pair(c.left, c.right));
        EXPECT_EQ(f.take(), c.notes);
    }

    SliderFixture f;
    f.slider->SetRange(0, 10);
    f.slider->SetSelection(0, 5);
    f.take();
    f.slider->SetRange(0, 2);
    EXPECT_EQ(f.sel(), std::make_pair(0.0, 2.0));
    EXPECT_EQ(f.take(), (Notes{{1, 0}}));
    double l = -1, r = -1;
    f.slider->GetSelection(l, r);
    EXPECT_EQ(l, 0.0);
    EXPECT_EQ(r, 2.0);
}

TEST(RangeSlider, MouseDragsNotifyByPart)
{
    SliderFixture f;
    f.slider->SetRange(0, 196);
    f.slider->SetSelection(50, 150);
    f.take();
    const QRect lt = f.slider->leftThumbRect();  // x 50..62
    const QRect rt = f.slider->rightThumbRect(); // x 163..175
    ASSERT_EQ(lt.left(), 50);
    ASSERT_EQ(rt.left(), 163);

    // Left thumb, grabbed at its centre: the value follows the pointer pixel for pixel.
    const QPoint lc((lt.left() + lt.left() + 13) / 2, 9);
    f.press(lc);
    EXPECT_TRUE(f.slider->IsDragging());
    f.move(lc + QPoint(10, 0));
    EXPECT_EQ(f.sel(), std::make_pair(60.0, 150.0));
    f.move(lc + QPoint(500, 0)); // against the right edge: stops at right
    EXPECT_EQ(f.sel().first, 150.0);
    f.move(lc - QPoint(500, 0)); // and at min
    EXPECT_EQ(f.sel().first, 0.0);
    f.release(lc);
    EXPECT_EQ(f.take(), (Notes{{0, 0}, {0, 0}, {0, 0}, {0, 1}}));
    EXPECT_FALSE(f.slider->IsDragging());

    // Right thumb: (1, 0) while right changes, (0, 0) when a move leaves it.
    f.slider->SetSelection(50, 150);
    f.take();
    const QPoint rc((rt.left() + rt.left() + 13) / 2, 9);
    f.press(rc);
    f.move(rc + QPoint(20, 0));
    EXPECT_EQ(f.sel().second, 170.0);
    f.move(rc + QPoint(400, 0));
    EXPECT_EQ(f.sel().second, 196.0);
    f.move(rc + QPoint(401, 0));
    f.release(rc);
    EXPECT_EQ(f.take(), (Notes{{1, 0}, {1, 0}, {0, 0}, {1, 1}}));

    // The bar moves both edges.
    f.slider->SetSelection(50, 150);
    f.take();
    const QPoint bc(110, 9);
    f.press(bc);
    f.move(bc + QPoint(-10, 0));
    EXPECT_EQ(f.sel(), std::make_pair(40.0, 140.0));
    f.release(bc);
    EXPECT_EQ(f.take(), (Notes{{2, 0}, {2, 1}}));
}

TEST(RangeSlider, DraggingTheBarAgainstEitherEndKeepsTheWidth)
{
    for (int direction : {-1, 1}) {
        SliderFixture f;
        f.slider->SetRange(0, 196);
        f.slider->SetSelection(70, 110);
        const QPoint bc(f.slider->leftThumbRect().right() + 10, 9);
        f.press(bc);
        f.move(bc + QPoint(direction * 400, 0));
        const auto [l, r] = f.sel();
        EXPECT_DOUBLE_EQ(r - l, 40.0);
        EXPECT_EQ(direction < 0 ? l : r, direction < 0 ? 0.0 : 196.0);
        f.release(bc);
    }
}

TEST(RangeSlider, ClickOutsideThumbsAndBarOnlyTakesTheFocus)
{
    SliderFixture f;
    f.parent.show();
    f.slider->SetRange(0, 196);
    f.slider->SetSelection(100, 120);
    f.take();
    f.press(QPoint(20, 9));
    EXPECT_FALSE(f.slider->IsDragging());
    f.move(QPoint(40, 9));
    f.release(QPoint(40, 9));
    EXPECT_TRUE(f.take().empty());
    EXPECT_EQ(f.sel(), std::make_pair(100.0, 120.0));
    EXPECT_TRUE(f.slider->hasFocus() || !QGuiApplication::focusWindow());
}

TEST(RangeSlider, ArrowKeys)
{
    struct Case
    {
        const char* name;
        double left, right;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        double newLeft, newRight;
        Notes notes;
    };
    const Case cases[] = {
        {"right moves both", 50, 100, Qt::Key_Right, {}, 51, 101, {{2, 0}}},
        {"left moves both", 50, 100, Qt::Key_Left, {}, 49, 99, {{2, 0}}},
        {"shift right moves the right edge",
         50,
         100,
         Qt::Key_Right,
         Qt::ShiftModifier,
         50,
         101,
         {{1, 0}}},
        {"shift left moves the right edge",
         50,
         100,
         Qt::Key_Left,
         Qt::ShiftModifier,
         50,
         99,
         {{1, 0}}},
        {"shift left keeps the left edge between pixels",
         12.25,
         100,
         Qt::Key_Left,
         Qt::ShiftModifier,
         12.25,
         99,
         {{1, 0}}},
        {"shift left stops at the left edge",
         50,
         50,
         Qt::Key_Left,
         Qt::ShiftModifier,
         50,
         50,
         {{1, 0}}},
        {"shift left stops at a left edge between pixels",
         50.25,
         50.75,
         Qt::Key_Left,
         Qt::ShiftModifier,
         50.25,
         50.25,
         {{1, 0}}},
        {"shift right at the track end",
         50,
         196,
         Qt::Key_Right,
         Qt::ShiftModifier,
         50,
         196,
         {{1, 0}}},
        {"right at the track end moves the left edge",
         100,
         196,
         Qt::Key_Right,
         {},
         101,
         196,
         {{0, 0}}},
        {"left at the track start moves the right edge", 0, 10, Qt::Key_Left, {}, 0, 9, {{1, 0}}},
        {"right with both edges at the end", 196, 196, Qt::Key_Right, {}, 196, 196, {{0, 0}}},
        {"left with both edges at the start", 0, 0, Qt::Key_Left, {}, 0, 0, {{1, 0}}},
        {"ctrl is ignored", 50, 100, Qt::Key_Right, Qt::ControlModifier, 50, 100, {}},
        {"other keys are ignored", 50, 100, Qt::Key_Up, {}, 50, 100, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SliderFixture f;
        f.slider->SetRange(0, 196);
        f.slider->SetSelection(c.left, c.right);
        f.take();
        QTest::keyClick(f.slider, c.key, c.mods);
        EXPECT_EQ(f.sel(), std::make_pair(c.newLeft, c.newRight));
        EXPECT_EQ(f.take(), c.notes);
    }
}

// A zero-length range or a control narrower than its two thumbs has no value per
// pixel: painting works, the thumbs rest at the start, mouse and keys change nothing.
TEST(RangeSlider, EmptyRangeOrTrackIsHandledSoundly)
{
    struct Case
    {
        const char* name;
        int width;
        double min, max;
    };
    const Case cases[] = {
        {"min = max", 222, 5, 5}, {"track of 0 pixels", 26, 0, 10}, {"narrower", 10, 0, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SliderFixture f(c.width);
        f.slider->SetRange(c.min, c.max);
        f.slider->SetSelection(c.min, c.max);
        const auto before = f.sel();
        f.take();
        EXPECT_FALSE(f.slider->grab().isNull());
        EXPECT_EQ(f.slider->leftThumbRect().left(), 0);
        QTest::keyClick(f.slider, Qt::Key_Right);
        QTest::keyClick(f.slider, Qt::Key_Left, Qt::ShiftModifier);
        EXPECT_TRUE(f.take().empty());
        const QPoint grab(6, 9);
        f.press(grab);
        f.move(grab + QPoint(30, 0));
        f.release(grab + QPoint(30, 0));
        EXPECT_EQ(f.sel(), before);
        EXPECT_EQ(f.take(), (Notes{{0, 1}}));
    }
}
