#include "av/exclusiveoutput.h"
#include "common/qtprinters.h"
#include "media/mediaengine.h"
#include "media/mediatestsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Records the component's events and where they arrived.
struct EventLog
{
    explicit EventLog(MediaConverter& media)
    {
        QObject::connect(&media, &MediaConverter::ConversionProgress, &media,
                         [this](double position, double total) {
                             onUiThread &= QThread::currentThread() == qApp->thread();
                             positions << position;
                             totals << total;
                             if (completions > 0)
                                 afterCompletion = true;
                         });
        QObject::connect(&media, &MediaConverter::ConversionComplete, &media, [this] {
            onUiThread &= QThread::currentThread() == qApp->thread();
            ++completions;
        });
    }
    bool waitForCompletion(int timeoutMs = 60000)
    {
        return QTest::qWaitFor([this] { return completions > 0; }, timeoutMs);
    }
    int events() const { return int(positions.size()) + completions; }

    QVector<double> positions;
    QVector<double> totals;
    int completions = 0;
    bool onUiThread = true;
    bool afterCompletion = false;
};

struct FormatCase
{
    const char* name;
    int format;
    short wmvProfile;
    short videoCompressor; // -1: not chosen
    short audioCompressor;
    double frameRate;
    const char* videoCodec;
    const char* audioCodec;
    const char* container;
    int width;
    int height;
    const char* rate;
};

double rateOf(const QString& text)
{
    const QStringList parts = text.split('/');
    return parts.size() == 2 && parts[1].toDouble() > 0 ? parts[0].toDouble() / parts[1].toDouble()
                                                        : 0.0;
}

int videoPackets(const QString& path)
{
    QString output;
    testmedia::run("ffprobe",
                   {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                    "stream=nb_read_packets", "-of", "csv=p=0", path},
                   &output);
    return output.trimmed().toInt();
}

} // namespace

TEST(MediaConversion, EachOutputFormatIsWhatFfprobeExpects)
{
    ensureApplication();
    const FormatCase cases[] = {
        {"WMV 320x240", 9, 0, -1, -1, 0.0, "wmv2", "wmav2", "asf", 320, 240, "30000/1001"},
        {"WMV 640x360", 9, 3, -1, -1, 0.0, "wmv2", "wmav2", "asf", 640, 360, "30000/1001"},
        {"AVI MS MPEG-4 V3 + MP3", 8, 0, 0, 0, 25.0, "msmpeg4v3", "mp3", "avi", 320, 240, "25/1"},
        {"AVI DivX + PCM", 8, 0, 1, 1, 25.0, "mpeg4", "pcm_s16le", "avi", 320, 240, "25/1"},
        {"MPEG-1", 6, 0, -1, -1, double(23.976f), "mpeg1video", "mp2", "mpeg", 320, 240,
         "24000/1001"},
    };
    const QString source = testmedia::clip("mov");
    QTemporaryDir dir;
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        MediaEngine engine;
        EventLog log(engine);
        engine.SetOutputFormat(c.format);
        engine.SetWmvProfileIndex(c.wmvProfile);
        engine.SetOutputWidth(short(c.width));
        engine.SetOutputHeight(short(c.height));
        engine.SetColorDepth(24);
        engine.SetFrameRate(c.frameRate);
        engine.SetUseVideoCompressor(c.videoCompressor >= 0);
        engine.SetVideoCompressorIndex(c.videoCompressor);
        engine.SetUseAudioCompressor(c.audioCompressor >= 0);
        engine.SetAudioCompressorIndex(c.audioCompressor);
        engine.Reset();
        engine.AddVideoSegment(source, 0.5, 2.5, 0);
        engine.AddAudioSegment(source, 0.5, 2.5);
        const QString output = dir.filePath(QString("out-%1").arg(c.name).replace(' ', '_'));
        ASSERT_TRUE(engine.ConvertToFile(output));
        ASSERT_TRUE(log.waitForCompletion());
        EXPECT_TRUE(engine.LastError().isEmpty()) << engine.LastError().toStdString();

        const QJsonObject probe = testmedia::probe(output);
        const QJsonObject video = testmedia::probeStream(probe, "video");
        const QJsonObject audio = testmedia::probeStream(probe, "audio");
        EXPECT_TRUE(probe.value("format")
                        .toObject()
                        .value("format_name")
                        .toString()
                        .split(',')
                        .contains(c.container));
        EXPECT_EQ(video["codec_name"].toString(), c.videoCodec);
        EXPECT_EQ(audio["codec_name"].toString(), c.audioCodec);
        EXPECT_EQ(video["width"].toInt(), c.width);
        EXPECT_EQ(video["height"].toInt(), c.height);
        EXPECT_EQ(video["r_frame_rate"].toString(), c.rate);
        const double frame = 1.0 / rateOf(c.rate);
        // The pictures span the segment within one frame; containers add their own
        // bookkeeping to the overall duration (ASF's preroll, MPEG's start delay).
        EXPECT_NEAR(videoPackets(output) * frame, 2.0, frame + 0.001);
        EXPECT_NEAR(probe.value("format").toObject().value("duration").toString().toDouble(), 2.0,
                    0.1);

        // Events: on this thread, in order, one completion and nothing after it.
        QTest::qWait(200);
        EXPECT_TRUE(log.onUiThread);
        EXPECT_EQ(log.completions, 1);
        EXPECT_FALSE(log.afterCompletion);
        EXPECT_TRUE(std::is_sorted(log.positions.begin(), log.positions.end()));
        ASSERT_FALSE(log.positions.isEmpty());
        EXPECT_NEAR(log.positions.back(), 2.0, 0.01);
        EXPECT_NEAR(log.totals.back(), 2.0, 0.01);
    }
}

