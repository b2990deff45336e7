#include "widgets/cimagebutton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr ColorRef kGreen = rgbRef(0, 255, 0);

QPixmap solid(QSize size, QColor colour)
{
    QPixmap pm(size);
    pm.fill(colour);
    return pm;
}

void hover(CImageButton& b)
{
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), b.mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(&b, &enter);
}

QRgb centre(QWidget& w)
{
    return w.grab().toImage().pixel(w.width() / 2, w.height() / 2);
}

} // namespace

TEST(ImageButton, SettersReturnTheirCodes)
{
    CImageButton b;
    struct Case
    {
        const char* name;
        std::function<int()> call;
        int expected;
    };
    const Case cases[] = {
        {"icon pair", [&] { return b.SetIconPair(138, 137, 0); }, CImageButton::Ok},
        {"icon pair without normal", [&] { return b.SetIconPair(148, 0, 0); }, CImageButton::Ok},
        {"missing hot icon", [&] { return b.SetIconPair(999, 137, 0); },
         CImageButton::InvalidImage},
        {"missing normal icon", [&] { return b.SetIconPair(138, 999, 0); },
         CImageButton::InvalidImage},
        {"null icon handle", [&] { return b.SetIconHandles(QPixmap()); },
         CImageButton::InvalidImage},
        {"bitmap pair", [&] { return b.SetBitmapPair(203, kGreen, 202, kGreen); },
         CImageButton::Ok},
        {"missing bitmap", [&] { return b.SetBitmapPair(998, kGreen, 202, kGreen); },
         CImageButton::InvalidImage},
        {"null bitmap handle", [&] { return b.SetBitmapHandles(QImage(), kGreen); },
         CImageButton::InvalidImage},
        {"alignment 3", [&] { return b.SetImageAlignment(3); }, CImageButton::Ok},
        {"alignment 4", [&] { return b.SetImageAlignment(4); }, CImageButton::InvalidAlignment},
        {"press shift 1", [&] { return b.SetPressShift(1); }, CImageButton::Ok},
        {"press shift 2", [&] { return b.SetPressShift(2); }, CImageButton::InvalidPressStyle},
        {"colour 5", [&] { return b.SetStateColor(5, rgbRef(1, 2, 3)); }, CImageButton::Ok},
        {"colour 6", [&] { return b.SetStateColor(6, rgbRef(1, 2, 3)); },
         CImageButton::InvalidIndex},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.call(), c.expected) << c.name;

    // A failed setter leaves the button without images.
    EXPECT_EQ(b.SetIconPair(138, 137, 0), CImageButton::Ok);
    EXPECT_TRUE(b.hasImages());
    EXPECT_EQ(b.SetIconPair(999, 0, 0), CImageButton::InvalidImage);
    EXPECT_FALSE(b.hasImages());
}

TEST(ImageButton, DoubleClickGivesTwoClicks)
{
    QWidget parent;
    auto* b = new CImageButton(&parent);
    b->setGeometry(0, 0, 33, 33);
    b->SetIconPair(138, 137, 0);
    parent.show();
    QSignalSpy clicks(b, &QAbstractButton::clicked);
    const QPoint at(16, 16);
    // What the platform delivers for a double click: press, release, double-click, release.
    QTest::mousePress(b, Qt::LeftButton, {}, at);
    QTest::mouseRelease(b, Qt::LeftButton, {}, at);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, b->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, {});
    QCoreApplication::sendEvent(b, &dbl);
    QTest::mouseRelease(b, Qt::LeftButton, {}, at);
    EXPECT_EQ(clicks.count(), 2);
}

TEST(ImageButton, GreenPixelsShowTheParent)
{
    QWidget parent;
    parent.resize(40, 40);
    parent.setAutoFillBackground(true);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(255, 0, 0));
    parent.setPalette(pal);
    auto* b = new CImageButton(&parent);
    b->setGeometry(0, 0, 19, 19);
    ASSERT_EQ(b->SetBitmapPair(203, kGreen, 202, kGreen), CImageButton::Ok);
    b->SetStateColor(CImageButton::BackNormal, rgbRef(0, 0, 255));
    b->ShowFlatBorder(false);

    // 17x17 bitmap centred in 19x19: bitmap pixel (0, 0), a green corner, lands at (1, 1).
    const QImage bitmap = QImage(":/bitmap/202").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(bitmap.pixel(0, 0), qRgb(0, 255, 0));
    QImage shot = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shot.pixel(1, 1), qRgb(0, 0, 255)); // the button's own colour under the green
    EXPECT_EQ(shot.pixel(9, 9), bitmap.pixel(8, 8));

    b->UseParentBackground();
    shot = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shot.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(9, 9), bitmap.pixel(8, 8));
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            ASSERT_NE(shot.pixel(x, y), qRgb(0, 255, 0)) << x << "," << y;
}

