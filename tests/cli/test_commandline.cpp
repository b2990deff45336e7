// The command line end to end: the real program, encoder and media component on files
// made for the test.
#include "cli/cli.h"
#include "common/qtprinters.h"
#include "common/testmedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

namespace {

QString codecOf(const QString& path, const QString& type)
{
    return testmedia::probeStream(testmedia::probe(path), type).value("codec_name").toString();
}

// Processes whose command line names `text`, other than this test.
int processesNaming(const QString& text)
{
    QString output;
    testmedia::run("pgrep", {"-f", text}, &output);
    return int(output.split('\n', Qt::SkipEmptyParts).size());
}

} // namespace

TEST(CommandLine, ConvertsIntoOneFolderWithNumberedNames)
{
    Cli cli;
    const QString avi = testmedia::clip("avi");
    const QString rm = testmedia::clip("rm");
    const QString mov = testmedia::clip("mov");
    // A second source with the same base name as the first.
    QDir().mkpath(cli.home.path() + "/other");
    const QString sameName = cli.home.path() + "/other/" + QFileInfo(avi).fileName();
    QFile::copy(avi, sameName);

    QString output;
    ASSERT_EQ(cli.run({"--convert", avi, rm, sameName, "--output", cli.out()}, &output), 0)
        << output.toStdString();
    const QString base = QFileInfo(avi).completeBaseName();
    EXPECT_EQ(codecOf(cli.out() + "/" + base + ".mp4", "video"), "h264");
    EXPECT_EQ(codecOf(cli.out() + "/" + base + "_2.mp4", "video"), "h264");
    const QString rmOut = cli.out() + "/" + QFileInfo(rm).completeBaseName() + ".mp4";
    EXPECT_EQ(codecOf(rmOut, "video"), "h264");
    EXPECT_EQ(codecOf(rmOut, "audio"), "aac");
    EXPECT_NEAR(testmedia::probeDuration(rmOut), 3.0, 0.2);
    EXPECT_TRUE(output.contains("Converting Finished: 3 converted, 0 failed"))
        << output.toStdString();
    // The pre-conversion leaves no intermediate file behind.
    EXPECT_TRUE(QDir(cli.home.path() + "/cache/trelvo-converter").isEmpty());

    ASSERT_EQ(cli.run({"--convert", mov, "--wmv", "--output", cli.out()}, &output), 0)
        << output.toStdString();
    const QString wmv = cli.out() + "/" + QFileInfo(mov).completeBaseName() + ".wmv";
    EXPECT_EQ(codecOf(wmv, "video"), "wmv2");
    EXPECT_EQ(codecOf(wmv, "audio"), "wmav2");
}

TEST(CommandLine, ADamagedSourceFailsAndTheOthersFinish)
{
    Cli cli;
    const QString good = testmedia::clip("avi");
    const QString damaged = cli.home.path() + "/damaged.avi";
    QFile f(damaged);
    f.open(QIODevice::WriteOnly);
    f.write(QByteArray(64 * 1024, '\x5a'));
    f.close();
    QString output;
    EXPECT_EQ(cli.run({"--convert", good, damaged, testmedia::clip("mpg"), "--output", cli.out(),
                       "--title", "Holiday"},
                      &output),
              1)
        << output.toStdString();
    EXPECT_TRUE(output.contains("damaged.avi: Failed: not a video this program can read ("))
        << output.toStdString();
    EXPECT_TRUE(output.contains("Converting Finished: 2 converted, 1 failed"))
        << output.toStdString();
    EXPECT_TRUE(QFile::exists(cli.out() + "/Holiday.mp4"));
    EXPECT_TRUE(QFile::exists(cli.out() + "/Holiday_2.mp4")); // the third Task
    EXPECT_FALSE(QFile::exists(cli.out() + "/Holiday_3.mp4"));

    // Beside the failure, the log of the run, which says why.
    const QString logs = cli.home.path() + "/state/trelvo-converter/logs/";
    const qsizetype at = output.indexOf("log: " + logs);
    ASSERT_GE(at, 0) << output.toStdString();
    const QString logPath = output.mid(at + 5).section('\n', 0, 0).trimmed();
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << logPath.toStdString();
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains("Source: " + damaged)) << text.toStdString();
    EXPECT_TRUE(text.contains("Failed: ")) << text.toStdString();
    EXPECT_EQ(QDir(logs).entryList(QDir::Files).size(), 3); // one per Task
}