TEST(MediaConversion, SegmentsFollowEachOther)
{
    ensureApplication();
    const QString source = testmedia::clip("avi");
    QTemporaryDir dir;
    const QString output = dir.filePath("joined.avi");
    MediaEngine engine;
    EventLog log(engine);
    engine.SetOutputFormat(8);
    engine.SetFrameRate(25.0);
    for (double start : {0.0, 2.0}) {
        engine.AddVideoSegment(source, start, start + 1.0, 0);
        engine.AddAudioSegment(source, start, start + 1.0);
    }
    ASSERT_TRUE(engine.ConvertToFile(output));
    ASSERT_TRUE(log.waitForCompletion());
    EXPECT_TRUE(engine.LastError().isEmpty()) << engine.LastError().toStdString();
    EXPECT_EQ(videoPackets(output), 50);
    const QJsonObject audio = testmedia::probeStream(testmedia::probe(output), "audio");
    EXPECT_NEAR(audio.value("duration").toString().toDouble(), 2.0, 0.05);
    EXPECT_NEAR(log.totals.back(), 2.0, 0.01);
}

TEST(MediaConversion, ASourceWithOneKindOfStreamGivesThatKindAlone)
{
    ensureApplication();
    struct Case
    {
        QString source;
        int format;
        const char* present;
        const char* absent;
        const char* codec;
    };
    const Case cases[] = {
        {testmedia::audioOnly("mp3"), 9, "audio", "video", "wmav2"},
        {testmedia::audioOnly("wav"), 6, "audio", "video", "mp2"},
        {testmedia::videoOnly("avi"), 9, "video", "audio", "wmv2"},
        {testmedia::videoOnly("mpg"), 8, "video", "audio", "msmpeg4v3"},
    };
    QTemporaryDir dir;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source.toStdString());
        MediaEngine engine;
        EventLog log(engine);
        engine.SetOutputFormat(c.format);
        engine.SetOutputWidth(320);
        engine.SetOutputHeight(240);
        engine.SetFrameRate(25.0);
        engine.AddVideoSegment(c.source, 0.0, 2.0, 0);
        engine.AddAudioSegment(c.source, 0.0, 2.0);
        const QString output = dir.filePath(QString("only%1").arg(n++));
        ASSERT_TRUE(engine.ConvertToFile(output));
        ASSERT_TRUE(log.waitForCompletion());
        EXPECT_TRUE(engine.LastError().isEmpty()) << engine.LastError().toStdString();
        const QJsonObject probe = testmedia::probe(output);
        EXPECT_EQ(testmedia::probeStream(probe, c.present)["codec_name"].toString(), c.codec);
        EXPECT_TRUE(testmedia::probeStream(probe, c.absent).isEmpty());
        EXPECT_NEAR(probe.value("format").toObject().value("duration").toString().toDouble(), 2.0,
                    0.05);
    }
}

