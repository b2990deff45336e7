#include "clock.h"
#include "mediaengine.h"
#include "mediatestsupport.h"
#include "preconversion.h"
#include "programfolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTimer>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Stands in for the component where only the calls matter: it lists what it is given
// and, when told to, completes at once.
class FakeMedia : public MediaComponent
{
public:
    QStringList videoNames;
    QStringList audioNames;
    QStringList calls;
    bool startResult = true;
    QString lastError;

    MediaCollection WmvProfiles() const override { return {}; }
    void SetWmvProfileIndex(short i) override { calls << QString("WmvProfileIndex %1").arg(i); }
    void SetVideoCompressorIndex(short i) override
    {
        calls << QString("VideoCompressorIndex %1").arg(i);
    }
    MediaCollection VideoCompressors() const override { return MediaCollection(videoNames); }
    void SetUseVideoCompressor(bool u) override
    {
        calls << QString("UseVideoCompressor %1").arg(u);
    }
    void SetAudioCompressorIndex(short i) override
    {
        calls << QString("AudioCompressorIndex %1").arg(i);
    }
    MediaCollection AudioCompressors() const override { return MediaCollection(audioNames); }
    void SetUseAudioCompressor(bool u) override
    {
        calls << QString("UseAudioCompressor %1").arg(u);
    }
    void SetOutputHeight(short p) override { calls << QString("OutputHeight %1").arg(p); }
    void SetOutputWidth(short p) override { calls << QString("OutputWidth %1").arg(p); }
    void SetColorDepth(short b) override { calls << QString("ColorDepth %1").arg(b); }
    void SetOutputFormat(int f) override { calls << QString("OutputFormat %1").arg(f); }
    void SetFrameRate(double fps) override
    {
        calls << QString("FrameRate %1").arg(fps, 0, 'g', 17);
    }
    bool ConvertToFile(const QString& path) override
    {
        calls << "ConvertToFile " + QFileInfo(path).suffix();
        if (startResult)
            QMetaObject::invokeMethod(this, &MediaComponent::ConversionComplete,
                                      Qt::QueuedConnection);
        return startResult;
    }
    double GetDuration(const QString&) override { return 0; }
    bool Play() override { return true; }
    bool AddAudioSegment(const QString&, double a, double b) override
    {
        calls << QString("AddAudioSegment %1 %2").arg(a).arg(b);
        return true;
    }
    bool AddVideoSegment(const QString&, double a, double b, short) override
    {
        calls << QString("AddVideoSegment %1 %2").arg(a).arg(b);
        return true;
    }
    void Reset() override { calls << "Reset"; }
    void StopConversion() override { calls << "StopConversion"; }
    void StopPlay() override {}
    QString LastError() const override { return lastError; }
};

// The real engine with no compressor to offer, which sends the pre-conversion down its
// MPEG route.
class EngineWithoutCompressors : public MediaEngine
{
public:
    MediaCollection VideoCompressors() const override { return {}; }
};

struct Fixture
{
    TaskList tasks;
    BatchState batch;
    QVector<int> redrawn;

    // Runs a pre-conversion the way the batch driver does: the component's events are
    // handed to it until the component says it has finished.
    bool preConvert(PreConversion& pre, MediaComponent& media, int index)
    {
        QObject scope;
        bool done = false;
        QObject::connect(&media, &MediaComponent::ConversionProgress, &scope,
                         [&](double position, double total) {
                             pre.onConversionProgress(position, total);
                             redrawn << index;
                         });
        QObject::connect(&media, &MediaComponent::ConversionComplete, &scope, [&] {
            pre.onConversionComplete();
            done = true;
        });
        if (!pre.start(index))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (!done && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done;
    }

    int addTask(const QString& source, double start, double end, int exportType = 0)
    {
        Task task = makeTask(source, end, exportType, 0);
        task.startTime = start;
        task.endTime = end;
        batch.currentTaskIndex = tasks.add(task);
        return batch.currentTaskIndex;
    }
};

} // namespace