namespace {

// Starts a conversion of a long clip and returns once the encoder reports progress.
bool startLongConversion(Cli& cli, QProcess& p, const QString& title, QString* seen)
{
    p.setProcessEnvironment(cli.environment());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(kProgram, {"--convert", testmedia::clip("avi", 40), testmedia::clip("mpg"), "--output",
                       cli.out(), "--title", title, "--profile", "2"});
    QElapsedTimer timer;
    timer.start();
    while (!seen->contains("MB") && timer.elapsed() < 60000) {
        p.waitForReadyRead(200);
        *seen += QString::fromUtf8(p.readAll());
    }
    return seen->contains("MB");
}

} // namespace

TEST(CommandLine, CtrlCAndAClosedTerminalStopTheEncoderWhichLeavesAPlayableFile)
{
    for (const int signal : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        Cli cli;
        QProcess p;
        QString seen;
        ASSERT_TRUE(startLongConversion(cli, p, "stopped", &seen)) << seen.toStdString();
        ::kill(pid_t(p.processId()), signal);
        ASSERT_TRUE(p.waitForFinished(20000));
        seen += QString::fromUtf8(p.readAll());
        EXPECT_EQ(p.exitCode(), 130) << seen.toStdString();
        EXPECT_TRUE(seen.contains("Converting Stopped: 0 converted, 2 not converted"))
            << seen.toStdString();
        const QString partial = cli.out() + "/stopped.mp4";
        const double duration = testmedia::probeDuration(partial);
        EXPECT_GT(duration, 0.0);
        EXPECT_LT(duration, 39.0);
        EXPECT_EQ(codecOf(partial, "video"), "h264");
        EXPECT_FALSE(QFile::exists(cli.out() + "/stopped_2.mp4")); // the second Task never ran
        EXPECT_EQ(processesNaming(cli.out()), 0);                  // no encoder left behind
    }
}

// A run killed outright (a crash, a power cut) leaves no file under a finished name,
// whether the encoder (MP4) or the program itself (WMV) was writing it; what it left is
// a hidden working file, which the next run into that folder removes.
TEST(CommandLine, AKilledRunLeavesNoFileUnderAFinishedName)
{
    for (const bool wmv : {false, true}) {
        SCOPED_TRACE(wmv ? "WMV" : "MP4");
        Cli cli;
        QProcess p;
        p.setProcessEnvironment(cli.environment());
        p.setProcessChannelMode(QProcess::MergedChannels);
        QStringList args{"--convert", testmedia::clip("avi", 40), "--output", cli.out(), "--title",
                         "killed"};
        p.start(kProgram, wmv ? args << "--wmv" : args);
        const auto working = [&cli] {
            return QDir(cli.out()).entryInfoList({"*.part"}, QDir::Files | QDir::Hidden);
        };
        QElapsedTimer timer;
        timer.start();
        while ((working().isEmpty() || working().front().size() < 64 * 1024) &&
               timer.elapsed() < 60000)
            QThread::msleep(20);
        ASSERT_FALSE(working().isEmpty());
        ::kill(pid_t(p.processId()), SIGKILL);
        ASSERT_TRUE(p.waitForFinished(5000));
        // The encoder hears of its parent's death and goes too.
        while (processesNaming(cli.out()) > 0 && timer.elapsed() < 90000)
            QThread::msleep(100);
        EXPECT_EQ(processesNaming(cli.out()), 0);
        EXPECT_EQ(QDir(cli.out()).entryList(QDir::Files).join(' '), "");

        EXPECT_EQ(cli.run({"--convert", testmedia::clip("avi"), "--output", cli.out()}), 0);
        EXPECT_TRUE(working().isEmpty());
        EXPECT_EQ(QDir(cli.out()).entryList(QDir::Files).size(), 1);
    }
}