TEST(MediaConversion, StopEndsTheWorkQuicklyAndSilencesItsEvents)
{
    ensureApplication();
    const QString source = testmedia::clip("avi", 20);
    QTemporaryDir dir;
    const QString output = dir.filePath("stopped.wmv");
    MediaEngine engine;
    EventLog log(engine);
    engine.SetOutputFormat(9);
    engine.SetWmvProfileIndex(2);
    engine.AddVideoSegment(source, 0.0, 20.0, 0);
    engine.AddAudioSegment(source, 0.0, 20.0);
    ASSERT_TRUE(engine.ConvertToFile(output));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.positions.isEmpty(); }, 10000));
    ASSERT_EQ(log.completions, 0) << "the conversion ended before it could be stopped";

    QElapsedTimer timer;
    timer.start();
    engine.StopConversion();
    EXPECT_LT(timer.elapsed(), 500);
    const int eventsAtStop = log.events();
    QTest::qWait(1000);
    EXPECT_EQ(log.events(), eventsAtStop);
    EXPECT_FALSE(engine.isConverting());
    // What was converted is kept as a file that plays.
    EXPECT_FALSE(testmedia::probeStream(testmedia::probe(output), "video").isEmpty());
}

// The source of the first conversion answers slowly, as a file on a stalled network
// share does: that conversion hears of its stop only once the source answers. Nothing
// waits for it meanwhile; the next conversion starts after it has ended, and nothing it
// reports late is taken for the next one's.
TEST(MediaConversion, AStopNeverWaitsAndTheNextConversionFollowsTheStoppedOne)
{
    ensureApplication();
    std::atomic<bool> answer{false};
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    MediaEngine engine([&](const ConversionJob& job, const std::atomic<bool>& cancel,
                           const std::function<void(double, double)>& progress) {
        mostRunning = std::max(mostRunning.load(), ++running);
        const double length = job.videoSegments.at(0).end - job.videoSegments.at(0).start;
        progress(0.0, length);
        while (!answer)
            QThread::msleep(5);
        progress(length, length);
        --running;
        if (cancel)
            return ConversionOutcome{true, {}, FailureKind::None};
        job.output->keep();
        return ConversionOutcome{};
    });
    EventLog log(engine);
    const QString source = testmedia::clip("avi");
    QTemporaryDir dir;
    engine.AddVideoSegment(source, 0.0, 2.0, 0);
    engine.AddAudioSegment(source, 0.0, 2.0);
    ASSERT_TRUE(engine.ConvertToFile(dir.filePath("first.wmv")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.positions.isEmpty(); }, 10000));

    QElapsedTimer timer;
    timer.start();
    engine.StopConversion();
    EXPECT_LT(timer.elapsed(), 500);
    engine.Reset();
    engine.AddVideoSegment(source, 0.0, 1.0, 0);
    engine.AddAudioSegment(source, 0.0, 1.0);
    timer.restart();
    ASSERT_TRUE(engine.ConvertToFile(dir.filePath("second.wmv")));
    EXPECT_LT(timer.elapsed(), 500);
    log.totals.clear();
    QTest::qWait(300);
    EXPECT_TRUE(log.totals.isEmpty()) << "the second began while the first still ran";

    answer = true;
    ASSERT_TRUE(log.waitForCompletion());
    QTest::qWait(200);
    EXPECT_EQ(log.completions, 1);
    EXPECT_EQ(engine.LastError(), "");
    EXPECT_EQ(log.totals, (QVector<double>{1.0, 1.0})) << "only the second's own progress";
    EXPECT_EQ(mostRunning, 1);
}

