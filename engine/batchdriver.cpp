#include "batchdriver.h"

#include "clock.h"
#include "commandexpander.h"
#include "messages.h"
#include "outputnaming.h"
#include "programfolder.h"
#include "sourcecheck.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

BatchDriver::BatchDriver(TaskList& tasks, BatchState& batch, MediaComponent& media, BatchHost& host,
                         PowerControl& power, QObject* parent)
    : QObject(parent), m_tasks(tasks), m_batch(batch), m_media(media), m_host(host), m_power(power),
      m_runner(tasks, batch), m_preConversion(tasks, batch, media)
{
    m_runner.setRedrawProgress([this](int row) { redrawProgress(row); });
    connect(&m_runner, &EncoderRunner::runEnded, this, &BatchDriver::onEncoderEnded);
    connect(&m_runner, &EncoderRunner::encoderStarting, this, &BatchDriver::encoderStarted);
    connect(&m_runner, &EncoderRunner::outputRead, this, &BatchDriver::encoderOutput);
    connect(&m_media, &MediaComponent::ConversionProgress, this,
            &BatchDriver::onConversionProgress);
    connect(&m_media, &MediaComponent::ConversionComplete, this,
            &BatchDriver::onConversionComplete);
}

void BatchDriver::message(const QString& text, const QString& caption, BatchHost::MessageIcon icon)
{
    m_host.showMessage(centredMessage(text), caption, icon);
}

void BatchDriver::markFailed(int index, FailureKind kind, const QString& reason)
{
    if (!m_tasks.isValidIndex(index))
        return;
    Task task = m_tasks.get(index);
    task.failed = 1;
    task.finished = 0;
    task.failureReason = reason.isEmpty() ? tr("The conversion failed") : reason;
    task.failureKind = kind == FailureKind::None ? FailureKind::Other : kind;
    m_tasks.set(index, task);
    redrawProgress(index);
}

void BatchDriver::setOutputPath(int index, const QString& path)
{
    m_outputPath = path;
    m_outputs.insert(index, path);
    Task task = m_tasks.get(index);
    task.outputPath = path;
    m_tasks.set(index, task);
    m_host.redrawCell(index, ColumnExport);
}

QString BatchDriver::summaryText(const Summary& s, bool counts)
{
    const bool allFinished = !s.stopped && s.finished == s.total;
    if (allFinished && !counts)
        return QStringLiteral("Converting Finished");
    QStringList parts{tr("%n converted", nullptr, s.finished)};
    if (s.failed > 0 || !s.stopped)
        parts << tr("%n failed", nullptr, s.failed);
    const int rest = s.total - s.finished - s.failed;
    if (rest > 0)
        parts << tr("%n not converted", nullptr, rest);
    return (s.stopped ? tr("Converting Stopped: ") : tr("Converting Finished: ")) +
           parts.join(QStringLiteral(", "));
}

void BatchDriver::startConverting(Scope scope)
{
    if (m_converting)
        return;
    int total = 0;
    for (int i = 0; i < m_tasks.size(); ++i)
        total += scope == Scope::All || !isConverted(m_tasks.get(i)) ? 1 : 0;
    if (total < 1)
        return;
    m_media.StopConversion();
    if (m_host.outputFolderText().isEmpty()) {
        message(QStringLiteral("Please set the output directory firstly"), QStringLiteral("Error"));
        return;
    }
    if (m_appFolder.isEmpty())
        m_appFolder = appFolder();
    m_runner.setWorkingDirectory(m_appFolder);

    m_converting = true;
    m_host.showConverting(true);
    emit batchStarted();
    m_batch.stopFlag = false;
    m_batch.wmvRunning = 0;
    m_skipConverted = scope == Scope::Unconverted;
    resetProgress(
        m_tasks, [this](int row) { redrawProgress(row); }, m_skipConverted);
    m_outputs.clear();
    m_summary = {};
    m_summary.total = total;
    m_next = 0;
    startNextTask();
}

void BatchDriver::startNextTask()
{
    // Tasks that end at once (a source that cannot be read) are passed over here; the
    // others end in the handler of the event that finishes them, which comes back here.
    while (m_converting) {
        if (m_batch.stopFlag || m_next >= m_tasks.size()) {
            endBatch();
            return;
        }
        const int index = m_next++;
        if (m_skipConverted && isConverted(m_tasks.get(index)))
            continue;
        m_batch.currentTaskIndex = index;
        emit taskStarted(index);
        const bool waiting = m_tasks.get(index).exportType != 0 ? beginWmv(index) : beginMp4(index);
        if (waiting)
            return;
    }
}

void BatchDriver::endTask(int index, TaskResult result)
{
    if (result == TaskResult::Finished)
        ++m_summary.finished;
    else if (result == TaskResult::Failed)
        ++m_summary.failed;
    emit taskEnded(index, result);
}

