#include "engine/encoderjob.h"

#include "engine/commandexpander.h"
#include "engine/outputnaming.h"

#include <QFileInfo>

EncoderJob::EncoderJob(JobContext& context, int taskIndex, EncoderRunner& runner, QObject* parent)
    : BatchJob(context, taskIndex, parent), m_runner(runner)
{
}

void EncoderJob::start()
{
    if (checkSource())
        startEncoder();
}

void EncoderJob::startEncoder()
{
    m_nameAttempt = 0;
    m_refused.clear();
    m_runEnded = connect(&m_runner, &EncoderRunner::runEnded, this, &EncoderJob::onRunEnded);
    runEncoder();
}

void EncoderJob::release()
{
    m_step = Step::Idle;
    disconnect(m_runEnded); // the runner goes on to the slot's next job
}

void EncoderJob::runEncoder()
{
    const Task source = task();
    QSet<QString> reserved = m_context.takenNames(*this);
    reserved.unite(m_refused);
    setOutputPath(chooseOutputPath(m_context.outputFolder,
                                   outputStem(source.exportName, source.sourcePath), 0, &reserved));
    const QString command =
        expandCommand(m_context.tasks, m_index, m_outputPath, m_context.appFolder) +
        choiceArguments(source);
    EncoderRunner::Result notStarted;
    if (!m_runner.runEncoder(command, m_index, m_outputPath, &notStarted)) {
        release();
        fail(notStarted.kind, notStarted.reason);
        return;
    }
    m_step = Step::Encoding;
}

void EncoderJob::onRunEnded(const EncoderRunner::Result& result)
{
    if (m_step != Step::Encoding)
        return;
    m_step = Step::Idle;
    m_runner.closeOutput();
    m_runner.writeQuitAndCloseInput();
    // Another run took the name between our look and the encoder's creation of it.
    using End = EncoderRunner::Result::End;
    if (result.end == End::NameTaken && ++m_nameAttempt < kNameAttempts) {
        m_refused.insert(m_outputPath); // it may be written by another program still
        runEncoder();
        return;
    }
    release();
    if (result.end == End::Failed || result.end == End::NameTaken) {
        failRun(result.kind, result.reason);
    } else if (result.end == End::Stopped) {
        end(Result::End::Stopped);
    } else if (QFileInfo(m_outputPath).size() <= 0) {
        failRun(FailureKind::EncoderStopped, tr("The encoder wrote no output file"));
    } else {
        const Task source = task();
        finish(
            [this](Task& done) {
                done.finished = 1;
                done.change = m_runner.changes();
            },
            source.encodedTime, source.endTime - source.startTime);
    }
}

void EncoderJob::stop()
{
    if (m_step == Step::Encoding) {
        m_runner.closeOutput();
        m_runner.writeQuitAndCloseInput();
        m_runner.letGo();
    }
    release();
}