// Seconds where the last packet of `stream` ("v:0", "a:0") ends.
double streamEnd(const QString& path, const QString& stream)
{
    QString output;
    testmedia::run("ffprobe",
                   {"-v", "error", "-select_streams", stream, "-show_entries",
                    "packet=pts_time,duration_time", "-of", "csv=p=0", path},
                   &output);
    double end = 0.0;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(',');
        if (fields.size() == 2)
            end = std::max(end, fields[0].toDouble() + fields[1].toDouble());
    }
    return end;
}

// A stop closes the file as the end does: the encoders give out what they still hold
// first, so that the file decodes without a fault and its sound lasts to its picture's end.
TEST(MediaConversion, AStoppedConversionLeavesAWholeFile)
{
    ensureApplication();
    const QString source = testmedia::clip("avi", 20);
    struct Case
    {
        const char* name;
        int format;
        short compressor; // -1: the WMV profile's
    } cases[] = {{"stopped.wmv", MediaConverter::FormatWmv, -1}, {"stopped.avi", 8, 0}};
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString output = dir.filePath(c.name);
        {
            MediaEngine engine;
            EventLog log(engine);
            engine.SetOutputFormat(c.format);
            engine.SetWmvProfileIndex(0);
            engine.SetOutputWidth(320);
            engine.SetOutputHeight(240);
            engine.SetFrameRate(25.0);
            engine.SetUseVideoCompressor(c.compressor >= 0);
            engine.SetVideoCompressorIndex(c.compressor);
            engine.SetUseAudioCompressor(c.compressor >= 0);
            engine.SetAudioCompressorIndex(c.compressor);
            engine.Reset();
            engine.AddVideoSegment(source, 0.0, 20.0, 0);
            engine.AddAudioSegment(source, 0.0, 20.0);
            ASSERT_TRUE(engine.ConvertToFile(output));
            ASSERT_TRUE(QTest::qWaitFor([&] { return !log.positions.isEmpty(); }, 10000));
            ASSERT_EQ(log.completions, 0) << "the conversion ended before it could be stopped";
            engine.StopConversion();
        } // a stop returns at once: the engine ends the stopped conversion before it goes

        QString faults;
        EXPECT_EQ(
            testmedia::run("ffmpeg", {"-v", "error", "-i", output, "-f", "null", "-"}, &faults), 0);
        EXPECT_TRUE(faults.trimmed().isEmpty()) << faults.toStdString();
        const double pictureEnd = streamEnd(output, "v:0");
        const double soundEnd = streamEnd(output, "a:0");
        EXPECT_GT(pictureEnd, 0.0);
        EXPECT_LT(pictureEnd, 19.0) << "the stop came too late to test anything";
        // The sound is handed out never behind the picture, and the MP3 encoder holds back
        // more than a frame of it: unless given out, the sound would end first.
        EXPECT_GE(soundEnd, pictureEnd);
    }
}