TEST(CommandLine, TrimsAreExactToTheFrame)
{
    Cli cli;
    const auto source = [](const QString& name, const QString& seconds) {
        return testmedia::make(name, {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f",
                                      "lavfi", "-i", "sine=frequency=440", "-t", seconds, "-c:v",
                                      "mpeg4", "-c:a", "libmp3lame"});
    };
    struct Case
    {
        QString source;
        QStringList trim;
        double expected;
    };
    const Case cases[] = {
        {source("whole-5.64.avi", "5.64"), {}, 5.64},
        {source("whole-1.97.avi", "1.97"), {}, 1.97},
        {source("whole-0.6.avi", "0.6"), {}, 0.6}, // shorter than a second
        {source("whole-5.64.avi", "5.64"), {"--start", "2.7", "--end", "4.9"}, 2.2},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source.toStdString() + " " + c.trim.join(' ').toStdString());
        const QString title = QString("trim%1").arg(n++);
        QString output;
        ASSERT_EQ(
            cli.run(QStringList{"--convert", c.source, "--output", cli.out(), "--title", title}
                        << c.trim,
                    &output),
            0)
            << output.toStdString();
        const QJsonObject video =
            testmedia::probeStream(testmedia::probe(cli.out() + "/" + title + ".mp4"), "video");
        // Within one frame at 29.97 frames a second.
        EXPECT_NEAR(video.value("duration").toString().toDouble(), c.expected, 1 / 29.97 + 0.001);
    }
}

TEST(CommandLine, TitlesAndNamesAreNeverReadAsTemplateWords)
{
    Cli cli;
    // A source whose name holds a template word, without extension, in a folder whose
    // path contains "rm" (neither makes it RealMedia).
    const QString folder = cli.home.path() + "/storm";
    QDir().mkpath(folder);
    const QString odd = folder + "/clip $SIZE";
    ASSERT_TRUE(QFile::copy(testmedia::clip("avi"), odd));
    QString output;
    ASSERT_EQ(
        cli.run({"--convert", odd, "--output", cli.out(), "--title", "Best of $SIZE"}, &output), 0)
        << output.toStdString();
    const QJsonObject format =
        testmedia::probe(cli.out() + "/Best of $SIZE.mp4").value("format").toObject();
    EXPECT_EQ(format.value("tags").toObject().value("title").toString(), "Best of $SIZE");
    // No pre-conversion ran: nothing was ever put in the cache.
    EXPECT_FALSE(QDir(cli.home.path() + "/cache/trelvo-converter").exists() &&
                 !QDir(cli.home.path() + "/cache/trelvo-converter").isEmpty());

    // An empty title keeps its place on the command line; the file takes the source's name.
    ASSERT_EQ(cli.run({"--convert", odd, "--output", cli.out(), "--title", ""}, &output), 0)
        << output.toStdString();
    EXPECT_TRUE(QFile::exists(cli.out() + "/clip $SIZE.mp4")) << output.toStdString();

    // A title longer than 255 is cut before the character that would not fit whole.
    const QString a254(254, u'a');
    ASSERT_EQ(cli.run({"--convert", odd, "--output", cli.out(), "--title",
                       a254 + QString::fromUtf8("\xF0\x9F\x98\x80 end")},
                      &output),
              0)
        << output.toStdString();
    const QStringList made = QDir(cli.out()).entryList({"aaa*.mp4"});
    ASSERT_EQ(made.size(), 1) << output.toStdString();
    EXPECT_EQ(testmedia::probe(cli.out() + "/" + made.first())
                  .value("format")
                  .toObject()
                  .value("tags")
                  .toObject()
                  .value("title")
                  .toString(),
              a254);
}

TEST(CommandLine, UnreadableSourcesSayWhy)
{
    Cli cli;
    const QString dir = cli.home.path() + "/sources";
    QDir().mkpath(dir + "/folder.avi");
    QFile text(dir + "/notes.avi");
    text.open(QIODevice::WriteOnly);
    text.write("These are my notes, not a video.\n");
    text.close();
    QFile(dir + "/empty.avi").open(QIODevice::WriteOnly);
    ASSERT_EQ(testmedia::run("mkfifo", {dir + "/pipe.avi"}), 0);
    QString output;
    EXPECT_EQ(cli.run({"--convert", dir + "/notes.avi", dir + "/empty.avi", dir + "/missing.avi",
                       dir + "/folder.avi", dir + "/pipe.avi", "--output", cli.out()},
                      &output),
              1);
    const QStringList expected{"notes.avi: It is not a video or sound file",
                               "empty.avi: The file is empty",
                               "missing.avi: The file does not exist", "folder.avi: It is a folder",
                               "pipe.avi: It is a pipe or a device"};
    for (const QString& line : expected)
        EXPECT_TRUE(output.contains(line)) << line.toStdString() << "\n" << output.toStdString();
    EXPECT_FALSE(output.contains("-t'")) << output.toStdString();
    EXPECT_TRUE(QDir(cli.out()).isEmpty());
}

