#include "engine/settingitems.h"

#include "engine/commandexpander.h"
#include "engine/commandsplitter.h"

#include <QHash>
#include <cmath>
#include <functional>
#include <optional>

namespace {

using TableText = std::function<QString(int)>;

// The last word of a table's text: "-ar 44100" gives "44100".
QString valueWord(const QString& text)
{
    return text.section(u' ', -1);
}

// The first index of the expander's table whose value satisfies `matches`; -1 for none.
int findItem(const TableText& textOf, const std::function<bool(const QString&)>& matches)
{
    for (int i = 0;; ++i) {
        const QString text = textOf(i);
        if (text.isEmpty())
            return -1;
        if (matches(text))
            return i;
    }
}

std::optional<double> number(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// "W:H", "W/H" or a plain number, as the encoder takes a rate or an aspect.
std::optional<double> ratio(const QString& text)
{
    for (QChar separator : {u':', u'/'}) {
        if (!text.contains(separator))
            continue;
        const auto num = number(text.section(separator, 0, 0));
        const auto den = number(text.section(separator, 1));
        if (!num || !den || *den <= 0)
            return std::nullopt;
        return *num / *den;
    }
    return number(text);
}

std::optional<int> integer(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// Kilobits, with the "k" that the encoder tolerates.
std::optional<int> kilobits(const QString& text)
{
    return integer(text.endsWith(u'k', Qt::CaseInsensitive) ? text.chopped(1) : text);
}

int integerItem(const TableText& textOf, std::optional<int> value)
{
    if (!value)
        return -1;
    return findItem(textOf, [&](const QString& text) { return valueWord(text).toInt() == *value; });
}

int ratioItem(const TableText& textOf, const QString& value, double tolerance)
{
    const auto wanted = ratio(value);
    if (!wanted)
        return -1;
    return findItem(textOf, [&](const QString& text) {
        const auto item = ratio(valueWord(text));
        return item && std::fabs(*item - *wanted) < tolerance;
    });
}

int codecItem(const QString& value)
{
    // The second word of each codec text names the encoder; xvid and mpeg4 are one codec
    // to the encoder, as are h264 and libx264.
    const QString family = value == "mpeg4"     ? QStringLiteral("xvid")
                           : value == "libx264" ? QStringLiteral("h264")
                                                : value;
    return findItem(vcodecText,
                    [&](const QString& text) { return text.section(u' ', 1, 1) == family; });
}

int sizeItem(QString value)
{
    // The encoder knows sizes by their names too.
    static const QHash<QString, QString> named{{"qvga", "320x240"}, {"vga", "640x480"}};
    value = named.value(value, value);
    return findItem(sizeText, [&](const QString& text) {
        return text.compare(value, Qt::CaseInsensitive) == 0;
    });
}

// The template's options and their values, with the encoder's defaults for what it
// leaves out.
QHash<QString, QString> optionsOf(const QString& commandTemplate)
{
    QHash<QString, QString> options{
        {"-vcodec", "h264"}, {"-b", "768"}, {"-ab", "128"}, {"-vol", "256"}};
    const QStringList words = splitCommandLine(commandTemplate);
    for (qsizetype i = 1; i + 1 < words.size(); ++i) {
        const QString& word = words.at(i);
        if (word.size() > 1 && word.startsWith(u'-'))
            options.insert(word, words.at(++i));
    }
    return options;
}

QString kilobitText(const QString& value)
{
    const auto kbps = kilobits(value);
    return kbps ? QStringLiteral("%1 kbps").arg(*kbps) : value;
}

} // namespace

SettingItems settingItemsOfCommand(const QString& commandTemplate)
{
    const QHash<QString, QString> options = optionsOf(commandTemplate);
    SettingItems items;
    items.videoType = codecItem(options.value("-vcodec"));
    if (options.contains("-s"))
        items.videoSize = sizeItem(options.value("-s"));
    // 29.97 and 30000/1001 are one rate to the encoder.
    if (options.contains("-r"))
        items.frameRate = ratioItem(frameRateText, options.value("-r"), 0.006);
    items.videoBitrate = integerItem(videoBitrateText, kilobits(options.value("-b")));
    if (options.contains("-aspect"))
        items.aspect = ratioItem(aspectText, options.value("-aspect"), 0.001);
    if (options.contains("-ac"))
        items.channels = integerItem(channelText, integer(options.value("-ac")));
    items.audioBitrate = integerItem(audioBitrateText, kilobits(options.value("-ab")));
    if (options.contains("-ar"))
        items.sampleRate = integerItem(audioSampleText, integer(options.value("-ar")));
    items.volume = integerItem(volumeText, integer(options.value("-vol")));
    return items;
}

SettingItems settingItemsOfTask(const Task& task)
{
    return {task.videoType, task.videoSize,    task.frameRate,  task.videoBitrate, task.aspect,
            task.channels,  task.audioBitrate, task.sampleRate, task.volume};
}

SettingTexts settingTextsOfCommand(const QString& commandTemplate)
{
    const QHash<QString, QString> options = optionsOf(commandTemplate);
    const SettingItems items = settingItemsOfCommand(commandTemplate);
    // A value no item stands for, in words; nothing for a value the template leaves out.
    auto own = [&](int item, const char* option, const std::function<QString(QString)>& words) {
        const QString value = options.value(QLatin1String(option));
        return item >= 0 || value.isEmpty() ? QString() : words(value);
    };
    SettingTexts texts;
    texts.videoType = own(items.videoType, "-vcodec", [](const QString& v) {
        static const QHash<QString, QString> names{
            {"wmv2", "WMV 8"}, {"wmv1", "WMV 7"}, {"msmpeg4", "MS MPEG4"}};
        return names.value(v, v.toUpper());
    });
    texts.videoSize = own(items.videoSize, "-s", [](const QString& v) {
        return v.contains(u'x') ? v.section(u'x', 0, 0) + QStringLiteral(" x ") + v.section(u'x', 1)
                                : v;
    });
    texts.frameRate = own(items.frameRate, "-r", [](const QString& v) {
        const auto rate = ratio(v);
        return rate ? QStringLiteral("%1 fps").arg(*rate, 0, 'g', 4) : v;
    });
    texts.videoBitrate = own(items.videoBitrate, "-b", kilobitText);
    texts.aspect = own(items.aspect, "-aspect", [](const QString& v) { return v; });
    texts.channels = own(items.channels, "-ac", [](const QString& v) {
        const auto n = integer(v);
        return n ? QStringLiteral("%1 channels").arg(*n) : v;
    });
    texts.audioBitrate = own(items.audioBitrate, "-ab", kilobitText);
    texts.sampleRate = own(items.sampleRate, "-ar", [](const QString& v) {
        const auto n = integer(v);
        return n ? QStringLiteral("%1 Hz").arg(*n) : v;
    });
    texts.volume = own(items.volume, "-vol", [](const QString& v) {
        // 256 is the source's own loudness.
        const auto n = integer(v);
        return n ? QStringLiteral("%1%").arg(qRound(*n * 100.0 / 256.0)) : v;
    });
    return texts;
}

BitRates bitRatesOfCommand(const QString& commandLine)
{
    const QHash<QString, QString> options = optionsOf(commandLine);
    auto rate = [&](const char* option) {
        const auto kbps = kilobits(options.value(QLatin1String(option)));
        return kbps && *kbps > 0 ? *kbps : 0;
    };
    return {rate("-b"), rate("-ab")};
}
