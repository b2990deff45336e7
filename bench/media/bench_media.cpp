// The media component against the ffmpeg program on the same WMV job, and the time
// GetDuration takes on a file of every container the program reads.

#include "media/mediaengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

bool runFfmpeg(const QStringList& args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start("ffmpeg", QStringList{"-hide_banner", "-v", "error", "-y"} + args);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QStringList testSource(int seconds, const QString& size)
{
    return {"-f", "lavfi",
            "-i", QString("testsrc2=size=%1:rate=25:duration=%2").arg(size).arg(seconds),
            "-f", "lavfi",
            "-i", QString("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds)};
}

double componentSeconds(const QString& source, const QString& output, int seconds)
{
    MediaEngine engine;
    QEventLoop loop;
    QObject::connect(&engine, &MediaConverter::ConversionComplete, &loop, &QEventLoop::quit);
    engine.SetOutputFormat(MediaConverter::FormatWmv);
    engine.SetWmvProfileIndex(2); // 640x480, 1500 kbps video, 128 kbps audio
    engine.Reset();
    engine.AddVideoSegment(source, 0.0, seconds, 0);
    engine.AddAudioSegment(source, 0.0, seconds);
    QFile::remove(output); // the last round's; the component never replaces a file
    QElapsedTimer timer;
    timer.start();
    if (!engine.ConvertToFile(output))
        return -1;
    loop.exec();
    if (!engine.LastError().isEmpty()) {
        std::printf("component failed: %s\n", qPrintable(engine.LastError()));
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

double ffmpegSeconds(const QString& source, const QString& output, int seconds)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = runFfmpeg({"-i",
                               source,
                               "-t",
                               QString::number(seconds),
                               "-vf",
                               "scale=640:480:force_original_aspect_ratio=decrease,"
                               "pad=640:480:(ow-iw)/2:(oh-ih)/2,setsar=1",
                               "-r",
                               "30000/1001",
                               "-c:v",
                               "wmv2",
                               "-b:v",
                               "1500k",
                               "-c:a",
                               "wmav2",
                               "-b:a",
                               "128k",
                               "-ar",
                               "44100",
                               "-ac",
                               "2",
                               "-f",
                               "asf",
                               output});
    return ok ? timer.nsecsElapsed() / 1e9 : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const int seconds = 60;

    const QString source = dir.filePath("source640.avi");
    std::printf("making %d s of 640x480 source...\n", seconds);
    if (!runFfmpeg(testSource(seconds, "640x480") + QStringList{"-c:v", "mpeg4", "-q:v", "4",
                                                                "-c:a", "libmp3lame", "-b:a",
                                                                "128k", source}))
        return 1;

    // Alternate the two, best of three each, so that a busy moment of the machine hurts
    // neither side alone.
    double ours = 1e9;
    double theirs = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double a = componentSeconds(source, dir.filePath("ours.wmv"), seconds);
        const double b = ffmpegSeconds(source, dir.filePath("ffmpeg.wmv"), seconds);
        if (a < 0 || b < 0)
            return 1;
        ours = std::min(ours, a);
        theirs = std::min(theirs, b);
    }
    std::printf("WMV conversion of %d s 640x480: component %.2f s, ffmpeg %.2f s, ratio %.2f (goal "
                "<= 1.0)\n",
                seconds, ours, theirs, ours / theirs);
    std::printf("  output sizes: component %lld KB, ffmpeg %lld KB\n",
                QFileInfo(dir.filePath("ours.wmv")).size() / 1024,
                QFileInfo(dir.filePath("ffmpeg.wmv")).size() / 1024);

    struct Fixture
    {
        const char* name;
        QStringList codecs;
    };
    const Fixture fixtures[] = {
        {"clip.avi", {"-c:v", "mpeg4", "-c:a", "libmp3lame"}},
        {"clip.mpg", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}},
        {"clip.vob", {"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"}},
        {"clip.wmv", {"-c:v", "wmv2", "-c:a", "wmav2", "-f", "asf"}},
        {"clip.mov", {"-c:v", "mpeg4", "-c:a", "aac", "-f", "mov"}},
        {"clip.3gp",
         {"-c:v", "h263", "-s", "352x288", "-c:a", "aac", "-ar", "22050", "-ac", "1", "-f", "3gp"}},
        {"clip.rm", {"-c:v", "rv20", "-c:a", "ac3", "-f", "rm"}},
        {"clip.mp4", {"-c:v", "mpeg4", "-c:a", "aac"}},
    };
    MediaEngine engine;
    std::printf("GetDuration (median of 7 calls, goal < 20 ms):\n");
    for (const Fixture& f : fixtures) {
        const QString path = dir.filePath(f.name);
        if (!runFfmpeg(testSource(60, "320x240") + f.codecs + QStringList{path}))
            return 1;
        std::vector<double> times;
        double duration = 0;
        for (int i = 0; i < 7; ++i) {
            QElapsedTimer timer;
            timer.start();
            duration = engine.GetDuration(path);
            times.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::sort(times.begin(), times.end());
        std::printf("  %-9s %7.3f ms (first call %.3f ms), %.2f s\n", f.name, times[3],
                    times.front(), duration);
    }
    return 0;
}