// A segment's sound starts at its sample, though MP3 in AVI counts its time in packets
// of 26 ms: PCM out, compared with the source's own sound from the same moment.
TEST(MediaConversion, ASegmentsSoundStartsAtItsSample)
{
    ensureApplication();
    const QString source = testmedia::clip("avi", 4);
    QTemporaryDir dir;
    const QString output = dir.filePath("pcm.avi");
    MediaEngine engine;
    EventLog log(engine);
    engine.SetOutputFormat(8);
    engine.SetUseVideoCompressor(true);
    engine.SetVideoCompressorIndex(1);
    engine.SetUseAudioCompressor(true);
    engine.SetAudioCompressorIndex(1);
    engine.Reset();
    engine.AddVideoSegment(source, 1.52, 3.0, 0);
    engine.AddAudioSegment(source, 1.52, 3.0);
    ASSERT_TRUE(engine.ConvertToFile(output));
    ASSERT_TRUE(log.waitForCompletion());
    ASSERT_TRUE(engine.LastError().isEmpty()) << engine.LastError().toStdString();
    QString stats;
    testmedia::run("ffmpeg",
                   {"-v", "info", "-nostdin", "-i", source, "-i", output, "-lavfi",
                    "[0:a]atrim=start=1.52,asetpts=PTS-STARTPTS,pan=mono|c0=c0,"
                    "atrim=start=0.1:end=1[a];[1:a]pan=mono|c0=c0,atrim=start=0.1:end=1[b];"
                    "[a][b]amerge,pan=mono|c0=c0-c1,astats=metadata=0",
                    "-f", "null", "-"},
                   &stats);
    const qsizetype at = stats.indexOf("RMS level dB: ");
    ASSERT_GE(at, 0) << stats.toStdString();
    // About -32 dB as it is; a sound a few milliseconds off differs by -18 dB or more.
    EXPECT_LT(stats.mid(at + 14).section('\n', 0, 0).toDouble(), -25) << "the sound is shifted";
}

TEST(MediaConversion, SourcesThatCannotBeReadAreRefused)
{
    ensureApplication();
    QTemporaryDir dir;
    QFile empty(dir.filePath("empty.avi"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    const QString output = dir.filePath("out.wmv");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("folder.avi")));
    for (const QString& source :
         {dir.filePath("missing.avi"), dir.filePath("empty.avi"), dir.filePath("folder.avi")}) {
        MediaEngine engine;
        EventLog log(engine);
        engine.AddVideoSegment(source, 0.0, 2.0, 0);
        engine.AddAudioSegment(source, 0.0, 2.0);
        EXPECT_FALSE(engine.ConvertToFile(output));
        EXPECT_FALSE(engine.LastError().isEmpty());
        QTest::qWait(100);
        EXPECT_EQ(log.events(), 0);
        EXPECT_FALSE(QFileInfo::exists(output));
    }

    // A pipe would keep the reader waiting for a writer; one opened here ends the wait
    // should the component wait after all.
    const QString pipe = dir.filePath("pipe.avi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    MediaEngine engine;
    auto duration = std::async(std::launch::async, [&] { return engine.GetDuration(pipe); });
    const bool answered = duration.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!answered)
        ::close(::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK));
    EXPECT_TRUE(answered);
    EXPECT_EQ(duration.get(), 0.0);
    if (answered) {
        engine.AddVideoSegment(pipe, 0.0, 2.0, 0);
        engine.AddAudioSegment(pipe, 0.0, 2.0);
        EXPECT_FALSE(engine.ConvertToFile(output));
        EXPECT_FALSE(QFileInfo::exists(output));
    }

    MediaEngine nothingAdded;
    EXPECT_FALSE(nothingAdded.ConvertToFile(output));
    MediaEngine noFolder;
    noFolder.AddVideoSegment(testmedia::clip("avi"), 0.0, 1.0, 0);
    EXPECT_FALSE(noFolder.ConvertToFile(dir.filePath("no/such/folder/out.wmv")));
}

