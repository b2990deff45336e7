#include "engine/batchjob.h"

#include "engine/commandexpander.h"
#include "engine/outputfolder.h"
#include "engine/sourcecheck.h"

BatchJob::BatchJob(JobContext& context, int taskIndex, QObject* parent)
    : QObject(parent), m_context(context), m_index(taskIndex)
{
}

bool BatchJob::checkSource()
{
    const Task source = task();
    SourceVerdict verdict = ::checkSource(source.sourcePath, m_context.media);
    if (verdict.ok() && !(source.endTime - source.startTime > 0))
        verdict = {tr("The trimmed span is empty: its end is not after its start"),
                   FailureKind::EmptySpan};
    if (verdict.ok())
        return true;
    fail(verdict.kind, verdict.problem);
    return false;
}

void BatchJob::setOutputPath(const QString& path)
{
    m_outputPath = path;
    emit outputChosen(m_index, path);
    Task named = task();
    named.outputPath = path;
    m_context.tasks.set(m_index, named);
    emit changed(m_index);
}

void BatchJob::fail(FailureKind kind, const QString& reason)
{
    m_step = Step::Idle;
    emit finished(Result{Result::End::Failed, kind, reason});
}

void BatchJob::failRun(FailureKind kind, const QString& reason)
{
    // A failure to write the output is classed by the batch already; a source that
    // cannot be read is no matter of the folder.
    const bool causeUnknown = kind == FailureKind::None || kind == FailureKind::Other ||
                              kind == FailureKind::EncoderStopped;
    FailureKind folder = outputFolderProblem(m_context.outputFolder);
    if (folder == FailureKind::None &&
        outputFailureKind(m_context.outputFolder, reason) == FailureKind::DiskFull)
        folder = FailureKind::DiskFull;
    if (!causeUnknown || folder == FailureKind::None) {
        fail(kind, reason);
        return;
    }
    QString cause;
    if (folder == FailureKind::OutputMissing)
        cause = tr("The output folder %1 is gone");
    else if (folder == FailureKind::OutputReadOnly)
        cause = tr("The output folder %1 cannot be written");
    else
        cause = tr("The disk of the output folder %1 is full");
    cause = cause.arg(m_context.outputFolder);
    if (!reason.isEmpty()) {
        cause += QStringLiteral(" (");
        cause += reason;
        cause += u')';
    }
    fail(folder, cause);
}

void BatchJob::finish(const std::function<void(Task&)>& mark, double converted, double asked)
{
    Task done = task();
    // A frame or two of difference is the encoder's rounding; a second is not.
    if (converted > 0 && converted < asked - 1.0)
        done.warning = tr("The source ended early: %1 of %2 were converted")
                           .arg(preciseTimeText(converted), preciseTimeText(asked));
    mark(done);
    done.doneSignature = conversionSignature(done);
    m_context.tasks.set(m_index, done);
    emit changed(m_index);
    end(Result::End::Finished);
}
