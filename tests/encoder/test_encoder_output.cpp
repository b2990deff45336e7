// What the encoder writes, judged by ffprobe and ffmpeg against what a Zune plays.
#include "encoder/encoderrun.h"

#include "common/testmedia.h"
#include "engine/commandexpander.h"
#include "engine/task.h"

#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace encoderrun;

namespace {

struct ZuneExpectation
{
    QString videoCodec = "h264";
    int width = 320, height = 240;
    int level = 13;
    QString aspect = "4:3";
    int videoKbps = 768;
    int channels = 2;
    int sampleRate = 48000;
    int audioKbps = 64;
    double duration = 3.0;
    // Whole sources end where their own codecs end them (ASF pads its sound, for one).
    double durationTolerance = 0.1;
};

void expectZunePlayable(const QString& path, const ZuneExpectation& e)
{
    SCOPED_TRACE(path.toStdString());
    const QJsonObject probe = testmedia::probe(path);
    ASSERT_FALSE(probe.isEmpty()) << "ffprobe cannot read the output";
    const QJsonObject format = probe.value("format").toObject();
    const QJsonObject tags = format.value("tags").toObject();
    EXPECT_TRUE(tags.value("major_brand").toString() == "isom" ||
                tags.value("major_brand").toString() == "mp42");
    EXPECT_EQ(tags.value("title").toString(), "Clip");
    const QStringList boxes = topLevelBoxes(path);
    EXPECT_GE(boxes.indexOf("moov"), 0);
    EXPECT_LT(boxes.indexOf("moov"), boxes.indexOf("mdat")) << boxes.join(' ').toStdString();

    const QJsonObject video = testmedia::probeStream(probe, "video");
    ASSERT_FALSE(video.isEmpty());
    EXPECT_EQ(video.value("codec_name").toString(), e.videoCodec);
    if (e.videoCodec == "h264") {
        EXPECT_TRUE(video.value("profile").toString().contains("Baseline"))
            << video.value("profile").toString().toStdString();
        EXPECT_EQ(video.value("has_b_frames").toInt(), 0);
        EXPECT_EQ(video.value("level").toInt(), e.level);
        EXPECT_NEAR(number(video, "bit_rate") / 1000.0, e.videoKbps, e.videoKbps * 0.1);
    } else {
        EXPECT_EQ(video.value("profile").toString(), "Simple Profile");
        EXPECT_GT(video.value("level").toInt(), 0);
    }
    EXPECT_EQ(video.value("pix_fmt").toString(), "yuv420p");
    EXPECT_EQ(video.value("width").toInt(), e.width);
    EXPECT_EQ(video.value("height").toInt(), e.height);
    EXPECT_EQ(video.value("r_frame_rate").toString(), "30000/1001");
    EXPECT_EQ(video.value("display_aspect_ratio").toString(), e.aspect);

    const QJsonObject audio = testmedia::probeStream(probe, "audio");
    ASSERT_FALSE(audio.isEmpty());
    EXPECT_EQ(audio.value("codec_name").toString(), "aac");
    EXPECT_EQ(audio.value("profile").toString(), "LC");
    EXPECT_EQ(audio.value("channels").toInt(), e.channels);
    EXPECT_EQ(number(audio, "sample_rate"), e.sampleRate);
    EXPECT_NEAR(number(audio, "bit_rate") / 1000.0, e.audioKbps, e.audioKbps * 0.1);

    EXPECT_NEAR(number(format, "duration"), e.duration, e.durationTolerance);
}

class EncoderOutput : public ::testing::Test
{
protected:
    QString out(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

// Frames whose brightness counts the frame number, so a picture tells its time.
QString countingSource()
{
    return testmedia::make("counting6s.avi",
                           {"-f", "lavfi", "-i",
                            "color=black:size=320x240:rate=25:duration=6,format=yuv420p,geq=lum='"
                            "16+mod(N*7\\,210)':cb=128:cr=128",
                            "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=6",
                            "-c:v", "mpeg4", "-q:v", "2", "-g", "100", "-c:a", "libmp3lame", "-b:a",
                            "96k"});
}

// How loud, in dB, the output's sound differs from the source's from `start` ("1.5",
// "00:00:01.5") on, over its first second: the coding leaves about -32 dB of it, a sound
// a few milliseconds off about -18 dB.
double soundDifferenceDb(const QString& source, QString start, const QString& output)
{
    double seconds = 0;
    for (const QString& part : start.split(':'))
        seconds = seconds * 60 + part.toDouble();
    start = QString::number(seconds, 'f', 6);
    QString log;
    testmedia::run("ffmpeg",
                   {"-v", "info", "-nostdin", "-i", source, "-i", output, "-lavfi",
                    "[0:a]atrim=start=" + start +
                        ",asetpts=PTS-STARTPTS,aresample=48000,pan=mono|c0=c0,"
                        "atrim=start=0.1:end=1[a];[1:a]pan=mono|c0=c0,atrim=start=0.1:end=1[b];"
                        "[a][b]amerge,pan=mono|c0=c0-c1,astats=metadata=0",
                    "-f", "null", "-"},
                   &log);
    const qsizetype at = log.indexOf("RMS level dB: ");
    return at < 0 ? 0.0 : log.mid(at + 14).section('\n', 0, 0).toDouble();
}

} // namespace

TEST_F(EncoderOutput, EveryContainerBecomesAZunePlayableFile)
{
    for (const QString ext : {"avi", "mpg", "vob", "wmv", "mov", "3gp", "rm"}) {
        const QString source = testmedia::clip(ext);
        ASSERT_FALSE(source.isEmpty()) << ext.toStdString();
        const QString output = out("from-" + ext + ".mp4");
        const Result r = run(zuneArgs(source, output));
        ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
        expectZunePlayable(output, {});
    }
}

TEST_F(EncoderOutput, SettingsReachTheFile)
{
    const QString source = testmedia::clip("avi");
    const struct
    {
        QStringList changes;
        ZuneExpectation expected;
        QString note; // what the encoder must say about a setting it could not keep
    } cases[] = {
        // Level 1.3 holds 768 kbit/s but not the window's default 1200.
        {{"-b", "1200"}, {.level = 20, .videoKbps = 1200}, "using level 2"},
        {{"-s", "640x480", "-b", "1500"},
         {.width = 640, .height = 480, .level = 30, .videoKbps = 1500},
         "using level 3"},
        {{"-ar", "54000", "-ac", "1", "-ab", "96"},
         {.channels = 1, .audioKbps = 96},
         "using 48000 Hz"},
        {{"-ar", "22050", "-ab", "48"}, {.sampleRate = 22050, .audioKbps = 48}, ""},
        {{"-vcodec", "xvid"}, {.videoCodec = "mpeg4"}, ""},
        {{"-aspect", "16:9"}, {.aspect = "16:9"}, ""},
        {{"-s", "480x272", "-aspect", "16:9", "-vlevel", "21", "-bufsize", "1500", "-b", "1500"},
         {.width = 480, .height = 272, .level = 21, .aspect = "16:9", .videoKbps = 1500},
         ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes.join(' ').toStdString());
        const QString output = out(QString("settings%1.mp4").arg(n++));
        const Result r = run(zuneArgs(source, output, c.changes));
        ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
        if (!c.note.isEmpty()) {
            EXPECT_TRUE(r.output.contains(c.note)) << r.output.toStdString();
        }
        expectZunePlayable(output, c.expected);
    }
}

TEST_F(EncoderOutput, FitsThePictureWithoutDistortion)
{
    // A 4:3 picture in a 16:9 frame: black bars left and right, the picture in between.
    const QString output = out("pillarbox.mp4");
    const Result r = run(zuneArgs(testmedia::clip("avi"), output, {"-aspect", "16:9"}));
    ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
    EXPECT_LE(firstFrameLuma(output, {}, "16:240:0:0"), 20);
    EXPECT_LE(firstFrameLuma(output, {}, "16:240:304:0"), 20);
    EXPECT_GT(firstFrameLuma(output, {}, "160:240:80:0"), 40);
}

TEST_F(EncoderOutput, StartsAndEndsWhereAskedToTheFrame)
{
    const QString source = countingSource();
    ASSERT_FALSE(source.isEmpty());
    const struct
    {
        QString start, length;
        double seconds;
    } cases[] = {
        {"00:00:02", "00:00:02", 2.0},
        {"1.52", "1.5", 1.5},
        {"00:00:03.88", "00:00:01", 1.0}, // far from the source's only key frame
        {"0", "00:00:02.5", 2.5},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE((c.start + " " + c.length).toStdString());
        const QString output = out(QString("trim%1.mp4").arg(n++));
        const Result r = run(zuneArgs(source, output, {"-ss", c.start, "-t", c.length}));
        ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
        const QJsonObject probe = testmedia::probe(output);
        EXPECT_NEAR(number(probe.value("format").toObject(), "duration"), c.seconds,
                    1001.0 / 30000);
        EXPECT_NEAR(number(testmedia::probeStream(probe, "audio"), "duration"), c.seconds, 0.03);
        // The sound starts at its sample, though MP3 in AVI counts its time in packets.
        EXPECT_LT(soundDifferenceDb(source, c.start, output), -25);
        const int expected = firstFrameLuma(source, c.start);
        ASSERT_GE(expected, 0);
        EXPECT_NEAR(firstFrameLuma(output), expected, 3);
    }
}

TEST_F(EncoderOutput, SourcesWithOneKindOfStreamGiveOneKindOfOutput)
{
    const QString videoOnly = out("video-only.mp4");
    Result r = run(zuneArgs(testmedia::videoOnly("avi"), videoOnly));
    ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
    QJsonObject probe = testmedia::probe(videoOnly);
    EXPECT_EQ(testmedia::probeStream(probe, "video").value("codec_name").toString(), "h264");
    EXPECT_TRUE(testmedia::probeStream(probe, "audio").isEmpty());

    // The add dialog offers Windows Media Audio: it becomes music for the Zune.
    const QString audioOnly = out("audio-only.mp4");
    r = run(zuneArgs(testmedia::audioOnly("wma"), audioOnly));
    ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
    probe = testmedia::probe(audioOnly);
    EXPECT_TRUE(testmedia::probeStream(probe, "video").isEmpty());
    const QJsonObject audio = testmedia::probeStream(probe, "audio");
    EXPECT_EQ(audio.value("codec_name").toString(), "aac");
    EXPECT_EQ(audio.value("profile").toString(), "LC");
    EXPECT_NEAR(number(probe.value("format").toObject(), "duration"), 3.0, 0.1);
}

TEST_F(EncoderOutput, EveryDefaultProfileConvertsFromTheAppFolder)
{
    // The profile file as the program reads it, expanded as a batch does, started the
    // way the runner starts it.
    const QString appFolder = QStringLiteral(TRELVO_BIN_DIR "/app");
    const QString source = testmedia::clip("mov");
    TaskList tasks;
    Task task = makeTask(source, 3.0, 0, 0);
    task.startTime = 0.5;
    task.endTime = 2.5;
    task.title = "Mum's \"Best\" Clip";
    tasks.add(task);
    for (int profile = 0; profile <= 4; ++profile) {
        SCOPED_TRACE(profile);
        task.mp4Profile = profile;
        tasks.set(0, task);
        const QString output = out(QString("profile %1.mp4").arg(profile));
        const QString line = expandCommand(tasks, 0, output, appFolder);
        EXPECT_FALSE(line.contains('$')) << line.toStdString();
        QStringList args = QProcess::splitCommand(line);
        ASSERT_FALSE(args.isEmpty());
        EXPECT_EQ(args.first(), "./trelvo-encoder");
        QProcess process;
        process.setWorkingDirectory(appFolder);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(args.takeFirst(), args);
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAll().toStdString();
        const QJsonObject probe = testmedia::probe(output);
        EXPECT_EQ(
            probe.value("format").toObject().value("tags").toObject().value("title").toString(),
            task.title);
        EXPECT_NEAR(number(probe.value("format").toObject(), "duration"), 2.0, 1001.0 / 30000);
    }
}

// The picture shown last stays for its own time, however long: a slide show's last slide,
// a source of one still picture.
TEST_F(EncoderOutput, TheLastPictureKeepsItsTime)
{
    const struct
    {
        QString source;
        double seconds;
    } cases[] = {
        {testmedia::make(
             "slides1fps.avi",
             {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=1:duration=3", "-c:v", "mpeg4"}),
         3.0},
        {testmedia::make("still.png",
                         {"-f", "lavfi", "-i", "testsrc=size=160x120", "-frames:v", "1"}),
         1 / 29.97},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.toStdString());
        const QString output = out(QString("last%1.mp4").arg(n++));
        const Result r = run(zuneArgs(c.source, output));
        ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
        const QJsonObject video = testmedia::probeStream(testmedia::probe(output), "video");
        EXPECT_NEAR(number(video, "duration"), c.seconds, 0.05);
    }
}