// A conversion that fails on its way still completes, says why and leaves no file.
TEST(MediaConversion, FailuresCompleteWithAReasonAndRemoveTheOutput)
{
    ensureApplication();
    QTemporaryDir dir;
    const QString damaged = damagedCopy(testmedia::clip("avi"), dir.filePath("damaged.avi"), 4096);
    struct Case
    {
        QString source;
        QString output;
        bool removed;
    };
    const Case cases[] = {
        {damaged, dir.filePath("from-damaged.wmv"), true},
        // A full disk; the device itself must stay.
        {testmedia::clip("avi"), "/dev/full", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output.toStdString());
        MediaEngine engine;
        EventLog log(engine);
        engine.AddVideoSegment(c.source, 0.0, 3.0, 0);
        engine.AddAudioSegment(c.source, 0.0, 3.0);
        if (engine.ConvertToFile(c.output)) {
            ASSERT_TRUE(log.waitForCompletion());
            QTest::qWait(100);
            EXPECT_EQ(log.completions, 1);
        }
        EXPECT_FALSE(engine.LastError().isEmpty());
        EXPECT_EQ(QFileInfo::exists(c.output), !c.removed);
    }
}

// The picture shown last stays for its own time: a slide show's last slide, a source of
// one still picture.
TEST(MediaConversion, TheLastPictureKeepsItsTime)
{
    ensureApplication();
    QTemporaryDir dir;
    const struct
    {
        QString source;
        double length;
        double seconds;
    } cases[] = {
        {testmedia::make(
             "slides1fps.avi",
             {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=1:duration=3", "-c:v", "mpeg4"}),
         3.0, 3.0},
        {testmedia::make("still.png",
                         {"-f", "lavfi", "-i", "testsrc=size=160x120", "-frames:v", "1"}),
         0.04, 0.04},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.toStdString());
        MediaEngine engine;
        EventLog log(engine);
        engine.SetOutputFormat(MediaConverter::FormatAvi);
        engine.SetOutputWidth(320);
        engine.SetOutputHeight(240);
        engine.SetFrameRate(25.0);
        engine.AddVideoSegment(c.source, 0.0, c.length, 0);
        const QString output = dir.filePath(QString("last%1.avi").arg(n++));
        ASSERT_TRUE(engine.ConvertToFile(output)) << engine.LastError().toStdString();
        ASSERT_TRUE(log.waitForCompletion());
        EXPECT_TRUE(engine.LastError().isEmpty()) << engine.LastError().toStdString();
        const QJsonObject video = testmedia::probeStream(testmedia::probe(output), "video");
        EXPECT_NEAR(video.value("duration").toString().toDouble(), c.seconds, 0.05);
    }
}

namespace {

void setUpWmv(MediaEngine& engine, const QString& source)
{
    engine.SetOutputFormat(MediaConverter::FormatWmv);
    engine.SetWmvProfileIndex(0);
    engine.AddVideoSegment(source, 0.0, 2.0, 0);
    engine.AddAudioSegment(source, 0.0, 2.0);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Two conversions with one title into one folder: the first takes the name, the second
// is refused at once (so that the caller can choose another name) and changes nothing.
TEST(MediaConversion, TheFirstConversionToANameKeepsIt)
{
    ensureApplication();
    enum Taker
    {
        RunningConversion,
        FinishedConversion,
        LinkToNowhere
    };
    const struct
    {
        const char* name;
        Taker taker;
    } cases[] = {
        {"a conversion still running", RunningConversion},
        {"a finished conversion", FinishedConversion},
        {"a link to a missing file", LinkToNowhere},
    };
    const QString source = testmedia::clip("avi");
    QTemporaryDir dir;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString output = dir.filePath(QString("Title%1.wmv").arg(n));
        const QString nowhere = dir.filePath(QString("nowhere%1.wmv").arg(n++));
        MediaEngine first;
        EventLog firstLog(first);
        setUpWmv(first, source);
        if (c.taker == LinkToNowhere) {
            ASSERT_TRUE(QFile::link(nowhere, output));
        } else {
            ASSERT_TRUE(first.ConvertToFile(output)) << first.LastError().toStdString();
            if (c.taker == FinishedConversion) {
                ASSERT_TRUE(firstLog.waitForCompletion());
            }
        }
        const QByteArray before = contents(output);

        MediaEngine second;
        EventLog secondLog(second);
        setUpWmv(second, source);
        EXPECT_FALSE(second.ConvertToFile(output));
        EXPECT_EQ(second.LastError(),
                  QString("The file %1 already exists; it is not replaced").arg(output));

        if (c.taker == LinkToNowhere) {
            EXPECT_FALSE(QFileInfo::exists(nowhere)) << "the link was followed";
            continue;
        }
        ASSERT_TRUE(firstLog.waitForCompletion());
        QTest::qWait(100);
        EXPECT_EQ(secondLog.events(), 0);
        EXPECT_TRUE(first.LastError().isEmpty()) << first.LastError().toStdString();
        if (c.taker == FinishedConversion) {
            EXPECT_TRUE(contents(output) == before);
        }
        const QJsonObject probe = testmedia::probe(output);
        EXPECT_EQ(testmedia::probeStream(probe, "video")["codec_name"].toString(), "wmv2");
        EXPECT_NEAR(probe["format"].toObject()["duration"].toString().toDouble(), 2.0, 0.1);
    }
}

// Once a conversion is accepted, someone who may write to the folder swaps the name for
// a link to another file (or for that file itself) before anything is written. The
// conversion writes into the file it made and nowhere else.
TEST(MediaConversion, AConversionWritesOnlyTheFileItMade)
{
    ensureApplication();
    const struct
    {
        const char* name;
        int format;
        bool symbolic;
        const char* videoCodec;
    } cases[] = {
        {"WMV, a link", MediaConverter::FormatWmv, true, "wmv2"},
        {"AVI, a link", MediaConverter::FormatAvi, true, "msmpeg4v3"},
        {"MPEG, the other file itself", MediaConverter::FormatMpeg, false, "mpeg1video"},
    };
    const QString source = testmedia::clip("avi");
    QTemporaryDir dir;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString output = dir.filePath(QString("out%1").arg(n));
        const QString kept = dir.filePath(QString("kept%1").arg(n));
        const QString victim = dir.filePath(QString("victim%1").arg(n++));
        const QByteArray victimBytes(100000, 'v');
        {
            QFile file(victim);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(victimBytes);
        }
        MediaEngine engine;
        EventLog log(engine);
        engine.SetOutputFormat(c.format);
        engine.SetOutputWidth(320);
        engine.SetOutputHeight(240);
        engine.SetFrameRate(25.0);
        engine.AddVideoSegment(source, 0.0, 2.0, 0);
        engine.AddAudioSegment(source, 0.0, 2.0);
        ASSERT_TRUE(engine.ConvertToFile(output)) << engine.LastError().toStdString();
        // The name it is written under until it is whole.
        const QByteArray name = QFile::encodeName(dir.filePath(
            QString(".out%1.%2.part").arg(n - 1).arg(QCoreApplication::applicationPid())));
        ASSERT_EQ(::link(name.constData(), QFile::encodeName(kept).constData()), 0);
        ASSERT_EQ(::unlink(name.constData()), 0);
        ASSERT_EQ(c.symbolic ? ::symlink(QFile::encodeName(victim).constData(), name.constData())
                             : ::link(QFile::encodeName(victim).constData(), name.constData()),
                  0);
        ASSERT_TRUE(log.waitForCompletion());
        // What is at the working name is not ours: it does not take the output's name.
        EXPECT_FALSE(engine.LastError().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(output));

        EXPECT_TRUE(contents(victim) == victimBytes) << "the other file was changed";
        EXPECT_TRUE(QFileInfo(QFile::decodeName(name)).exists() ||
                    QFileInfo(QFile::decodeName(name)).isSymLink())
            << "what was put at the name was removed";
        const QJsonObject probe = testmedia::probe(kept);
        EXPECT_EQ(testmedia::probeStream(probe, "video")["codec_name"].toString(), c.videoCodec);
        EXPECT_NEAR(probe["format"].toObject()["duration"].toString().toDouble(), 2.0, 0.1);
    }
}

// A conversion stopped before it wrote anything leaves no empty file behind.
TEST(MediaConversion, AStopBeforeTheFirstWriteLeavesNoEmptyFile)
{
    ensureApplication();
    QTemporaryDir dir;
    const QString output = dir.filePath("stopped.wmv");
    MediaEngine engine;
    EventLog log(engine);
    setUpWmv(engine, testmedia::clip("avi"));
    ASSERT_TRUE(engine.ConvertToFile(output));
    EXPECT_EQ(
        QDir(dir.path()).entryList({".stopped.wmv.*.part"}, QDir::Files | QDir::Hidden).size(), 1)
        << "the name is taken at once";
    engine.StopConversion();
    QTest::qWait(200);
    EXPECT_EQ(log.events(), 0);
    // Either nothing, or what a stop keeps: a file that opens.
    EXPECT_TRUE(!QFileInfo::exists(output) || !testmedia::probe(output).isEmpty())
        << QFileInfo(output).size();
}

// A picture the filters cannot take fails the conversion with the reason; it is not
// reported as done with a file that holds only the sound. Pixels 200 times as wide as
// high (a damaged header) leave no line of picture once fitted into the frame.
TEST(MediaConversion, APictureTheFiltersRefuseFailsTheConversion)
{
    ensureApplication();
    const QString source = testmedia::make(
        "pixels-200-wide.avi", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=2",
                                "-f", "lavfi", "-i", "sine=duration=2", "-vf",
                                "setsar=sar=200/1:max=200", "-c:v", "mpeg4", "-c:a", "libmp3lame"});
    ASSERT_FALSE(source.isEmpty());
    QTemporaryDir dir;
    const QString output = dir.filePath("wide.wmv");
    MediaEngine engine;
    EventLog log(engine);
    setUpWmv(engine, source);
    ASSERT_TRUE(engine.ConvertToFile(output)) << engine.LastError().toStdString();
    ASSERT_TRUE(log.waitForCompletion());
    QTest::qWait(100);
    EXPECT_EQ(log.completions, 1);
    const QString error = engine.LastError();
    EXPECT_TRUE(error.contains("picture") && error.contains(source)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(output));
}

