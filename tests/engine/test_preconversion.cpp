#include "common/fakemedia.h"
#include "engine/clock.h"
#include "engine/preconversion.h"
#include "engine/preconversionrig.h"
#include "engine/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TEST(PreConversion, CompressorChoiceDecidesTheRoute)
{
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
    const QStringList aviHead{
        "Reset",         "TrackChoices 0 0", "OutputWidth 320", "OutputHeight 240",
        "ColorDepth 24", "FrameRate 25",     "OutputFormat 8"};
    const QStringList mpegHead{
        "Reset",           "TrackChoices 0 0",
        "OutputWidth 320", "OutputHeight 240",
        "ColorDepth 24",   QString("FrameRate %1").arg(double(23.976f), 0, 'g', 17),
        "OutputFormat 6"};
    const QStringList tail{"Video /videos/clip.rm 1 4", "Audio /videos/clip.rm 1 4"};
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
        PreConversionRig f;
        FakeMedia media;
        media.completeAfterMs = 0;
        media.videoCompressors = c.video;
        media.audioCompressors = c.audio;
        PreConversion pre(f.tasks, media.converter);
        const int index = f.addTask("/videos/clip.rm", 1.0, 4.0);
        ASSERT_TRUE(f.preConvert(pre, media.converter, index));
        const Task task = f.tasks.get(index);
        // The completion handler stops the component.
        QStringList calls = media.log;
        calls.replaceInStrings(task.intermediatePath, QFileInfo(task.intermediatePath).suffix());
        EXPECT_EQ(calls, c.expected + QStringList{"StopConversion"});
        EXPECT_EQ(task.preState, 2);
        EXPECT_EQ(task.preDone, 1);
        EXPECT_EQ(task.failed, 0);
        EXPECT_TRUE(task.intermediatePath.startsWith(intermediateFolder() + "clip_"));
        const int number = QFileInfo(task.intermediatePath).completeBaseName().mid(5).toInt();
        EXPECT_GE(number, 10000);
        EXPECT_LE(number, 50000);
    }
}

TEST(PreConversion, ARefusedStartReturnsAtOnceAndMarksTheTask)
{
    PreConversionRig f;
    FakeMedia media;
    media.refuseStart = true;
    media.refusal = "Cannot read /videos/clip.rm";
    PreConversion pre(f.tasks, media.converter);
    const int index = f.addTask("/videos/clip.rm", 0.0, 4.0);
    EXPECT_FALSE(pre.start(index));
    const Task task = f.tasks.get(index);
    EXPECT_EQ(task.preState, 1);
    EXPECT_EQ(task.preDone, 0);
    EXPECT_EQ(task.failed, 1);
    EXPECT_EQ(task.failureReason, media.lastError);
    EXPECT_FALSE(QFileInfo::exists(task.intermediatePath));
}

// The intermediate file is made with the Task's sound track and subtitles.
TEST(PreConversion, TheTasksChoicesGoIntoTheIntermediateFile)
{
    PreConversionRig f;
    FakeMedia media;
    PreConversion pre(f.tasks, media.converter);
    const int index = f.addTask("/videos/clip.rm", 0.0, 4.0);
    Task task = f.tasks.get(index);
    task.audioTrack = 2;
    task.subtitleFile = "/videos/clip.srt";
    f.tasks.set(index, task);
    ASSERT_TRUE(pre.start(index));
    EXPECT_EQ(media.entries("TrackChoices"), QStringList{"TrackChoices 2 0 /videos/clip.srt"});
    pre.cancel();
}

TEST(PreConversion, ProgressArithmetic)
{
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
        PreConversionRig f;
        FakeMedia media;
        PreConversion pre(f.tasks, media.converter);
        const int index = f.addTask("/videos/clip.rm", 0, 100, c.exportType);
        ASSERT_TRUE(pre.start(index));
        pre.onConversionProgress(c.position, c.total, pre.startTick() + c.elapsedMs);
        const Task task = f.tasks.get(index);
        EXPECT_TRUE(std::isfinite(task.prePercent) && std::isfinite(task.preRemainTime));
        EXPECT_DOUBLE_EQ(task.prePosition, c.position);
        EXPECT_DOUBLE_EQ(task.prePercent, c.percent);
        EXPECT_NEAR(task.preRemainTime, c.remain, 1e-9);
    }
}

TEST(PreConversion, CompletionRecordsFailures)
{
    PreConversionRig f;
    FakeMedia media;
    PreConversion pre(f.tasks, media.converter);
    const int failing = f.addTask("/videos/clip.rm", 0, 10, 0);
    ASSERT_TRUE(pre.start(failing));
    media.log.clear();
    media.lastError = "Cannot write /cache/clip_12345.avi: No space left on device";
    pre.onConversionComplete();
    EXPECT_EQ(f.tasks.get(failing).failed, 1);
    EXPECT_EQ(f.tasks.get(failing).failureReason, media.lastError);
    EXPECT_EQ(media.log, QStringList{"StopConversion"});

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
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    PreConversionRig f;
    FakeMedia media;
    PreConversion pre(f.tasks, media.converter);
    const int index = f.addTask("/videos/clip.rm", 0, 10);
    ASSERT_TRUE(pre.start(index));
    const QString partialPath = f.tasks.get(index).intermediatePath;
    QFile partial(partialPath);
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.close();
    media.log.clear();
    pre.cancel();
    EXPECT_EQ(media.log, QStringList{"StopConversion"});
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

// Intermediate files live in a folder of their run's. The folder of a run that is gone
// (its lock free: it was killed, or its machine lost power) is cleared at the next
// start; that of a run still going is left alone, and no file of its is touched.
TEST(PreConversion, AGoneRunsIntermediatesAreClearedALiveRunsKept)
{
    QTemporaryDir base;
    auto runWithFile = [&base](const QString& run) {
        QDir().mkpath(base.path() + "/" + run);
        for (const char* name : {"/clip_12345.avi", "/.lock"}) {
            QFile file(base.path() + "/" + run + name);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        }
        return base.path() + "/" + run + "/clip_12345.avi";
    };
    const QString gone = runWithFile("run-999999");
    const QString live = runWithFile("run-999998");
    const int held = ::open(QFile::encodeName(base.path() + "/run-999998/.lock").constData(),
                            O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    const QString mine = claimRunFolder(base.path() + "/");
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_FALSE(QFileInfo::exists(base.path() + "/run-999999"));
    EXPECT_TRUE(QFileInfo::exists(live));
    EXPECT_EQ(mine, QString("%1/run-%2/").arg(base.path()).arg(QCoreApplication::applicationPid()));
    EXPECT_TRUE(QFileInfo(mine).isDir());
    ::close(held);
}