TEST(PreConversion, CompressorChoiceDecidesTheRoute)
{
    ensureApplication();
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    const QString mpv3 = "Microsoft MPEG-4 Video Codec V3";
    struct Case
    {
        const char* name;
        QStringList video;
        QStringList audio;
        QStringList expected; // the calls after Reset, up to the conversion
    };
    const QStringList aviHead{"Reset",         "OutputWidth 320", "OutputHeight 240",
                              "ColorDepth 24", "FrameRate 25",    "OutputFormat 8"};
    const QStringList mpegHead{"Reset",
                               "OutputWidth 320",
                               "OutputHeight 240",
                               "ColorDepth 24",
                               QString("FrameRate %1").arg(double(23.976f), 0, 'g', 17),
                               "OutputFormat 6"};
    const QStringList tail{"AddVideoSegment 1 4", "AddAudioSegment 1 4"};
    const Case cases[] = {
        {"V3 and PCM, no MP3",
         {"Cinepak", mpv3},
         {"PCM", "GSM"},
         aviHead +
             QStringList{"UseVideoCompressor 1", "VideoCompressorIndex 1", "UseAudioCompressor 1",
                         "AudioCompressorIndex 0"} +
             tail + QStringList{"ConvertToFile avi"}},
        {"DivX twice: the later one",
         {"DivX 5", "Indeo", "DivX 6"},
         {"MPEG Layer-3", "PCM"},
         aviHead +
             QStringList{"UseVideoCompressor 1", "VideoCompressorIndex 2", "UseAudioCompressor 1",
                         "AudioCompressorIndex 0"} +
             tail + QStringList{"ConvertToFile avi"}},
        {"V3 beats a later DivX",
         {mpv3, "DivX"},
         {"PCM", "MPEG Layer-3"},
         aviHead +
             QStringList{"UseVideoCompressor 1", "VideoCompressorIndex 0", "UseAudioCompressor 1",
                         "AudioCompressorIndex 1"} +
             tail + QStringList{"ConvertToFile avi"}},
        {"no video match: MPEG",
         {"Cinepak"},
         {"MPEG Layer-3"},
         mpegHead + tail + QStringList{"ConvertToFile mpg"}},
        {"no audio match: MPEG",
         {mpv3},
         {"GSM 6.10"},
         mpegHead + tail + QStringList{"ConvertToFile mpg"}},
        {"case matters",
         {"microsoft mpeg-4 video codec v3", "divx"},
         {"pcm"},
         mpegHead + tail + QStringList{"ConvertToFile mpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        FakeMedia media;
        media.videoNames = c.video;
        media.audioNames = c.audio;
        PreConversion pre(f.tasks, f.batch, media);
        const int index = f.addTask("/videos/clip.rm", 1.0, 4.0);
        ASSERT_TRUE(f.preConvert(pre, media, index));
        // The completion handler stops the component.
        EXPECT_EQ(media.calls, c.expected + QStringList{"StopConversion"});
        const Task task = f.tasks.get(index);
        EXPECT_EQ(task.preState, 2);
        EXPECT_EQ(task.preDone, 1);
        EXPECT_EQ(task.failed, 0);
        EXPECT_TRUE(task.intermediatePath.startsWith(intermediateFolder() + "clip_"));
        const int number = QFileInfo(task.intermediatePath).completeBaseName().mid(5).toInt();
        EXPECT_GE(number, 10000);
        EXPECT_LE(number, 50001);
    }
}

TEST(PreConversion, ARefusedStartReturnsAtOnceAndMarksTheTask)
{
    ensureApplication();
    Fixture f;
    FakeMedia media;
    media.startResult = false;
    media.lastError = "Cannot read /videos/clip.rm";
    PreConversion pre(f.tasks, f.batch, media);
    const int index = f.addTask("/videos/clip.rm", 0.0, 4.0);
    EXPECT_FALSE(pre.start(index));
    const Task task = f.tasks.get(index);
    EXPECT_EQ(task.preState, 1);
    EXPECT_EQ(task.preDone, 0);
    EXPECT_EQ(task.failed, 1);
    EXPECT_EQ(task.failureReason, media.lastError);
    EXPECT_FALSE(QFileInfo::exists(task.intermediatePath));
}

TEST(PreConversion, ProgressArithmetic)
{
    ensureApplication();
    struct Case
    {
        int exportType;
        double position;
        double total;
        uint32_t elapsedMs;
        double percent;
        double remain; // pre-conversion
        int wmvPercent;
    };
    const Case cases[] = {
        {0, 10, 100, 2000, 10, 90, 0}, // speed 5; position not above 20
        {0, 30, 100, 3000, 30, 7, 0},  // speed 10
        {0, 0, 0, 0, 0, 0, 0},         // total 0 in the first millisecond: finite numbers
        {0, 5, 0, 1000, 0, -5, 0},     {0, 25, 100, 0, 25, 75, 0}, // no speed measured yet
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            QString("%1/%2 type %3").arg(c.position).arg(c.total).arg(c.exportType).toStdString());
        Fixture f;
        FakeMedia media;
        PreConversion pre(f.tasks, f.batch, media);
        const int index = f.addTask("/videos/clip.rm", 0, 100, c.exportType);
        ASSERT_TRUE(pre.start(index));
        f.batch.runStartTick = tickCount() - c.elapsedMs;
        pre.onConversionProgress(c.position, c.total);
        const Task task = f.tasks.get(index);
        EXPECT_TRUE(std::isfinite(task.prePercent) && std::isfinite(task.preRemainTime));
        EXPECT_DOUBLE_EQ(task.prePosition, c.position);
        EXPECT_DOUBLE_EQ(task.prePercent, c.percent);
        // The clock runs on while the test does: allow a few milliseconds of it.
        EXPECT_NEAR(task.preRemainTime, c.remain, 0.05);
    }
}

TEST(PreConversion, CompletionRecordsFailures)
{
    ensureApplication();
    Fixture f;
    FakeMedia media;
    PreConversion pre(f.tasks, f.batch, media);
    const int failing = f.addTask("/videos/clip.rm", 0, 10, 0);
    ASSERT_TRUE(pre.start(failing));
    media.calls.clear();
    media.lastError = "Cannot write /cache/clip_12345.avi: No space left on device";
    pre.onConversionComplete();
    EXPECT_EQ(f.tasks.get(failing).failed, 1);
    EXPECT_EQ(f.tasks.get(failing).failureReason, media.lastError);
    EXPECT_EQ(media.calls, QStringList{"StopConversion"});

    const int mp4 = f.addTask("/videos/clip.rm", 0, 10, 0);
    ASSERT_TRUE(pre.start(mp4));
    media.lastError.clear();
    pre.onConversionComplete();
    EXPECT_EQ(f.tasks.get(mp4).preDone, 1);
    EXPECT_EQ(f.tasks.get(mp4).preState, 2);
    EXPECT_EQ(f.tasks.get(mp4).failed, 0);
    pre.onConversionComplete(); // a late event for nothing running changes nothing
    EXPECT_EQ(f.tasks.get(mp4).failed, 0);
}

TEST(PreConversion, CancelStopsTheComponentAndRemovesTheFile)
{
    ensureApplication();
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    Fixture f;
    FakeMedia media;
    PreConversion pre(f.tasks, f.batch, media);
    const int index = f.addTask("/videos/clip.rm", 0, 10);
    ASSERT_TRUE(pre.start(index));
    const QString partialPath = f.tasks.get(index).intermediatePath;
    QFile partial(partialPath);
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.close();
    media.calls.clear();
    pre.cancel();
    EXPECT_EQ(media.calls, QStringList{"StopConversion"});
    EXPECT_FALSE(QFileInfo::exists(partialPath));
}

TEST(PreConversion, RandomNumberAndIntermediatePath)
{
    EXPECT_EQ(PreConversion::randomNumber(10, 5), 10);
    EXPECT_GE(PreConversion::randomNumber(7, 7), 7);
    for (int i = 0; i < 20; ++i) {
        const int n = PreConversion::randomNumber(10000, 50000);
        EXPECT_GE(n, 10000);
        EXPECT_LE(n, 50000);
    }

    EXPECT_EQ(PreConversion::intermediatePath("/cache/", "clip", "avi", 23456),
              "/cache/clip_23456.avi");
    EXPECT_EQ(PreConversion::intermediatePath("/cache/", "../../etc/x", "mpg", 10000),
              "/cache/.._.._etc_x_10000.mpg");
    // Long names are cut to fit one file name, never inside a character.
    const QString longName = QString(300, QChar(0x00e9)); // two bytes each
    const QString cut = PreConversion::intermediatePath("/cache/", longName, "avi", 12345);
    EXPECT_LE(QFileInfo(cut).fileName().toUtf8().size(), 255);
    EXPECT_TRUE(cut.endsWith("_12345.avi"));
    EXPECT_EQ(QString::fromUtf8(cut.toUtf8()), cut);
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xAC").repeated(100);
    const QString cutEmoji = PreConversion::intermediatePath("/c/", emoji, "avi", 12345);
    EXPECT_FALSE(cutEmoji.at(cutEmoji.size() - 11).isHighSurrogate());
    EXPECT_LE(QFileInfo(cutEmoji).fileName().toUtf8().size(), 255);
    // A deep folder leaves less room for the name; the whole path stays under the limit.
    const QString deep = "/" + QString("d/").repeated(2030);
    EXPECT_LE(PreConversion::intermediatePath(deep, "name", "avi", 12345).toUtf8().size(), 4095);
}

// The real engine writes a RealMedia Task's segment, by each route.
TEST(PreConversion, RealMediaSourceThroughBothRoutes)
{
    ensureApplication();
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
        Fixture f;
        std::unique_ptr<MediaEngine> engine = c.withCompressors
                                                  ? std::make_unique<MediaEngine>()
                                                  : std::make_unique<EngineWithoutCompressors>();
        PreConversion pre(f.tasks, f.batch, *engine);
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
    ensureApplication();
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    Fixture f;
    MediaEngine engine;
    PreConversion pre(f.tasks, f.batch, engine);
    const int index = f.addTask(testmedia::clip("rm", 20), 0.0, 20.0);
    bool completed = false;
    QElapsedTimer timer;
    QObject::connect(&engine, &MediaComponent::ConversionComplete, [&] { completed = true; });
    // Cancel at the first progress report, whatever the machine's speed.
    QObject::connect(&engine, &MediaComponent::ConversionProgress, [&] {
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
