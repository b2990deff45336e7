#include "widgets/cfadepicture.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

TEST(FadePicture, FadesInAndEndsAtTheBitmapsSize)
{
    QWidget parent;
    auto* picture = new CFadePicture(&parent);
    picture->setGeometry(10, 10, 50, 30);
    QSignalSpy finished(picture, &CFadePicture::fadeFinished);
    std::vector<double> seen;
    ASSERT_TRUE(picture->StartFade(191, 2));
    EXPECT_EQ(picture->size(), QSize(264, 200));
    EXPECT_EQ(picture->pos(), QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            seen.push_back(picture->opacity());
            return picture->IsFadeDone();
        },
        10000));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(picture->opacity(), 1.0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    // Afterwards the whole picture paints.
    const QImage shot = picture->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage bitmap = QImage(":/bitmap/191").convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shot.pixel(132, 100), bitmap.pixel(132, 100));
    EXPECT_EQ(shot.pixel(3, 3), bitmap.pixel(3, 3));
}

TEST(FadePicture, MissingBitmapLeavesItBlank)
{
    CFadePicture picture;
    picture.resize(40, 40);
    EXPECT_FALSE(picture.StartFade(4242, 1));
    EXPECT_FALSE(picture.IsFading());
    EXPECT_FALSE(picture.IsFadeDone());
    EXPECT_EQ(picture.size(), QSize(40, 40));
}

TEST(FadePicture, DestroyingMidFadeStopsTheWorker)
{
    for (int delay : {0, 1, 50}) {
        auto* picture = new CFadePicture;
        ASSERT_TRUE(picture->StartFade(191, delay));
        QTest::qWait(5);
        EXPECT_FALSE(picture->IsFadeDone() && delay == 50);
        delete picture;
        // Steps the worker queued before it stopped must not reach the dead widget.
        QCoreApplication::processEvents();
    }
}
