// The pre-conversion on the real media engine.
#include "common/testmedia.h"
#include "engine/preconversion.h"
#include "engine/preconversionrig.h"
#include "media/mediaengine.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>

#include <gtest/gtest.h>

namespace {

// The real engine with no compressor to offer, which sends the pre-conversion down its
// MPEG route.
class EngineWithoutCompressors : public MediaEngine
{
public:
    MediaCollection VideoCompressors() const override { return {}; }
};

} // namespace

// The real engine writes a RealMedia Task's segment, by each route.
TEST(PreConversion, RealMediaSourceThroughBothRoutes)
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    const QString source = testmedia::clip("rm");
    struct Case
    {
        bool withCompressors;
        const char* suffix;
        const char* container;
        const char* video;
        const char* audio;
        const char* rate;
    };
    const Case cases[] = {
        {true, "avi", "avi", "msmpeg4v3", "mp3", "25/1"},
        {false, "mpg", "mpeg", "mpeg1video", "mp2", "24000/1001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suffix);
        PreConversionRig f;
        std::unique_ptr<MediaEngine> engine = c.withCompressors
                                                  ? std::make_unique<MediaEngine>()
                                                  : std::make_unique<EngineWithoutCompressors>();
        PreConversion pre(f.tasks, *engine);
        const int index = f.addTask(source, 0.5, 2.5);
        ASSERT_TRUE(f.preConvert(pre, *engine, index));
        const Task task = f.tasks.get(index);
        ASSERT_EQ(task.preDone, 1);
        EXPECT_EQ(task.preState, 2);
        EXPECT_EQ(task.failed, 0) << task.failureReason.toStdString();
        EXPECT_TRUE(task.intermediatePath.endsWith(c.suffix));
        const QJsonObject probe = testmedia::probe(task.intermediatePath);
        const QJsonObject video = testmedia::probeStream(probe, "video");
        EXPECT_TRUE(
            probe.value("format").toObject().value("format_name").toString().contains(c.container));
        EXPECT_EQ(video.value("codec_name").toString(), c.video);
        EXPECT_EQ(testmedia::probeStream(probe, "audio").value("codec_name").toString(), c.audio);
        EXPECT_EQ(video.value("width").toInt(), 320);
        EXPECT_EQ(video.value("height").toInt(), 240);
        EXPECT_EQ(video.value("r_frame_rate").toString(), c.rate);
        EXPECT_NEAR(probe.value("format").toObject().value("duration").toString().toDouble(), 2.0,
                    0.05);
        EXPECT_FALSE(f.redrawn.isEmpty());
        EXPECT_DOUBLE_EQ(task.prePercent, 100.0);
    }
}

TEST(PreConversion, CancelEndsARealConversionAtOnce)
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    PreConversionRig f;
    MediaEngine engine;
    PreConversion pre(f.tasks, engine);
    const int index = f.addTask(testmedia::clip("rm", 20), 0.0, 20.0);
    bool completed = false;
    QElapsedTimer timer;
    QObject::connect(&engine, &MediaConverter::ConversionComplete, [&] { completed = true; });
    // Cancel at the first progress report, whatever the machine's speed.
    QObject::connect(&engine, &MediaConverter::ConversionProgress, [&] {
        if (!timer.isValid()) {
            timer.start();
            pre.cancel();
        }
    });
    ASSERT_TRUE(pre.start(index));
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(timer.isValid());
    EXPECT_FALSE(completed); // no event follows a stop
    EXPECT_EQ(f.tasks.get(index).preDone, 0);
    EXPECT_FALSE(QFileInfo::exists(f.tasks.get(index).intermediatePath));
}
