#include "common/fakemedia.h"

#include <QFile>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {
// Progress is reported this long after the start of a conversion that completes.
constexpr int kProgressAfterMs = 5;
} // namespace

MediaCollection FakeConverter::WmvProfiles() const
{
    return MediaCollection(m.wmvDescriptions);
}

void FakeConverter::SetWmvProfileIndex(short index)
{
    m.log << QStringLiteral("WmvProfileIndex %1").arg(index);
}

void FakeConverter::SetVideoCompressorIndex(short index)
{
    m.log << QStringLiteral("VideoCompressorIndex %1").arg(index);
}

MediaCollection FakeConverter::VideoCompressors() const
{
    return MediaCollection(m.videoCompressors);
}

void FakeConverter::SetUseVideoCompressor(bool use)
{
    m.log << QStringLiteral("UseVideoCompressor %1").arg(use);
}

void FakeConverter::SetAudioCompressorIndex(short index)
{
    m.log << QStringLiteral("AudioCompressorIndex %1").arg(index);
}

MediaCollection FakeConverter::AudioCompressors() const
{
    return MediaCollection(m.audioCompressors);
}

void FakeConverter::SetUseAudioCompressor(bool use)
{
    m.log << QStringLiteral("UseAudioCompressor %1").arg(use);
}

void FakeConverter::SetOutputHeight(short pixels)
{
    m.log << QStringLiteral("OutputHeight %1").arg(pixels);
}

void FakeConverter::SetOutputWidth(short pixels)
{
    m.log << QStringLiteral("OutputWidth %1").arg(pixels);
}

void FakeConverter::SetColorDepth(short bits)
{
    m.log << QStringLiteral("ColorDepth %1").arg(bits);
}

void FakeConverter::SetOutputFormat(int format)
{
    m.log << QStringLiteral("OutputFormat %1").arg(format);
}

void FakeConverter::SetFrameRate(double fps)
{
    m.log << QStringLiteral("FrameRate %1").arg(fps, 0, 'g', 17);
}

void FakeConverter::SetTitle(const QString& title)
{
    m.titles << title;
}

void FakeConverter::SetTrackChoices(int audioTrack, int subtitleTrack, const QString& subtitleFile)
{
    m.log << QStringLiteral("TrackChoices %1 %2 %3")
                 .arg(audioTrack)
                 .arg(subtitleTrack)
                 .arg(subtitleFile)
                 .trimmed();
}

bool FakeConverter::ConvertToFile(const QString& path)
{
    m.log << QStringLiteral("ConvertToFile %1").arg(path);
    cancelRunning();
    const int call = m.calls++;
    if (m.refuseStart) {
        m.lastError = m.refusal;
        return false;
    }
    QFile output(path);
    if (m.nameTakenOnce) {
        m.nameTakenOnce = false;
        output.open(QIODevice::WriteOnly);
        output.write("theirs");
        output.close();
    }
    if (!output.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        m.lastError = output.exists() ? "The file " + path + " already exists; it is not replaced"
                                      : "Cannot create " + path;
        return false;
    }
    output.close();
    m.lastError.clear();
    m.lastOutput = path;
    m_running = path;
    if (m.completeAfterMs < 0)
        return true;
    const QString error = m.errorOnCall < 0 || m.errorOnCall == call ? m.errorAtEnd : QString();
    const int mine = m_generation;
    QTimer::singleShot(std::min(kProgressAfterMs, m.completeAfterMs), this, [this, mine] {
        if (mine == m_generation)
            emit ConversionProgress(1, 3);
    });
    QTimer::singleShot(m.completeAfterMs, this, [this, mine, path, error] {
        if (mine != m_generation)
            return;
        // As the real component, the last report says how far the source went.
        if (error.isEmpty())
            emit ConversionProgress(m.convertedTo, 3);
        complete(path, error);
    });
    return true;
}

void FakeConverter::complete(const QString& path, const QString& error)
{
    m_running.clear();
    if (error.isEmpty()) {
        QFile output(path);
        output.open(QIODevice::WriteOnly);
        output.write("wmv");
        ++m.converted;
    } else {
        QFile::remove(path);
    }
    m.lastError = error;
    emit ConversionComplete();
}

double FakeConverter::GetDuration(const QString& path)
{
    ++m.durationCalls;
    return m.durations.value(path, m.defaultDuration);
}

bool FakeConverter::AddAudioSegment(const QString& path, double start, double end)
{
    m.log << QStringLiteral("Audio %1 %2 %3").arg(path).arg(start).arg(end);
    return true;
}

bool FakeConverter::AddVideoSegment(const QString& path, double start, double end, short)
{
    m.log << QStringLiteral("Video %1 %2 %3").arg(path).arg(start).arg(end);
    return true;
}

void FakeConverter::Reset()
{
    m.log << QStringLiteral("Reset");
}

void FakeConverter::StopConversion()
{
    m.log << QStringLiteral("StopConversion");
    ++m.stopCalls;
    cancelRunning();
}

void FakeConverter::cancelRunning()
{
    ++m_generation;
    // Stopped before it wrote anything: nothing is left, as with the real one.
    if (!m_running.isEmpty())
        QFile::remove(std::exchange(m_running, QString()));
}

QString FakeConverter::LastError() const
{
    return m.lastError;
}

FailureKind FakeConverter::LastFailureKind() const
{
    return m.lastError.isEmpty() ? FailureKind::None : m.errorKind;
}

QString FakeConverter::SourceProblem(const QString& path)
{
    return m.sourceProblem ? m.sourceProblem(path) : QString();
}

double FakePreview::GetDuration(const QString& path)
{
    ++m.durationCalls;
    return m.durations.value(path, m.defaultDuration);
}

void FakePreview::SetColorDepth(short bits)
{
    m.log << QStringLiteral("ColorDepth %1").arg(bits);
}

bool FakePreview::AddAudioSegment(const QString& path, double start, double second)
{
    m.log << QStringLiteral("Audio %1 %2 %3").arg(path).arg(start).arg(second);
    return true;
}

bool FakePreview::AddVideoSegment(const QString& path, double start, double second, short)
{
    m.log << QStringLiteral("Video %1 %2 %3").arg(path).arg(start).arg(second);
    return true;
}

void FakePreview::Reset()
{
    m.log << QStringLiteral("Reset");
}

void FakePreview::SetTrackChoices(int audioTrack, int subtitleTrack, const QString& subtitleFile)
{
    m.log << QStringLiteral("PreviewChoices %1 %2 %3")
                 .arg(audioTrack)
                 .arg(subtitleTrack)
                 .arg(subtitleFile)
                 .trimmed();
}

bool FakePreview::Play()
{
    m.log << QStringLiteral("Play");
    return true;
}

void FakePreview::StopPlay()
{
    m.log << QStringLiteral("StopPlay");
}

void FakePreview::ShowStill(const QString& path, double time)
{
    m.log << QStringLiteral("Still %1 %2").arg(path).arg(time);
}

void FakePreview::ClearPicture()
{
    m.log << QStringLiteral("ClearPicture");
}

QStringList FakeMedia::entries(const QString& prefix) const
{
    QStringList found;
    for (const QString& line : log)
        if (line.startsWith(prefix))
            found << line;
    return found;
}