TEST(CommandLine, TwoRunsIntoOneFolderAtOnceKeepBothFiles)
{
    for (const QString& type : {QString("mp4"), QString("wmv")}) {
        SCOPED_TRACE(type.toStdString());
        Cli cli;
        QDir().mkpath(cli.out());
        QStringList args{"--convert", testmedia::clip("avi"), "--output", cli.out(), "--title",
                         "same"};
        if (type == "wmv")
            args << "--wmv";
        QProcess first, second;
        for (QProcess* p : {&first, &second}) {
            p->setProcessEnvironment(cli.environment());
            p->setProcessChannelMode(QProcess::MergedChannels);
            p->start(kProgram, args);
        }
        for (QProcess* p : {&first, &second}) {
            ASSERT_TRUE(p->waitForFinished(120000));
            EXPECT_EQ(p->exitCode(), 0) << p->readAll().toStdString();
        }
        const QString a = cli.out() + "/same." + type;
        const QString b = cli.out() + "/same_2." + type;
        EXPECT_GT(testmedia::probeDuration(a), 2.5);
        EXPECT_GT(testmedia::probeDuration(b), 2.5);
    }
}

TEST(CommandLine, UsageErrors)
{
    Cli cli;
    const QString avi = testmedia::clip("avi");
    const QStringList cases[] = {
        {"--bogus"},
        {"--convert"},
        {"--convert", avi, "--profile", "99"},
        {"--convert", avi, "--wmv-profile", "-1"},
        {"--convert", avi, "--start", "abc"},
        {"--convert", avi, "--start", "50", "--end", "10"}, // a contradiction, for every file
        {"--convert", avi, "--start", "2", "--end", "2"},
    };
    for (const QStringList& args : cases) {
        QString output;
        EXPECT_EQ(cli.run(args, &output), 2)
            << args.join(' ').toStdString() << output.toStdString();
    }
    // A start beyond the source is held at its end: an empty span, said plainly.
    QString output;
    EXPECT_EQ(cli.run({"--convert", avi, "--start", "1e308", "--output", cli.out()}, &output), 1);
    EXPECT_TRUE(output.contains("The trimmed span is empty")) << output.toStdString();
    EXPECT_FALSE(output.contains("-256")) << output.toStdString();
    EXPECT_EQ(cli.run({"--help"}, &output), 0);
    EXPECT_TRUE(output.contains("--convert FILE..."));
    EXPECT_EQ(cli.run({"--list-profiles"}, &output), 0);
    EXPECT_TRUE(output.contains("WMV profiles"));
}

TEST(CommandLine, SeveralFilesAtOnceEachGetTheirOwnPlayableFile)
{
    Cli cli;
    const QString avi = testmedia::clip("avi");
    const QString rm = testmedia::clip("rm");
    const QString mov = testmedia::clip("mov");
    // One title for all: the names are chosen while the others' encoders start.
    QString output;
    ASSERT_EQ(cli.run({"--convert", avi, rm, mov, avi, "--output", cli.out(), "--title", "same",
                       "--jobs", "3"},
                      &output),
              0)
        << output.toStdString();
    for (const char* name : {"same.mp4", "same_2.mp4", "same_3.mp4", "same_4.mp4"}) {
        const QString path = cli.out() + "/" + name;
        EXPECT_EQ(codecOf(path, "video"), "h264") << name;
        EXPECT_GT(testmedia::probeDuration(path), 2.5) << name;
    }
    EXPECT_EQ(QDir(cli.out()).entryList(QDir::Files).size(), 4);
    EXPECT_TRUE(output.contains("Converting Finished: 4 converted, 0 failed"))
        << output.toStdString();
    EXPECT_TRUE(QDir(cli.home.path() + "/cache/trelvo-converter").isEmpty());

    for (const char* bad : {"0", "17", "two"})
        EXPECT_EQ(cli.run({"--convert", avi, "--output", cli.out(), "--jobs", bad}, &output), 2)
            << bad << output.toStdString();
}