TEST(ImageButton, ImageChoiceByState)
{
    const QColor hotColour(200, 0, 0), normalColour(0, 0, 200);
    struct Case
    {
        const char* name;
        bool withNormal;
        bool hot, pressed;
        QColor expected;
    };
    const Case cases[] = {
        {"normal", true, false, false, normalColour},
        {"hot", true, true, false, hotColour},
        {"pressed", true, false, true, hotColour},
        {"no normal image: normal", false, false, false, hotColour},
        {"no normal image: hot", false, true, false, hotColour},
        {"no normal image: pressed", false, false, true, hotColour},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget parent;
        auto* b = new CImageButton(&parent);
        b->setGeometry(0, 0, 33, 33);
        b->SetIconHandles(solid({20, 20}, hotColour),
                          c.withNormal ? solid({20, 20}, normalColour) : QPixmap());
        b->SetImageAlignment(CImageButton::ImageAbove);
        if (c.hot)
            hover(*b);
        if (c.pressed)
            b->setDown(true);
        EXPECT_EQ(b->isHot(), c.hot);
        EXPECT_EQ(QColor(centre(*b)), c.expected);
    }
}

TEST(ImageButton, PressShiftsTheImage)
{
    QWidget parent;
    auto* b = new CImageButton(&parent);
    b->setGeometry(0, 0, 33, 33);
    b->SetIconHandles(solid({10, 10}, Qt::red));
    b->SetStateColor(CImageButton::BackHot, rgbRef(0, 0, 0));
    b->SetStateColor(CImageButton::BackNormal, rgbRef(0, 0, 0));
    b->ShowFlatBorder(false);
    // Centred: (33 - 10) / 2 = 11, so the image covers 11..20.
    QImage img = b->grab().toImage();
    EXPECT_EQ(QColor(img.pixel(11, 11)), QColor(Qt::red));
    EXPECT_EQ(QColor(img.pixel(21, 21)), QColor(Qt::black));
    b->setDown(true);
    img = b->grab().toImage();
    EXPECT_EQ(QColor(img.pixel(11, 11)), QColor(Qt::black));
    EXPECT_EQ(QColor(img.pixel(21, 21)), QColor(Qt::red));
    b->SetPressShift(1);
    img = b->grab().toImage();
    EXPECT_EQ(QColor(img.pixel(11, 12)), QColor(Qt::black));
    EXPECT_EQ(QColor(img.pixel(11, 22)), QColor(Qt::red));
}

TEST(ImageButton, HoverLightsOnlyWithoutAnotherButtonHeld)
{
    QWidget parent;
    auto* b = new CImageButton(&parent);
    b->setGeometry(0, 0, 33, 33);
    parent.show();
    // Dragged in from another button with the left button down: stays dark.
    QMouseEvent held(QEvent::MouseMove, QPointF(5, 5), b->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                     Qt::LeftButton, {});
    QCoreApplication::sendEvent(b, &held);
    EXPECT_FALSE(b->isHot());
    QTest::mouseMove(b, QPoint(6, 6));
    EXPECT_TRUE(b->isHot());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(b, &leave);
    EXPECT_FALSE(b->isHot());
    hover(*b);
    EXPECT_TRUE(b->isHot());
    b->setEnabled(false);
    EXPECT_FALSE(b->isHot());
}

TEST(ImageButton, CheckBoxModeAndTooltip)
{
    CImageButton b;
    EXPECT_EQ(b.SetChecked(true), CImageButton::Ok);
    EXPECT_FALSE(b.IsChecked()); // not in check-box mode
    b.setCheckable(true);
    b.SetChecked(true);
    EXPECT_TRUE(b.IsChecked());
    b.click();
    EXPECT_FALSE(b.IsChecked());

    b.SetTipText("Stop preview", true);
    EXPECT_EQ(b.toolTip(), "Stop preview");
    b.SetTipText("Stop preview", false);
    EXPECT_TRUE(b.toolTip().isEmpty());
    b.SetTipText(QString(), true); // a null text changes nothing
    EXPECT_TRUE(b.toolTip().isEmpty());
}
