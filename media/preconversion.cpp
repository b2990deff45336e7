#include "preconversion.h"

#include "clock.h"
#include "programfolder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cstdlib>
#include <ctime>

namespace {

// The waiting loop also looks at the stop flag this often, in case nobody wakes it.
constexpr int kSafetyWakeMs = 200;
constexpr int kMaxFileNameBytes = 255;
constexpr int kMaxPathBytes = 4095;

struct Route
{
    bool avi;
    double frameRate;
    int format;
    const char* extension;
};

} // namespace

PreConversion::PreConversion(TaskList& tasks, BatchState& batch, MediaComponent& media,
                             std::function<void(int row)> redrawProgress, QObject* parent)
    : QObject(parent), m_tasks(tasks), m_batch(batch), m_media(media),
      m_redrawProgress(std::move(redrawProgress))
{
    connect(&media, &MediaComponent::ConversionProgress, this,
            &PreConversion::onConversionProgress);
    connect(&media, &MediaComponent::ConversionComplete, this,
            &PreConversion::onConversionComplete);
}

int PreConversion::chooseCompressor(const MediaCollection& names, const QString& first,
                                    const QString& fallback)
{
    int firstChoice = -1;
    int fallbackChoice = -1;
    const short count = names.Count();
    for (short i = 0; i < count; ++i) {
        const QString name = names.Name(i);
        if (name.contains(first, Qt::CaseSensitive))
            firstChoice = i;
        if (name.contains(fallback, Qt::CaseSensitive))
            fallbackChoice = i;
    }
    return firstChoice >= 0 ? firstChoice : fallbackChoice;
}

int PreConversion::randomNumber(int low, int high)
{
    if (high < low)
        return low;
    std::srand(unsigned(std::time(nullptr)));
    const long long r = std::rand() % 32768;
    return int(low + r * (static_cast<long long>(high) - low + 1) / 32767);
}

QString PreConversion::intermediatePath(const QString& folder, const QString& exportName,
                                        const QString& extension, int number)
{
    // The name comes from the title the user typed: it must not lead into another folder.
    QString name = exportName;
    name.replace(u'/', u'_').replace(QChar(0), u'_');
    const QString suffix = QString("_%1.%2").arg(number).arg(extension);
    const qsizetype folderBytes = folder.toUtf8().size();
    auto fits = [&] {
        const qsizetype nameBytes = (name + suffix).toUtf8().size();
        return nameBytes <= kMaxFileNameBytes && folderBytes + nameBytes <= kMaxPathBytes;
    };
    while (!name.isEmpty() && !fits()) {
        name.chop(1);
        if (!name.isEmpty() && name.back().isHighSurrogate())
            name.chop(1);
    }
    return folder + name + suffix;
}

void PreConversion::preConvert(int taskIndex)
{
    const int video =
        chooseCompressor(m_media.VideoCompressors(), "Microsoft MPEG-4 Video Codec V3", "DivX");
    const int audio = chooseCompressor(m_media.AudioCompressors(), "MPEG Layer-3", "PCM");
    Task task = m_tasks.get(taskIndex);

    const bool avi = video >= 0 && audio >= 0;
    const Route route = avi ? Route{true, 25.0, MediaComponent::FormatAvi, "avi"}
                            : Route{false, double(23.976f), MediaComponent::FormatMpeg, "mpg"};
    m_media.Reset();
    m_media.SetOutputWidth(320);
    m_media.SetOutputHeight(240);
    m_media.SetColorDepth(24);
    m_media.SetFrameRate(route.frameRate);
    m_media.SetOutputFormat(route.format);
    if (route.avi) {
        m_media.SetUseVideoCompressor(true);
        m_media.SetVideoCompressorIndex(short(video));
        m_media.SetUseAudioCompressor(true);
        m_media.SetAudioCompressorIndex(short(audio));
    }
    m_media.AddVideoSegment(task.sourcePath, task.startTime, task.endTime, 0);
    m_media.AddAudioSegment(task.sourcePath, task.startTime, task.endTime);

    const QString path = intermediatePath(intermediateFolder(), task.exportName, route.extension,
                                          randomNumber(10000, 50000));
    task.intermediatePath = path;
    task.preState = 1;
    task.preDone = 0;
    m_tasks.set(taskIndex, task);
    QFile::remove(path);
    m_batch.runStartTick = tickCount();

    if (!m_media.ConvertToFile(path)) {
        QFile::remove(path);
        task.failed = 1;
        task.failureReason = m_media.LastError();
        m_tasks.set(taskIndex, task);
        return;
    }

    QEventLoop wait;
    QTimer safety;
    connect(&safety, &QTimer::timeout, &wait, &QEventLoop::quit);
    safety.start(kSafetyWakeMs);
    m_wait = &wait;
    for (;;) {
        if (m_batch.stopFlag)
            break;
        if (m_tasks.isValidIndex(m_batch.currentTaskIndex) &&
            m_tasks.get(m_batch.currentTaskIndex).preDone == 1)
            break;
        wait.exec();
    }
    m_wait = nullptr;
}

void PreConversion::onConversionProgress(double position, double total)
{
    const int index = m_batch.currentTaskIndex;
    if (!m_tasks.isValidIndex(index))
        return;
    const Task copy = m_tasks.get(index);
    Task task = copy;
    if (task.exportType != 0) {
        task.wmvPercent = total > 0 ? int(100.0 / total * position + 0.5) : 0;
        m_tasks.set(index, task);
        if (m_redrawProgress)
            m_redrawProgress(index);
        return;
    }

    const uint32_t elapsed = tickCount() - m_batch.runStartTick;
    // Nothing measured yet in the first millisecond: no speed rather than an infinite one.
    const double speed = elapsed > 0 ? position * 1000.0 / elapsed : 0.0;
    task.prePosition = position;
    task.prePercent = total > 0 ? 100.0 / total * position : 0.0;
    task.preRemainTime = speed > 0 && position > 20 ? (total - position) / speed : total - position;
    m_tasks.set(index, task);
    if (m_redrawProgress)
        m_redrawProgress(index);
    QCoreApplication::processEvents();
    if (m_batch.stopFlag) {
        m_media.StopConversion();
        QFile::remove(copy.intermediatePath);
    }
}

void PreConversion::onConversionComplete()
{
    const QString error = m_media.LastError();
    m_media.StopConversion();
    const int index = m_batch.currentTaskIndex;
    if (m_tasks.isValidIndex(index)) {
        Task task = m_tasks.get(index);
        if (task.exportType != 0) {
            m_batch.wmvRunning = 0;
        } else {
            task.preDone = 1;
            task.preState = 2;
        }
        if (!error.isEmpty()) {
            task.failed = 1;
            task.failureReason = error;
        }
        m_tasks.set(index, task);
    }
    wake();
}

void PreConversion::wake()
{
    if (m_wait)
        m_wait->quit();
}
