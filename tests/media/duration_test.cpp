#include "media/mediaengine.h"
#include "media/mediatestsupport.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(MediaDuration, MatchesFfprobeInEveryContainer)
{
    ensureApplication();
    MediaEngine engine;
    const QStringList sources{
        testmedia::clip("avi"),      testmedia::clip("mpg"),      testmedia::clip("vob"),
        testmedia::clip("wmv"),      testmedia::clip("mov"),      testmedia::clip("3gp"),
        testmedia::clip("rm"),       testmedia::clip("rmvb"),     testmedia::clip("mp4"),
        testmedia::audioOnly("mp3"), testmedia::audioOnly("wma"), testmedia::videoOnly("mpg"),
    };
    for (const QString& path : sources) {
        ASSERT_FALSE(path.isEmpty());
        const double expected = testmedia::probeDuration(path);
        EXPECT_GT(expected, 2.5) << path.toStdString();
        EXPECT_NEAR(engine.GetDuration(path), expected, 0.1) << path.toStdString();
    }
}

// A stream cut off in the middle carries no duration in any header: the packets'
// timestamps give it.
TEST(MediaDuration, CutOffStreamsAreMeasuredFromTimestamps)
{
    ensureApplication();
    MediaEngine engine;
    const QString ts = testmedia::make("clip3s.ts", {"-f", "lavfi", "-i",
                                                     "testsrc2=size=320x240:rate=25:duration=3",
                                                     "-c:v", "mpeg2video", "-f", "mpegts"});
    QFile whole(ts);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    QTemporaryDir dir;
    const QString cut = dir.filePath("cut.ts");
    QFile part(cut);
    ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    part.write(whole.read(whole.size() / 2 / 188 * 188));
    part.close();
    const double expected = testmedia::probeDuration(cut);
    EXPECT_GT(expected, 0.5);
    EXPECT_NEAR(engine.GetDuration(cut), expected, 0.1);
}

// Raw video streams have no timestamps at all: their pictures are counted.
TEST(MediaDuration, RawStreamsAreMeasuredByReadingThem)
{
    ensureApplication();
    MediaEngine engine;
    for (const QString& name : {QString("raw4s.264"), QString("raw4s.m2v")}) {
        const QString path =
            testmedia::make(name, {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=4",
                                   "-c:v", name.endsWith("264") ? "libx264" : "mpeg2video", "-f",
                                   name.endsWith("264") ? "h264" : "mpeg2video"});
        EXPECT_NEAR(engine.GetDuration(path), 4.0, 0.1) << path.toStdString();
    }
}

TEST(MediaDuration, UnreadableFilesHaveNone)
{
    ensureApplication();
    MediaEngine engine;
    QTemporaryDir dir;
    QFile empty(dir.filePath("empty.avi"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile noise(dir.filePath("noise.avi"));
    ASSERT_TRUE(noise.open(QIODevice::WriteOnly));
    noise.write(QByteArray(50000, '\x5a'));
    noise.close();
    for (const QString& path : {dir.filePath("missing.avi"), dir.filePath("empty.avi"),
                                dir.filePath("noise.avi"), dir.path()})
        EXPECT_EQ(engine.GetDuration(path), 0.0) << path.toStdString();
}

// A name such as "a:b.avi", given relative to the working folder, is a file, not a
// protocol called "a".
TEST(MediaDuration, NamesWithAColonAreFiles)
{
    ensureApplication();
    MediaEngine engine;
    const QString clip = testmedia::clip("avi");
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    for (const QString name : {"a:b.avi", "http:c.avi"}) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(QFile::copy(clip, name));
        EXPECT_NEAR(engine.GetDuration(name), 3.0, 0.1);
        const QString problem = engine.SourceProblem(name);
        EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
    }
    QDir::setCurrent(previous);
}