// Today's files: a film's second sound track and its subtitles, a raw video stream whose
// header holds no length; a track the file does not have is refused before anything is
// written.
TEST(CommandLine, TheSoundTrackAndSubtitlesChosenReachTheFile)
{
    Cli cli;
    const QString cue = testmedia::cue(testmedia::folder() + "/cli-cue.srt");
    ASSERT_FALSE(cue.isEmpty());
    const QString film =
        testmedia::make("cli-film.mkv", {"-f",   "lavfi", "-i",   "color=black:s=320x240:d=3",
                                         "-f",   "lavfi", "-i",   "sine=440:d=3",
                                         "-f",   "lavfi", "-i",   "sine=1760:d=3",
                                         "-i",   cue,     "-map", "0",
                                         "-map", "1",     "-map", "2",
                                         "-map", "3",     "-c:v", "mpeg4",
                                         "-c:a", "ac3",   "-c:s", "srt"});
    const QString raw =
        testmedia::make("cli-raw.h264", {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=3", "-c:v",
                                         "libx264", "-f", "h264"});

    QString output;
    ASSERT_EQ(cli.run({"--convert", film, "--audio-track", "3", "--output", cli.out()}, &output),
              2);
    EXPECT_TRUE(output.contains("cli-film.mkv: there is no sound track 3; the file has 2"))
        << output.toStdString();
    ASSERT_EQ(cli.run({"--convert", film, "--subtitles", "2", "--output", cli.out()}, &output), 2);
    EXPECT_TRUE(output.contains("there is no subtitle track 2; the file has 1"))
        << output.toStdString();
    EXPECT_TRUE(QDir(cli.out()).entryList(QDir::Files).isEmpty());

    auto said = [](const QStringList& args) {
        QString text;
        testmedia::run("ffmpeg",
                       QStringList{"-hide_banner"} << args << "-f"
                                                   << "null"
                                                   << "-",
                       &text);
        return text;
    };
    // The MP4 export through the encoder, the WMV one through the media converter.
    for (const QString& extension : {QString("mp4"), QString("wmv")}) {
        SCOPED_TRACE(extension.toStdString());
        QStringList args{"--convert",   film, "--audio-track", "2",
                         "--subtitles", "1",  "--output",      cli.out()};
        if (extension == "wmv")
            args << "--wmv";
        ASSERT_EQ(cli.run(args, &output), 0) << output.toStdString();
        const QString made = cli.out() + "/cli-film." + extension;
        // The high tone of the second track passes a high-pass filter nearly whole.
        const auto volume = [&](const QString& filters) {
            return said({"-i", made, "-af", filters + "volumedetect"})
                .section("mean_volume:", 1)
                .section(" dB", 0, 0)
                .toDouble();
        };
        EXPECT_GT(volume("highpass=f=1000,highpass=f=1000,"), volume("") - 3);
        // The cue is drawn while it lasts.
        const QString brightest = said({"-ss", "1.6", "-i", made, "-frames:v", "1", "-vf",
                                        "signalstats,metadata=print:key=lavfi.signalstats.YMAX"});
        EXPECT_GT(brightest.section("YMAX=", 1).section('\n', 0, 0).toInt(), 150);
    }

    // The raw stream converts whole.
    ASSERT_EQ(cli.run({"--convert", raw, "--output", cli.out()}, &output), 0)
        << output.toStdString();
    EXPECT_NEAR(testmedia::probeDuration(cli.out() + "/cli-raw.mp4"), 3.0, 0.2);
}

