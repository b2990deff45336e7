#include "encoderrun.h"

#include "common/testmedia.h"

#include <QProcess>

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

double number(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString().toDouble() : value.toDouble();
}

} // namespace encoderrun
