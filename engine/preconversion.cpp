#include "engine/preconversion.h"

#include "engine/clock.h"
#include "engine/outputnaming.h"
#include "engine/programfolder.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <utility>

namespace {

struct Route
{
    bool avi;
    double frameRate;
    int format;
    const char* extension;
};

} // namespace

PreConversion::PreConversion(TaskList& tasks, MediaConverter& media)
    : m_tasks(tasks), m_media(media)
{
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
    return int(QRandomGenerator::global()->bounded(qint64(low), qint64(high) + 1));
}

QString PreConversion::intermediatePath(const QString& folder, const QString& exportName,
                                        const QString& extension, int number)
{
    // The name comes from the title the user typed: it must not lead into another folder.
    return fittedPath(folder, safeFileStem(exportName),
                      QString("_%1.%2").arg(number).arg(extension));
}

bool PreConversion::start(int taskIndex)
{
    const int video =
        chooseCompressor(m_media.VideoCompressors(), "Microsoft MPEG-4 Video Codec V3", "DivX");
    const int audio = chooseCompressor(m_media.AudioCompressors(), "MPEG Layer-3", "PCM");
    Task task = m_tasks.get(taskIndex);

    const bool avi = video >= 0 && audio >= 0;
    const Route route = avi ? Route{true, 25.0, MediaConverter::FormatAvi, "avi"}
                            : Route{false, double(23.976f), MediaConverter::FormatMpeg, "mpg"};
    m_media.Reset();
    // The intermediate file holds the chosen sound track alone, with the subtitles drawn
    // in on the source's own clock: the encoder that reads it is given no choice.
    m_media.SetTrackChoices(task.audioTrack, task.subtitleTrack, task.subtitleFile);
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

    // Created exclusively: a name that is taken is another's file, and another number is
    // tried rather than the file removed.
    const QString folder = intermediateFolder();
    QString path;
    bool started = false;
    for (int attempt = 0; attempt < 10 && !started; ++attempt) {
        path =
            intermediatePath(folder, task.exportName, route.extension, randomNumber(10000, 50000));
        task.intermediatePath = path;
        task.preState = 1;
        task.preDone = 0;
        m_tasks.set(taskIndex, task);
        m_startTick = tickCount();
        m_taskIndex = taskIndex;
        started = m_media.ConvertToFile(path);
        if (!started && !QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
            break;
    }
    if (!started) {
        task.intermediatePath.clear(); // never ours: nothing may remove it
        task.failed = 1;
        task.failureReason = m_media.LastError();
        task.failureKind = m_media.LastFailureKind();
        m_tasks.set(taskIndex, task);
        m_taskIndex = -1;
        return false;
    }
    return true;
}

void PreConversion::onConversionProgress(double position, double total, uint32_t now)
{
    if (!m_tasks.isValidIndex(m_taskIndex))
        return;
    Task task = m_tasks.get(m_taskIndex);
    const uint32_t elapsed = now - m_startTick;
    // Nothing measured yet in the first millisecond: no speed rather than an infinite one.
    const double speed = elapsed > 0 ? position * 1000.0 / elapsed : 0.0;
    task.prePosition = position;
    task.prePercent = total > 0 ? 100.0 / total * position : 0.0;
    task.preRemainTime = speed > 0 && position > 20 ? (total - position) / speed : total - position;
    m_tasks.set(m_taskIndex, task);
}

void PreConversion::onConversionComplete()
{
    const int index = std::exchange(m_taskIndex, -1);
    if (!m_tasks.isValidIndex(index))
        return;
    const QString error = m_media.LastError();
    m_media.StopConversion();
    Task task = m_tasks.get(index);
    task.preDone = 1;
    task.preState = 2;
    if (!error.isEmpty()) {
        task.failed = 1;
        task.failureReason = error;
        task.failureKind = m_media.LastFailureKind();
    }
    m_tasks.set(index, task);
}

void PreConversion::cancel()
{
    const int index = std::exchange(m_taskIndex, -1);
    m_media.DiscardConversion();
    if (m_tasks.isValidIndex(index) && !m_tasks.get(index).intermediatePath.isEmpty())
        QFile::remove(m_tasks.get(index).intermediatePath);
}
