#include "engine/realmediajob.h"

#include <QFile>
#include <QFileInfo>

RealMediaJob::RealMediaJob(JobContext& context, int taskIndex, EncoderRunner& runner,
                           QObject* parent)
    : BatchJob(context, taskIndex, parent), m_preConversion(context.tasks, context.media),
      m_runner(runner)
{
}

BatchJob::Step RealMediaJob::step() const
{
    return m_encoder ? m_encoder->step() : m_step;
}

QString RealMediaJob::outputPath() const
{
    return m_encoder ? m_encoder->outputPath() : QString();
}

void RealMediaJob::removeIntermediate()
{
    if (m_context.tasks.isValidIndex(m_index))
        QFile::remove(task().intermediatePath);
}

void RealMediaJob::start()
{
    if (!checkSource())
        return;
    if (!m_preConversion.start(m_index)) {
        removeIntermediate();
        fail(task().failureKind, task().failureReason);
        return;
    }
    m_step = Step::PreConverting;
}

void RealMediaJob::mediaProgress(double position, double total)
{
    if (!m_context.tasks.isValidIndex(m_index))
        return;
    m_preConversion.onConversionProgress(position, total);
    emit changed(m_index);
}

void RealMediaJob::mediaComplete()
{
    m_step = Step::Idle;
    m_preConversion.onConversionComplete();
    const Task converted = task();
    if (converted.failed || converted.preDone != 1 ||
        !QFileInfo::exists(converted.intermediatePath)) {
        removeIntermediate();
        if (converted.failureReason.isEmpty())
            fail(FailureKind::SourceUnreadable, tr("The RealMedia source could not be read"));
        else
            fail(converted.failureKind, converted.failureReason);
        return;
    }
    startEncoder();
}

void RealMediaJob::startEncoder()
{
    m_encoder = new EncoderJob(m_context, m_index, m_runner, this);
    connect(m_encoder, &BatchJob::changed, this, &BatchJob::changed);
    connect(m_encoder, &BatchJob::outputChosen, this, &BatchJob::outputChosen);
    connect(m_encoder, &BatchJob::finished, this, [this](const Result& result) {
        removeIntermediate(); // ours, and no longer needed
        emit finished(result);
    });
    m_encoder->startEncoder();
    if (m_encoder->step() == Step::Encoding)
        emit mediaReleased(); // the component is free for a Task that waited for it
}

void RealMediaJob::stop()
{
    if (m_encoder) {
        const bool encoding = m_encoder->step() == Step::Encoding;
        m_encoder->stop();
        if (encoding)
            removeIntermediate();
    } else if (m_step == Step::PreConverting) {
        m_preConversion.cancel();
    }
    m_step = Step::Idle;
}
