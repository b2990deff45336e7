#include "commandexpander.h"

#include "profilefile.h"

#include <QDir>

#include <array>
#include <cmath>

namespace {

template <size_t N> QString fromTable(const std::array<const char*, N>& table, int index)
{
    if (index < 0 || size_t(index) >= N)
        return {};
    return QString::fromLatin1(table[size_t(index)]);
}

long long wholeSeconds(double seconds)
{
    if (!std::isfinite(seconds))
        return 0;
    return static_cast<long long>(std::trunc(seconds));
}

} // namespace

QString timeText(long long s)
{
    return QString::asprintf("%02lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
}

QString vcodecText(int index)
{
    static constexpr std::array<const char*, 2> table{
        "-vcodec xvid", "-vcodec h264 -coder 0 -vlevel 13 -bufsize 256 -g 250"};
    return fromTable(table, index);
}

QString sizeText(int index)
{
    static constexpr std::array<const char*, 2> table{"320x240", "640x480"};
    return fromTable(table, index);
}

QString frameRateText(int index)
{
    static constexpr std::array<const char*, 1> table{"-r 29.97"};
    return fromTable(table, index);
}

QString videoBitrateText(int index)
{
    static constexpr std::array<const char*, 6> table{"256", "512", "768", "1200", "1500", "2000"};
    return fromTable(table, index);
}

QString aspectText(int index)
{
    static constexpr std::array<const char*, 2> table{"4:3", "16:9"};
    return fromTable(table, index);
}

QString channelText(int index)
{
    static constexpr std::array<const char*, 2> table{"1", "2"};
    return fromTable(table, index);
}

QString audioBitrateText(int index)
{
    static constexpr std::array<const char*, 14> table{
        "32", "40", "48", "56", "64", "80", "96", "112", "128", "160", "192", "224", "256", "320"};
    return fromTable(table, index);
}

QString audioSampleText(int index)
{
    static constexpr std::array<const char*, 8> table{"-ar 96000", "-ar 54000", "-ar 48000",
                                                      "-ar 44100", "-ar 32000", "-ar 22050",
                                                      "-ar 16000", "-ar 8000"};
    return fromTable(table, index);
}

QString volumeText(int index)
{
    static constexpr std::array<const char*, 8> table{"128", "256", "384", "512",
                                                      "640", "768", "896", "1024"};
    return fromTable(table, index);
}

QString quoteSafe(const QString& value)
{
    QString out = value;
    out.replace(u'"', QStringLiteral("\"\"\""));
    return out;
}

QString expandTemplate(QString text, const Task& task, const QString& outputPath,
                       const QDateTime& now)
{
    const long long s = wholeSeconds(task.startTime);
    const QString startText = QStringLiteral(" -ss ") + timeText(s);
    const long long d = wholeSeconds(task.endTime - task.startTime);
    const QString lengthText = QStringLiteral(" -t ") + timeText(d);
    const QDate date = now.date();
    const QTime time = now.time();
    const QString timestamp =
        QString::asprintf("%d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                          time.hour(), time.minute(), time.second());

    // Each step works on the text the steps before it produced, in this order.
    if (task.isRealMedia == 1) {
        text.replace(QLatin1String("$INPUT_FILE"), quoteSafe(task.intermediatePath));
        text.replace(QLatin1String("$START"), QStringLiteral("-ss 00:00:00 "));
    } else {
        text.replace(QLatin1String("$INPUT_FILE"), quoteSafe(task.sourcePath));
        text.replace(QLatin1String("$START"), startText);
    }
    text.replace(QLatin1String("$LENGTH"), lengthText);
    text.replace(QLatin1String("$TITLE"), quoteSafe(task.title));
    text.replace(QLatin1String("$TIMESTAMP"), timestamp);
    text.replace(QLatin1String("$OUTPUT_FILE"), quoteSafe(outputPath));
    if (task.mp4Profile == 0) {
        text.replace(QLatin1String("$VCODEC"), vcodecText(task.videoType));
        text.replace(QLatin1String("$SIZE"), sizeText(task.videoSize));
        text.replace(QLatin1String("$FRAMERATE"), frameRateText(task.frameRate));
        text.replace(QLatin1String("$VIDEOBITRATE"), videoBitrateText(task.videoBitrate));
        text.replace(QLatin1String("$ASPECT"), aspectText(task.aspect));
        text.replace(QLatin1String("$CHANNEL"), channelText(task.channels));
        text.replace(QLatin1String("$AUDIOBITRATE"), audioBitrateText(task.audioBitrate));
        text.replace(QLatin1String("$AUDIOSAMPLE"), audioSampleText(task.sampleRate));
        text.replace(QLatin1String("$VOLUME"), volumeText(task.volume));
    }
    return text;
}

QString expandCommand(const TaskList& tasks, int taskIndex, const QString& outputPath,
                      const QString& appFolder, const QDateTime& now)
{
    QDir::setCurrent(appFolder);
    const Task task = tasks.get(taskIndex);
    CProfileFile reader;
    reader.SetPath(QStringLiteral("./Zune_Profile.ini"));
    const QString templ = reader.ReadString(QStringLiteral("profile%1").arg(task.mp4Profile),
                                            QStringLiteral("Command0"));
    return expandTemplate(templ, task, outputPath, now);
}
