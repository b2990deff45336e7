#include "encoder/encoderrun.h"

#include "common/testmedia.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

namespace encoderrun {

QString encoderPath()
{
    return QStringLiteral(TRELVO_BIN_DIR "/app/trelvo-encoder");
}

Result run(const QStringList& args)
{
    Result result;
    result.exitCode = testmedia::run(encoderPath(), args, &result.output, 60000);
    return result;
}

QStringList zuneArgs(const QString& input, const QString& output, const QStringList& changes)
{
    QStringList args{"-i",         input,
                     "-vcodec",    "h264",
                     "-coder",     "0",
                     "-vlevel",    "13",
                     "-bufsize",   "256",
                     "-g",         "250",
                     "-s",         "320x240",
                     "-r",         "29.97",
                     "-b",         "768",
                     "-aspect",    "4:3",
                     "-ac",        "2",
                     "-ab",        "64",
                     "-ar",        "48000",
                     "-vol",       "256",
                     "-acodec",    "aac",
                     "-title",     "Clip",
                     "-timestamp", "2024-05-06 07:08:09",
                     "-f",         "mp4"};
    for (int i = 0; i + 1 < changes.size(); i += 2) {
        const int at = args.indexOf(changes[i]);
        if (at >= 0)
            args[at + 1] = changes[i + 1];
        else
            args << changes[i] << changes[i + 1];
    }
    return args << output;
}

QStringList busyArgs(const QString& output)
{
    return zuneArgs(testmedia::clip("avi", 30), output, {"-s", "640x480", "-b", "1500"});
}

bool waitForProgress(QProcess& encoder, QByteArray* said)
{
    static const QRegularExpression pastOneSecond("time=[1-9]");
    while (encoder.state() == QProcess::Running) {
        encoder.waitForReadyRead(100);
        *said += encoder.readAllStandardError() + encoder.readAllStandardOutput();
        if (QString::fromLatin1(*said).contains(pastOneSecond))
            return true;
    }
    return false;
}

bool startBusyEncoder(QProcess& encoder, const QString& output, QByteArray* said)
{
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    encoder.start(encoderPath(), busyArgs(output));
    return encoder.waitForStarted() && waitForProgress(encoder, said);
}

int firstFrameLuma(const QString& path, const QString& seek, const QString& crop)
{
    QStringList args{"-v", "error"};
    if (!seek.isEmpty())
        args << "-ss" << seek;
    QString filters = crop.isEmpty() ? QString() : "crop=" + crop + ",";
    filters += "scale=1:1:flags=area,format=gray";
    args << "-i" << path << "-frames:v"
         << "1"
         << "-vf" << filters << "-f"
         << "rawvideo"
         << "-";
    QProcess process;
    process.start("ffmpeg", args);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return -1;
    const QByteArray pixel = process.readAllStandardOutput();
    return pixel.size() == 1 ? static_cast<unsigned char>(pixel[0]) : -1;
}

bool decodesCleanly(const QString& path)
{
    QString output;
    const int code =
        testmedia::run("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"}, &output);
    return code == 0 && output.trimmed().isEmpty();
}

QStringList topLevelBoxes(const QString& path)
{
    QFile file(path);
    QStringList boxes;
    if (!file.open(QIODevice::ReadOnly))
        return boxes;
    qint64 at = 0;
    while (at + 8 <= file.size()) {
        file.seek(at);
        const QByteArray header = file.read(16);
        quint64 size = qFromBigEndian<quint32>(header.constData());
        if (size == 1 && header.size() == 16)
            size = qFromBigEndian<quint64>(header.constData() + 8);
        boxes << QString::fromLatin1(header.mid(4, 4));
        if (size < 8)
            break;
        at += qint64(size);
    }
    return boxes;
}

double number(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString().toDouble() : value.toDouble();
}

} // namespace encoderrun
