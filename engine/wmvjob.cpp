#include "engine/wmvjob.h"

#include "engine/clock.h"
#include "engine/outputnaming.h"

#include <QFileInfo>

#include <algorithm>

void WmvJob::start()
{
    if (!checkSource())
        return;
    MediaConverter& media = m_context.media;
    const Task source = task();
    media.SetOutputFormat(MediaConverter::FormatWmv);
    media.SetWmvProfileIndex(short(source.wmvProfile));
    media.SetTitle(source.title);
    media.SetTrackChoices(source.audioTrack, source.subtitleTrack, source.subtitleFile);
    media.Reset();
    media.AddVideoSegment(source.sourcePath, source.startTime, source.endTime, 0);
    media.AddAudioSegment(source.sourcePath, source.startTime, source.endTime);
    QString path;
    if (!convertToFreeName(outputStem(source.exportName, source.sourcePath), path)) {
        // Nothing started: say why on the Task and go on with the next one.
        fail(media.LastFailureKind(), media.LastError());
        return;
    }
    setOutputPath(path);
    m_context.batch.wmvStartTick = tickCount();
    m_context.batch.wmvEndTick = 0;
    m_step = Step::ConvertingWmv;
}

bool WmvJob::convertToFreeName(const QString& stem, QString& path)
{
    // The component creates its output exclusively: when another run took the name
    // between our look and its creation, the next free name is tried.
    QSet<QString> reserved = m_context.takenNames(*this);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        path = chooseOutputPath(m_context.outputFolder, stem, 1, &reserved);
        if (m_context.media.ConvertToFile(path))
            return true;
        if (!outputNameInUse(path))
            return false;
        reserved.insert(path);
    }
    return false;
}

void WmvJob::mediaProgress(double position, double total)
{
    if (!m_context.tasks.isValidIndex(m_index))
        return;
    Task running = task();
    // Rounded, a run near its end would read as finished: only the end says so.
    const int percent = total > 0 ? int(100.0 / total * position + 0.5) : 0;
    running.wmvPercent = std::clamp(percent, 0, kWmvDone - 1);
    m_context.tasks.set(m_index, running);
    m_converted = position;
    m_length = total;
    emit changed(m_index);
}

void WmvJob::mediaComplete()
{
    m_step = Step::Idle;
    MediaConverter& media = m_context.media;
    const QString error = media.LastError();
    const FailureKind kind = media.LastFailureKind();
    media.StopConversion();
    m_context.batch.wmvEndTick = tickCount();
    if (!error.isEmpty())
        failRun(kind, error);
    else if (QFileInfo(m_outputPath).size() <= 0)
        failRun(FailureKind::EncoderStopped, tr("No output file was written"));
    else
        finish([](Task& done) { done.wmvPercent = kWmvDone; }, m_converted, m_length);
}

void WmvJob::stop()
{
    if (m_step == Step::ConvertingWmv) {
        m_context.media.StopConversion();
        m_context.batch.wmvEndTick = tickCount();
    }
    m_step = Step::Idle;
}