void BatchDriver::endBatch()
{
    m_step = Step::Idle;
    m_converting = false;
    m_host.showConverting(false);
    m_summary.stopped = m_batch.stopFlag;
    emit batchEnded(m_summary);
    if (!m_batch.stopFlag && m_host.shutdownWhenFinished()) {
        shutDownComputer();
        return;
    }
    if (m_summary.failed > 0)
        message(summaryText(m_summary), tr("Warning"), BatchHost::MessageIcon::Warning);
    else
        message(summaryText(m_summary), QStringLiteral("Information"));
}

bool BatchDriver::checkSource(int index)
{
    const Task task = m_tasks.get(index);
    QString problem = sourceFileProblem(task.sourcePath);
    FailureKind kind = FailureKind::SourceUnreadable;
    if (!problem.isEmpty() && !QFileInfo(task.sourcePath).exists())
        kind = FailureKind::SourceMissing;
    if (problem.isEmpty())
        problem = m_media.SourceProblem(task.sourcePath);
    if (problem.isEmpty() && !(task.endTime - task.startTime > 0)) {
        problem = tr("The trimmed span is empty: its end is not after its start");
        kind = FailureKind::EmptySpan;
    }
    if (problem.isEmpty())
        return true;
    markFailed(index, kind, problem);
    return false;
}

void BatchDriver::warnWhenShort(int index)
{
    Task task = m_tasks.get(index);
    const double asked = task.endTime - task.startTime;
    // A frame or two of difference is the encoder's rounding; a second is not.
    if (!(task.encodedTime > 0) || task.encodedTime >= asked - 1.0)
        return;
    task.warning = tr("The source ended early: %1 of %2 were converted")
                       .arg(preciseTimeText(task.encodedTime), preciseTimeText(asked));
    m_tasks.set(index, task);
}

bool BatchDriver::beginWmv(int index)
{
    if (!checkSource(index)) {
        endTask(index, TaskResult::Failed);
        return false;
    }
    const Task task = m_tasks.get(index);
    m_media.SetOutputFormat(MediaComponent::FormatWmv);
    m_media.SetWmvProfileIndex(short(task.wmvProfile));
    m_media.Reset();
    m_media.AddVideoSegment(task.sourcePath, task.startTime, task.endTime, 0);
    m_media.AddAudioSegment(task.sourcePath, task.startTime, task.endTime);
    m_batch.wmvRunning = 1;
    const QString stem = outputStem(task.exportName, task.sourcePath);
    // The component creates its output exclusively: when another run took the name
    // between our look and its creation, the next free name is tried.
    bool started = false;
    QString path;
    for (int attempt = 0; attempt < kNameAttempts && !started; ++attempt) {
        path = chooseOutputPath(m_host.outputFolderText(), stem, 1);
        started = m_media.ConvertToFile(path);
        if (!started && !QFileInfo::exists(path))
            break;
    }
    if (!started) {
        // Nothing started: say why on the Task and go on with the next one.
        m_batch.wmvRunning = 0;
        markFailed(index, m_media.LastFailureKind(), m_media.LastError());
        endTask(index, TaskResult::Failed);
        return false;
    }
    setOutputPath(index, path);
    m_batch.wmvStartTick = tickCount();
    m_batch.wmvEndTick = 0;
    m_step = Step::ConvertingWmv;
    return true;
}

bool BatchDriver::beginMp4(int index)
{
    if (!checkSource(index)) {
        endTask(index, TaskResult::Failed);
        return false;
    }
    m_nameAttempt = 0;
    if (m_tasks.get(index).isRealMedia != 1)
        return beginEncoder(index);
    if (!m_preConversion.start(index)) {
        const Task task = m_tasks.get(index);
        QFile::remove(task.intermediatePath);
        markFailed(index, task.failureKind, task.failureReason);
        endTask(index, TaskResult::Failed);
        return false;
    }
    m_step = Step::PreConverting;
    return true;
}

bool BatchDriver::beginEncoder(int index)
{
    const Task task = m_tasks.get(index);
    setOutputPath(index, chooseOutputPath(m_host.outputFolderText(),
                                          outputStem(task.exportName, task.sourcePath), 0));
    const QString command = expandCommand(m_tasks, index, m_outputPath, m_appFolder);
    m_batch.runStartTick = tickCount();
    if (!m_runner.runEncoder(command, index, m_outputPath)) {
        if (task.isRealMedia == 1)
            QFile::remove(task.intermediatePath);
        markFailed(index, m_runner.lastRunFailureKind(), m_runner.lastRunError());
        endTask(index, TaskResult::Failed);
        return false;
    }
    m_step = Step::Encoding;
    return true;
}