// Without --subtitles, a forced track in the sound's language is drawn in, in either
// export type; with the
// sound of another language, or in a file whose track is not forced, nothing is.
TEST(CommandLine, AForcedTrackInTheSoundsLanguageIsDrawnUnasked)
{
    Cli cli;
    const QString cue = testmedia::cue(testmedia::folder() + "/cli-forced.srt");
    ASSERT_FALSE(cue.isEmpty());
    auto film = [&](const QString& name, const QString& disposition) {
        return testmedia::make(
            name, testmedia::filmArgs("320x240", 3, 440, 1760, cue,
                                      {"-metadata:s:a:0", "language=eng", "-metadata:s:a:1",
                                       "language=jpn", "-metadata:s:s:0", "language=eng",
                                       "-disposition:s:0", disposition}));
    };
    const QString forced = film("cli-forced.mkv", "forced");
    const QString plain = film("cli-plain.mkv", "0");
    const auto brightest = [](const QString& mp4) {
        QString text;
        testmedia::run("ffmpeg",
                       {"-hide_banner", "-ss", "1.6", "-i", mp4, "-frames:v", "1", "-vf",
                        "signalstats,metadata=print:key=lavfi.signalstats.YMAX", "-f", "null", "-"},
                       &text);
        return text.section("YMAX=", 1).section('\n', 0, 0).toInt();
    };
    const struct
    {
        QString source;
        QStringList extra;
        QString output;
        bool drawn;
    } cases[] = {{forced, {}, "cli-forced.mp4", true},
                 {forced, {"--wmv", "--title", "w"}, "w.wmv", true},
                 {forced, {"--audio-track", "2", "--title", "j"}, "j.mp4", false},
                 {plain, {}, "cli-plain.mp4", false}};
    for (const auto& c : cases) {
        QString output;
        ASSERT_EQ(
            cli.run(QStringList{"--convert", c.source, "--output", cli.out()} << c.extra, &output),
            0)
            << output.toStdString();
        const int bright = brightest(cli.out() + "/" + c.output);
        if (c.drawn)
            EXPECT_GT(bright, 150) << c.output.toStdString();
        else
            EXPECT_LT(bright, 40) << c.output.toStdString();
    }
}

// DVD titles joined into one file start their clock over where they meet, and a
// recording's clock may leap: the file is converted whole, and a span of its later part
// is found there, in either export type.
TEST(CommandLine, AFileWhoseClockStartsOverIsConvertedWhole)
{
    Cli cli;
    QTemporaryDir dir;
    const auto joinedParts = [&](const QString& name, const QStringList& second) {
        const QString path = dir.filePath(name);
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            return QString();
        for (const QString& colour : {QString("red"), QString("blue")}) {
            QFile in(testmedia::make(
                "part-" + colour + "-" + name,
                QStringList{"-f", "lavfi", "-i", "color=" + colour + ":s=320x240:r=25:d=3", "-f",
                            "lavfi", "-i", "sine=d=3", "-c:v", "mpeg2video", "-c:a", "mp2"}
                    << (colour == "blue" ? second : QStringList())));
            if (!in.open(QIODevice::ReadOnly))
                return QString();
            out.write(in.readAll());
        }
        return path;
    };
    const QString joined = joinedParts("joined.vob", {});
    const QString leap = joinedParts("leap.ts", {"-output_ts_offset", "1000"});
    ASSERT_FALSE(joined.isEmpty() || leap.isEmpty());
    const auto blueAtStart = [](const QString& path) {
        QProcess pixel;
        pixel.start("ffmpeg", {"-v", "error", "-i", path, "-frames:v", "1", "-vf",
                               "scale=1:1,format=rgb24", "-f", "rawvideo", "-"});
        pixel.waitForFinished(30000);
        const QByteArray rgb = pixel.readAllStandardOutput();
        return rgb.size() == 3 && uchar(rgb[2]) > 200 && uchar(rgb[0]) < 50;
    };
    QString output;
    ASSERT_EQ(cli.run({"--convert", joined, leap, "--output", cli.out()}, &output), 0)
        << output.toStdString();
    EXPECT_NEAR(testmedia::probeDuration(cli.out() + "/joined.mp4"), 6.0, 0.1);
    EXPECT_NEAR(testmedia::probeDuration(cli.out() + "/leap.mp4"), 6.0, 0.1);
    for (const QString& type : {QString("mp4"), QString("wmv")}) {
        QStringList args{"--convert", joined,    "--start", "4",        "--end",
                         "5",         "--title", "late",    "--output", cli.out()};
        if (type == "wmv")
            args << "--wmv";
        ASSERT_EQ(cli.run(args, &output), 0) << output.toStdString();
        EXPECT_TRUE(blueAtStart(cli.out() + "/late." + type)) << type.toStdString();
    }
}
