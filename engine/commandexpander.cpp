#include "engine/commandexpander.h"

#include "engine/profilefile.h"

#include <QDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

template <size_t N> QString fromTable(const std::array<const char*, N>& table, int index)
{
    if (index < 0 || size_t(index) >= N)
        return {};
    return QString::fromLatin1(table[size_t(index)]);
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

QString preciseTimeText(double seconds)
{
    // Ten thousand hours is far beyond any source, and keeps the arithmetic in range.
    constexpr double kLongest = 36'000'000.0;
    if (!std::isfinite(seconds) || seconds <= 0)
        seconds = 0;
    const long long ms = std::llround(std::min(seconds, kLongest) * 1000.0);
    return timeText(ms / 1000) + QString::asprintf(".%03lld", ms % 1000);
}

QString trimTimeText(double seconds)
{
    constexpr double kLongest = 36'000'000.0;
    if (!std::isfinite(seconds) || seconds <= 0)
        seconds = 0;
    // To the millisecond first: a slider's 5.6 may arrive as 5.5999999. Then to the
    // nearest tenth, half up.
    const long long ms = std::llround(std::min(seconds, kLongest) * 1000.0);
    const long long tenths = (ms + 50) / 100;
    if (tenths % 10 == 0)
        return timeText(tenths / 10);
    return timeText(tenths / 10) + QString::asprintf(".%lld", tenths % 10);
}

QString expandTemplate(const QString& text, const Task& task, const QString& outputPath,
                       const QDateTime& now)
{
    const bool realMedia = task.isRealMedia == 1;
    const QString startText = realMedia ? QStringLiteral("-ss 00:00:00 ")
                                        : QStringLiteral(" -ss ") + preciseTimeText(task.startTime);
    const double length = task.endTime - task.startTime;
    const QString lengthText = QStringLiteral(" -t ") + preciseTimeText(length);
    const QDate date = now.date();
    const QTime time = now.time();
    const QString timestamp =
        QString::asprintf("%d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                          time.hour(), time.minute(), time.second());

    // The words in the order they are replaced: where two could match at one place, the
    // earlier one wins. A fixed Profile keeps the setting words as they stand.
    struct Word
    {
        QLatin1String name;
        QString value;
    };
    std::vector<Word> words{
        {QLatin1String("$INPUT_FILE"),
         quoteSafe(realMedia ? task.intermediatePath : task.sourcePath)},
        {QLatin1String("$START"), startText},
        {QLatin1String("$LENGTH"), lengthText},
        {QLatin1String("$TITLE"), quoteSafe(task.title)},
        {QLatin1String("$TIMESTAMP"), timestamp},
        {QLatin1String("$OUTPUT_FILE"), quoteSafe(outputPath)},
    };
    if (task.mp4Profile == 0) {
        words.insert(words.end(),
                     {{QLatin1String("$VCODEC"), vcodecText(task.videoType)},
                      {QLatin1String("$SIZE"), sizeText(task.videoSize)},
                      {QLatin1String("$FRAMERATE"), frameRateText(task.frameRate)},
                      {QLatin1String("$VIDEOBITRATE"), videoBitrateText(task.videoBitrate)},
                      {QLatin1String("$ASPECT"), aspectText(task.aspect)},
                      {QLatin1String("$CHANNEL"), channelText(task.channels)},
                      {QLatin1String("$AUDIOBITRATE"), audioBitrateText(task.audioBitrate)},
                      {QLatin1String("$AUDIOSAMPLE"), audioSampleText(task.sampleRate)},
                      {QLatin1String("$VOLUME"), volumeText(task.volume)}});
    }

    QString out;
    out.reserve(text.size() + 256);
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype dollar = text.indexOf(u'$', at);
        if (dollar < 0) {
            out += QStringView(text).mid(at);
            break;
        }
        out += QStringView(text).mid(at, dollar - at);
        const auto word = std::find_if(words.begin(), words.end(), [&](const Word& w) {
            return QStringView(text).mid(dollar).startsWith(w.name);
        });
        if (word == words.end()) {
            out += u'$';
            at = dollar + 1;
        } else {
            out += word->value;
            at = dollar + word->name.size();
        }
    }
    return out;
}

QString expandCommand(const TaskList& tasks, int taskIndex, const QString& outputPath,
                      const QString& appFolder, const QDateTime& now)
{
    const Task task = tasks.get(taskIndex);
    return expandTemplate(profileCommand(appFolder, task.mp4Profile), task, outputPath, now);
}