void BatchDriver::onEncoderEnded()
{
    if (m_step != Step::Encoding)
        return;
    m_step = Step::Idle;
    const int index = m_batch.currentTaskIndex;
    m_runner.closeOutput();
    m_runner.writeQuitAndCloseInput();
    // Another run took the name between our look and the encoder's creation of it.
    if (m_runner.lastRunFoundOutputTaken() && ++m_nameAttempt < kNameAttempts) {
        if (!beginEncoder(index))
            startNextTask();
        return;
    }

    Task task = m_tasks.get(index);
    if (task.isRealMedia == 1)
        QFile::remove(task.intermediatePath); // ours, and no longer needed
    if (m_runner.lastRunFailed()) {
        markFailed(index, m_runner.lastRunFailureKind(), m_runner.lastRunError());
        endTask(index, TaskResult::Failed);
    } else if (QFileInfo(m_outputPath).size() <= 0) {
        const QString detail = m_runner.lastRunError();
        markFailed(index, FailureKind::EncoderStopped,
                   detail.isEmpty() ? tr("The encoder wrote no output file") : detail);
        endTask(index, TaskResult::Failed);
    } else {
        warnWhenShort(index);
        task = m_tasks.get(index);
        task.finished = 1;
        task.doneSignature = conversionSignature(task);
        m_tasks.set(index, task);
        redrawProgress(index);
        endTask(index, TaskResult::Finished);
    }
    startNextTask();
}

void BatchDriver::onConversionProgress(double position, double total)
{
    const int index = m_batch.currentTaskIndex;
    if (!m_tasks.isValidIndex(index))
        return;
    if (m_step == Step::PreConverting) {
        m_preConversion.onConversionProgress(position, total);
    } else if (m_step == Step::ConvertingWmv) {
        Task task = m_tasks.get(index);
        task.wmvPercent = total > 0 ? int(100.0 / total * position + 0.5) : 0;
        m_tasks.set(index, task);
    } else {
        return;
    }
    redrawProgress(index);
}

void BatchDriver::onConversionComplete()
{
    const int index = m_batch.currentTaskIndex;
    if (m_step == Step::PreConverting) {
        m_step = Step::Idle;
        m_preConversion.onConversionComplete();
        const Task task = m_tasks.get(index);
        if (task.failed || task.preDone != 1 || !QFileInfo::exists(task.intermediatePath)) {
            QFile::remove(task.intermediatePath);
            if (task.failureReason.isEmpty())
                markFailed(index, FailureKind::SourceUnreadable,
                           tr("The RealMedia source could not be read"));
            else
                markFailed(index, task.failureKind, task.failureReason);
            endTask(index, TaskResult::Failed);
            startNextTask();
            return;
        }
        if (!beginEncoder(index))
            startNextTask();
        return;
    }
    if (m_step != Step::ConvertingWmv)
        return;
    m_step = Step::Idle;
    const QString error = m_media.LastError();
    const FailureKind kind = m_media.LastFailureKind();
    m_media.StopConversion();
    m_batch.wmvRunning = 0;
    m_batch.wmvEndTick = tickCount();
    if (!error.isEmpty()) {
        markFailed(index, kind, error);
        endTask(index, TaskResult::Failed);
    } else if (QFileInfo(m_outputPath).size() <= 0) {
        markFailed(index, FailureKind::EncoderStopped, tr("No output file was written"));
        endTask(index, TaskResult::Failed);
    } else {
        Task finished = m_tasks.get(index);
        finished.wmvPercent = 100;
        finished.doneSignature = conversionSignature(finished);
        m_tasks.set(index, finished);
        redrawProgress(index);
        endTask(index, TaskResult::Finished);
    }
    startNextTask();
}

void BatchDriver::stopConverting()
{
    // A stop asked for again while this one ends the batch (from a redraw it causes).
    if (m_converting && m_batch.stopFlag)
        return;
    m_batch.stopFlag = true;
    if (!m_converting) {
        m_runner.closeOutput();
        m_runner.writeQuitAndCloseInput();
        return;
    }
    const int index = m_batch.currentTaskIndex;
    switch (m_step) {
    case Step::ConvertingWmv:
        m_media.StopConversion();
        m_batch.wmvRunning = 0;
        m_batch.wmvEndTick = tickCount();
        break;
    case Step::Encoding:
        // The encoder finishes its file on its own; the batch does not wait for it.
        m_runner.closeOutput();
        m_runner.writeQuitAndCloseInput();
        m_runner.letGo();
        if (m_tasks.isValidIndex(index) && m_tasks.get(index).isRealMedia == 1)
            QFile::remove(m_tasks.get(index).intermediatePath);
        break;
    case Step::PreConverting:
        m_preConversion.cancel();
        break;
    case Step::Idle:
        break;
    }
    m_step = Step::Idle;
    if (m_tasks.isValidIndex(index)) {
        Task task = m_tasks.get(index);
        task.stopped = 1;
        m_tasks.set(index, task);
        redrawProgress(index);
        endTask(index, TaskResult::Stopped);
    }
    endBatch();
}

void BatchDriver::shutDownComputer()
{
    // The answer may come after the window, and this driver with it, has gone.
    m_power.powerOff([self = QPointer<BatchDriver>(this)](PowerControl::Outcome outcome) {
        if (self && outcome == PowerControl::Outcome::Refused)
            self->message(QStringLiteral("Your computer cannot shutdown"),
                          QStringLiteral("Warning"), BatchHost::MessageIcon::Stop);
    });
}
