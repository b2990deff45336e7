#include "media/cvideoedit.h"
#include "media/mediatestsupport.h"

#include <QColor>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cstdlib>

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

namespace {

// The colour in the middle of what the preview widget shows.
QColor shownColour(CVideoEdit& widget)
{
    const QImage shot = widget.grab().toImage();
    return shot.pixelColor(shot.width() / 2, shot.height() / 2);
}

// Near enough for a plain colour that went through a lossy codec.
bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) < 48 && std::abs(a.green() - b.green()) < 48 &&
           std::abs(a.blue() - b.blue()) < 48;
}

bool showsSecond(CVideoEdit& widget, int second)
{
    return near(shownColour(widget), QColor(testmedia::colourSeconds().at(second)));
}

} // namespace

TEST(Preview, AStillShowsThePictureAtItsTimeOrTheLastBefore)
{
    PreviewWindow w;
    const QString colours = testmedia::colourClip();
    ASSERT_FALSE(colours.isEmpty());
    const struct
    {
        double time;
        int second;
    } cases[] = {{2.5, 2}, {0.0, 0}, {1.0, 1}, {5.96, 5}, {6.0, 5}, {42.0, 5}, {3.5, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        w.widget.ShowStill(colours, c.time);
        EXPECT_TRUE(QTest::qWaitFor([&] { return showsSecond(w.widget, c.second); }, 5000))
            << qPrintable(shownColour(w.widget).name());
    }
    EXPECT_EQ(w.ended, 0) << "a still is no playback";
}

TEST(Preview, AStillReplacesAPlaybackAndNothingOfItComesLater)
{
    PreviewWindow w;
    const QString colours = testmedia::colourClip();
    w.widget.AddVideoSegment(colours, 0.0, 6.0, 0);
    w.widget.AddAudioSegment(colours, 0.0, 6.0);
    w.widget.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.widget.currentFrame().isNull(); }, 3000));
    w.widget.ShowStill(colours, 4.5);
    EXPECT_EQ(w.ended, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return showsSecond(w.widget, 4); }, 5000));
    QTest::qWait(600);
    EXPECT_TRUE(showsSecond(w.widget, 4));

    // A playback asked for before the still arrives wins.
    w.widget.ShowStill(colours, 1.5);
    w.widget.Reset();
    w.widget.AddVideoSegment(colours, 3.2, 3.8, 0);
    w.widget.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.ended == 2; }, 5000));
    QTest::qWait(300);
    EXPECT_TRUE(showsSecond(w.widget, 3));
}

TEST(Preview, NothingToShowLeavesThePreviewEmpty)
{
    PreviewWindow w;
    const QString colours = testmedia::colourClip();
    w.widget.ShowStill(colours, 2.5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return showsSecond(w.widget, 2); }, 5000));
    // A file without pictures has no still.
    w.widget.ShowStill(testmedia::audioOnly("wma"), 1.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.widget.currentFrame().isNull(); }, 5000));
    EXPECT_EQ(shownColour(w.widget), QColor(Qt::black));

    // Clearing stops a playback and keeps the preview empty.
    w.widget.AddVideoSegment(colours, 0.0, 6.0, 0);
    w.widget.AddAudioSegment(colours, 0.0, 6.0);
    w.widget.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.widget.currentFrame().isNull(); }, 3000));
    w.widget.ClearPicture();
    EXPECT_EQ(w.ended, 1);
    EXPECT_TRUE(w.widget.currentFrame().isNull());
    QTest::qWait(500);
    EXPECT_TRUE(w.widget.currentFrame().isNull());
    EXPECT_EQ(shownColour(w.widget), QColor(Qt::black));
}

// The playback it replaces ends on the preview thread a moment later; that end is not
// the new one's.
TEST(Preview, APlaybackAskedForAgainIsNotEndedByTheOneItReplaced)
{
    PreviewWindow w;
    const QString colours = testmedia::colourClip();
    w.widget.AddVideoSegment(colours, 0.0, 6.0, 0);
    w.widget.AddAudioSegment(colours, 0.0, 6.0);
    w.widget.Play();
    w.widget.Reset();
    w.widget.AddVideoSegment(colours, 2.2, 0.6, 0);
    w.widget.AddAudioSegment(colours, 2.2, 0.6);
    w.widget.Play();
    EXPECT_EQ(w.ended, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return showsSecond(w.widget, 2); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.ended == 2; }, 5000));
}

// The component as the window hosts it converts what the batch gave it and previews
// what the window gave it, however their calls interleave.
TEST(Preview, APreviewAndAConversionKeepTheirOwnSegments)
{
    PreviewWindow w;
    const QString colours = testmedia::colourClip();
    const QString clip = testmedia::clip("avi");
    QTemporaryDir dir;
    MediaConverter& converter = *w.widget.converter();
    bool completed = false;
    QObject::connect(&converter, &MediaConverter::ConversionComplete, [&] { completed = true; });
    converter.SetOutputFormat(MediaConverter::FormatWmv);
    converter.Reset();
    converter.AddVideoSegment(clip, 0.0, 1.5, 0);
    converter.AddAudioSegment(clip, 0.0, 1.5);
    w.widget.Reset();
    w.widget.AddVideoSegment(colours, 3.2, 0.6, 0);
    w.widget.AddAudioSegment(colours, 3.2, 0.6);
    const QString output = dir.filePath("converted.wmv");
    ASSERT_TRUE(converter.ConvertToFile(output));
    converter.Reset();
    w.widget.Play();

    EXPECT_TRUE(QTest::qWaitFor([&] { return showsSecond(w.widget, 3); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return completed; }, 60000));
    EXPECT_EQ(converter.LastError(), "");
    EXPECT_NEAR(testmedia::probeDuration(output), 1.5, 0.1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.ended == 1; }, 5000));
}

// Play shows the subtitles the Task will be converted with; Reset forgets them.
TEST(Preview, PlayDrawsTheChosenSubtitles)
{
    PreviewWindow w;
    const QString cue =
        testmedia::cue(testmedia::folder() + "/preview-cue.srt", "00:00:00,000", "00:00:02,000");
    ASSERT_FALSE(cue.isEmpty());
    const QString film =
        testmedia::make("preview-subtitles.mkv", {"-f", "lavfi", "-i", "color=black:s=320x240:d=2",
                                                  "-i", cue, "-c:v", "mpeg4", "-c:s", "srt"});
    auto drawn = [&] {
        const QImage frame = w.widget.currentFrame();
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                if (qGray(frame.pixel(x, y)) > 200)
                    return true;
        return false;
    };
    for (const bool chosen : {true, false}) {
        w.widget.ClearPicture();
        w.widget.Reset();
        w.widget.AddVideoSegment(film, 0.0, 1.0, 0);
        if (chosen)
            w.widget.preview()->SetTrackChoices(0, 1, {});
        w.widget.Play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w.widget.currentFrame().isNull(); }, 3000));
        EXPECT_EQ(QTest::qWaitFor(drawn, 1500), chosen);
        w.widget.StopPlay();
        w.widget.Reset(); // forgets the choice
    }
}
