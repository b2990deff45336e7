#include "common/testmedia.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QProcess>

#ifndef TRELVO_TEST_MEDIA_DIR
#define TRELVO_TEST_MEDIA_DIR "/tmp/trelvo-test-media"
#endif

namespace testmedia {

QString folder()
{
    const QString dir = QStringLiteral(TRELVO_TEST_MEDIA_DIR);
    QDir().mkpath(dir);
    return dir;
}

int run(const QString& program, const QStringList& args, QString* output, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForStarted(10000))
        return -1;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QStringList filmArgs(const QString& size, int seconds, int low, int high, const QString& srt,
                     const QStringList& extra)
{
    const QString length = QString::number(seconds);
    QStringList args{"-f", "lavfi", "-i", "color=black:s=" + size + ":d=" + length,
                     "-f", "lavfi", "-i", QStringLiteral("sine=%1:d=%2").arg(low).arg(length),
                     "-f", "lavfi", "-i", QStringLiteral("sine=%1:d=%2").arg(high).arg(length)};
    if (!srt.isEmpty())
        args << "-i" << srt;
    for (int input = 0; input < (srt.isEmpty() ? 3 : 4); ++input)
        args << "-map" << QString::number(input);
    args << "-c:v"
         << "mpeg4"
         << "-c:a"
         << "ac3";
    if (!srt.isEmpty())
        args << "-c:s"
             << "srt";
    return args + extra;
}

QString cue(const QString& path, const QString& from, const QString& to, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QStringLiteral("1\n%1 --> %2\n%3\n").arg(from, to, text).toUtf8()) < 0)
        return {};
    return path;
}

QString make(const QString& fileName, const QStringList& ffmpegArgs)
{
    const QString path = folder() + "/" + fileName;
    QLockFile lock(path + ".lock");
    lock.setStaleLockTime(0);
    lock.lock();
    if (QFileInfo::exists(path))
        return path;
    // Write under a temporary name so that a reader never sees a half-made file.
    const QString partial = folder() + "/partial-" + fileName;
    QStringList args{"-hide_banner", "-loglevel", "error", "-y"};
    args << ffmpegArgs << partial;
    QString output;
    if (run("ffmpeg", args, &output) != 0) {
        qWarning("ffmpeg failed making %s: %s", qPrintable(fileName), qPrintable(output));
        QFile::remove(partial);
        return {};
    }
    QFile::rename(partial, path);
    return path;
}

namespace {

QStringList videoInput(int seconds)
{
    return {"-f", "lavfi", "-i", QString("testsrc2=size=320x240:rate=25:duration=%1").arg(seconds)};
}

QStringList audioInput(int seconds)
{
    return {"-f", "lavfi", "-i",
            QString("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds)};
}

// Codecs and container options each extension is written with.
QStringList videoCodecFor(const QString& ext)
{
    if (ext == "avi")
        return {"-c:v", "mpeg4", "-q:v", "5"};
    if (ext == "mpg")
        return {"-c:v", "mpeg1video", "-b:v", "800k", "-f", "mpeg"};
    if (ext == "vob")
        return {"-c:v", "mpeg2video", "-b:v", "800k", "-f", "vob"};
    if (ext == "wmv" || ext == "asf")
        return {"-c:v", "wmv2", "-b:v", "500k", "-f", "asf"};
    if (ext == "mov" || ext == "qt")
        return {"-c:v", "mpeg4", "-q:v", "5", "-f", "mov"};
    if (ext == "3gp")
        return {"-c:v", "h263", "-s", "352x288", "-b:v", "300k", "-f", "3gp"};
    if (ext == "mp4")
        return {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"};
    if (ext == "rm" || ext == "rmvb")
        return {"-c:v", "rv20", "-b:v", "500k", "-f", "rm"};
    return {};
}

QStringList audioCodecFor(const QString& ext)
{
    if (ext == "avi")
        return {"-c:a", "libmp3lame", "-b:a", "96k"};
    if (ext == "mpg" || ext == "vob")
        return {"-c:a", "mp2", "-b:a", "128k"};
    if (ext == "wmv" || ext == "asf" || ext == "wma")
        return {"-c:a", "wmav2", "-b:a", "64k"};
    if (ext == "mov" || ext == "qt" || ext == "mp4" || ext == "3gp" || ext == "m4a")
        return {"-c:a", "aac", "-b:a", "64k"};
    if (ext == "rm" || ext == "rmvb")
        return {"-c:a", "ac3", "-b:a", "64k"};
    if (ext == "mp3")
        return {"-c:a", "libmp3lame", "-b:a", "96k"};
    if (ext == "wav")
        return {"-c:a", "pcm_s16le"};
    return {};
}

} // namespace

QString clip(const QString& ext, int seconds)
{
    QStringList args = videoInput(seconds) + audioInput(seconds);
    args << audioCodecFor(ext);
    if (ext == "3gp")
        args << "-ar"
             << "22050"
             << "-ac"
             << "1";
    args << videoCodecFor(ext);
    return make(QString("clip%1s.%2").arg(seconds).arg(ext), args);
}

QString videoOnly(const QString& ext, int seconds)
{
    QStringList args = videoInput(seconds);
    args << "-an" << videoCodecFor(ext);
    return make(QString("video-only%1s.%2").arg(seconds).arg(ext), args);
}

QString audioOnly(const QString& ext, int seconds)
{
    QStringList args = audioInput(seconds);
    args << "-vn" << audioCodecFor(ext);
    if (ext == "wma")
        args << "-f"
             << "asf";
    return make(QString("audio-only%1s.%2").arg(seconds).arg(ext), args);
}

const QStringList& colourSeconds()
{
    static const QStringList colours{"#ff0000", "#00ff00", "#0000ff",
                                     "#ffff00", "#ff00ff", "#00ffff"};
    return colours;
}

QString colourClip()
{
    QString graph;
    QString pieces;
    for (int i = 0; i < colourSeconds().size(); ++i) {
        QString colour = colourSeconds().at(i);
        graph += QString("color=c=%1:s=320x240:r=25:d=1[c%2];")
                     .arg(colour.replace(u'#', QLatin1String("0x")))
                     .arg(i);
        pieces += QString("[c%1]").arg(i);
    }
    graph += QString("%1concat=n=%2:v=1:a=0[out0]").arg(pieces).arg(colourSeconds().size());
    return make("colours.avi", {"-f", "lavfi", "-i", graph, "-c:v", "mpeg4", "-q:v", "2"});
}

QJsonObject probe(const QString& path)
{
    QProcess process;
    process.start("ffprobe",
                  {"-v", "error", "-print_format", "json", "-show_format", "-show_streams", path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

QJsonObject probeStream(const QJsonObject& probeResult, const QString& codecType)
{
    for (const QJsonValue& stream : probeResult.value("streams").toArray()) {
        if (stream.toObject().value("codec_type").toString() == codecType)
            return stream.toObject();
    }
    return {};
}

double probeDuration(const QString& path)
{
    return probe(path).value("format").toObject().value("duration").toString().toDouble();
}

} // namespace testmedia