// A phone's portrait video comes out upright, in bars at its sides, as in the encoder.
TEST(MediaConversion, APortraitPhoneVideoStandsUpright)
{
    ensureApplication();
    const QString band = testmedia::make(
        "band320.mp4",
        {"-f", "lavfi", "-i", "color=black:s=320x240:d=2,drawbox=y=0:w=320:h=60:c=white:t=fill",
         "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    // ffmpeg's muxer writes this tag as a counter-clockwise turn: the band stands left.
    const QString portrait =
        testmedia::make("portrait.mp4", {"-i", band, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    QTemporaryDir dir;
    const QString output = dir.filePath("upright.avi");
    MediaEngine engine;
    EventLog log(engine);
    engine.SetOutputFormat(8);
    engine.SetFrameRate(25.0);
    engine.SetOutputWidth(320);
    engine.SetOutputHeight(240);
    engine.AddVideoSegment(portrait, 0.0, 1.0, 0);
    ASSERT_TRUE(engine.ConvertToFile(output));
    ASSERT_TRUE(log.waitForCompletion());
    ASSERT_TRUE(engine.LastError().isEmpty()) << engine.LastError().toStdString();
    auto luma = [&](const QString& crop) {
        QString out;
        testmedia::run("ffmpeg",
                       {"-hide_banner", "-i", output, "-frames:v", "1", "-vf",
                        "crop=" + crop + ",signalstats,metadata=print:key=lavfi.signalstats.YAVG",
                        "-f", "null", "-"},
                       &out);
        return out.section("YAVG=", 1).section('\n', 0, 0).trimmed().toDouble();
    };
    EXPECT_GT(luma("30:160:75:40"), 180); // the band, at the upright picture's left
    EXPECT_LT(luma("50:160:10:40"), 30);  // the bar
    EXPECT_LT(luma("50:160:180:40"), 30);
}
