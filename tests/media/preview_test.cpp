#include "cvideoedit.h"
#include "mediatestsupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

struct ApplicationFirst
{
    ApplicationFirst() { ensureApplication(); }
};

struct PreviewWindow : ApplicationFirst
{
    PreviewWindow()
    {
        widget.resize(320, 180);
        widget.show();
        QObject::connect(&widget, &CVideoEdit::PlayEnded, &widget, [this](double) { ++ended; });
    }
    CVideoEdit widget;
    int ended = 0;
};

} // namespace

TEST(Preview, PlaysASegmentInRealTimeAndEndsOnce)
{
    PreviewWindow w;
    const QString source = testmedia::clip("avi");
    w.widget.Reset();
    w.widget.SetColorDepth(24);
    w.widget.AddVideoSegment(source, 0.5, 2.0, 0); // a length: 0.5 to 2.5
    w.widget.AddAudioSegment(source, 0.5, 2.0);
    QElapsedTimer timer;
    timer.start();
    w.widget.Play();

    QSet<quint64> looks;
    const QImage blank = w.widget.grab().toImage();
    while (w.ended == 0 && timer.elapsed() < 6000) {
        QTest::qWait(100);
        const QImage shot = w.widget.grab().toImage();
        if (shot != blank)
            looks.insert(shot.cacheKey() ^ qHashBits(shot.constBits(), size_t(shot.sizeInBytes())));
    }
    ASSERT_EQ(w.ended, 1);
    // Played in real time: about two seconds, not faster.
    EXPECT_GE(timer.elapsed(), 1800);
    EXPECT_LT(timer.elapsed(), 4000);
    EXPECT_GE(looks.size(), 5) << "the picture hardly changed";
    // The picture keeps the 4:3 clip's aspect inside the 16:9 widget: black at the sides.
    const QImage last = w.widget.grab().toImage();
    EXPECT_EQ(QColor(last.pixel(5, 90)), QColor(Qt::black));
    EXPECT_NE(QColor(last.pixel(160, 90)), QColor(Qt::black));

    w.widget.StopPlay(); // after the end: nothing more
    QTest::qWait(200);
    EXPECT_EQ(w.ended, 1);
}

TEST(Preview, StopEndsThePlaybackWithOneEvent)
{
    PreviewWindow w;
    const QString source = testmedia::clip("mpg");
    w.widget.AddVideoSegment(source, 0.0, 3.0, 0);
    w.widget.AddAudioSegment(source, 0.0, 3.0);
    w.widget.Play();
    QTest::qWait(300);
    w.widget.StopPlay();
    EXPECT_EQ(w.ended, 1);
    w.widget.StopPlay();
    QTest::qWait(500);
    EXPECT_EQ(w.ended, 1);
}

TEST(Preview, ASoundOnlySourceDoesNotKeepTheLastPicture)
{
    PreviewWindow w;
    const QString video = testmedia::clip("avi");
    w.widget.AddVideoSegment(video, 1.0, 2.0, 0); // a glimpse
    w.widget.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.widget.currentFrame().isNull(); }, 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.ended == 1; }, 3000));

    const QString sound = testmedia::audioOnly("wma");
    w.widget.Reset();
    w.widget.AddVideoSegment(sound, 0.0, 1.0, 0);
    w.widget.AddAudioSegment(sound, 0.0, 1.0);
    w.widget.Play();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.widget.currentFrame().isNull(); }, 3000));
    const QImage shot = w.widget.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(160, 90)), QColor(Qt::black));
    w.widget.StopPlay();
}

// A glimpse is the video segment alone with an end time: one second, its first
// picture at once.
TEST(Preview, AGlimpseShowsItsFirstPictureAtOnce)
{
    PreviewWindow w;
    const QString source = testmedia::clip("wmv");
    struct Case
    {
        double start;
        double end;
    };
    for (const Case c : {Case{1.5, 2.5}, Case{1.0, 1.0}}) {
        SCOPED_TRACE(c.start);
        w.ended = 0;
        w.widget.Reset();
        w.widget.AddVideoSegment(source, c.start, c.end, 0);
        const qint64 shown = w.widget.currentFrame().cacheKey();
        QElapsedTimer timer;
        timer.start();
        w.widget.Play();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return w.widget.currentFrame().cacheKey() != shown; }, 2000));
        EXPECT_LT(timer.elapsed(), 500);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.ended > 0; }, 3000));
        EXPECT_LT(timer.elapsed(), 1500);
        w.widget.StopPlay(); // what the main window does after a glimpse
        QTest::qWait(100);
        EXPECT_EQ(w.ended, 1);
    }
}

TEST(Preview, AMissingFileEndsAtOnce)
{
    PreviewWindow w;
    w.widget.AddVideoSegment("/no/such/file.avi", 0.0, 1.0, 0);
    w.widget.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.ended > 0; }, 2000));
    QTest::qWait(100);
    EXPECT_EQ(w.ended, 1);
}
