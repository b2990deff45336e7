#include "batchdriver.h"

#include "clock.h"
#include "commandexpander.h"
#include "messages.h"
#include "outputnaming.h"
#include "programfolder.h"
#include "sourcecheck.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

BatchDriver::BatchDriver(TaskList& tasks, BatchState& batch, MediaComponent& media, BatchHost& host,
                         PowerControl& power, QObject* parent)
    : QObject(parent), m_tasks(tasks), m_batch(batch), m_media(media), m_host(host), m_power(power),
      m_runner(tasks, batch)
{
    m_runner.setRedrawProgress([this](int row) { redrawProgress(row); });
    // The completion handler clears the WMV running flag; the wait only needs waking.
    connect(&m_media, &MediaComponent::ConversionComplete, this, [this] {
        if (m_wmvLoop)
            m_wmvLoop->quit();
    });
}

void BatchDriver::message(const QString& text, const QString& caption, BatchHost::MessageIcon icon)
{
    m_host.showMessage(centredMessage(text), caption, icon);
}

void BatchDriver::markFailed(int index, const QString& reason)
{
    if (!m_tasks.isValidIndex(index))
        return;
    Task task = m_tasks.get(index);
    task.failed = 1;
    task.finished = 0;
    task.failureReason = reason.isEmpty() ? tr("The conversion failed") : reason;
    m_tasks.set(index, task);
    redrawProgress(index);
}

void BatchDriver::startConverting()
{
    if (m_converting)
        return;
    const int count = m_tasks.size();
    if (count < 1)
        return;
    m_media.StopConversion();
    if (m_host.outputFolderText().isEmpty()) {
        message(QStringLiteral("Please set the output directory firstly"), QStringLiteral("Error"));
        return;
    }
    if (m_appFolder.isEmpty())
        m_appFolder = appFolder();
    QDir::setCurrent(m_appFolder);
    m_runner.setWorkingDirectory(m_appFolder);

    m_converting = true;
    m_host.showConverting(true);
    emit batchStarted();
    m_batch.stopFlag = false;
    m_batch.wmvRunning = 0;
    resetProgress(m_tasks, [this](int row) { redrawProgress(row); });

    for (int i = 0; i < count && i < m_tasks.size(); ++i) {
        m_batch.currentTaskIndex = i;
        if (m_tasks.get(i).exportType != 0)
            convertWmv(i);
        else
            convertMp4(i);
        if (m_batch.stopFlag)
            break;
    }

    m_converting = false;
    m_host.showConverting(false);
    if (!m_batch.stopFlag && m_host.shutdownWhenFinished()) {
        emit batchFinished();
        shutDownComputer();
        return;
    }
    emit batchFinished();
    message(QStringLiteral("Converting Finished"), QStringLiteral("Information"));
}

bool BatchDriver::checkSource(int index)
{
    const Task task = m_tasks.get(index);
    QString problem = sourceFileProblem(task.sourcePath);
    if (problem.isEmpty())
        problem = m_media.SourceProblem(task.sourcePath);
    if (problem.isEmpty() && !(task.endTime - task.startTime > 0))
        problem = tr("The trimmed span is empty: its end is not after its start");
    if (problem.isEmpty())
        return true;
    markFailed(index, problem);
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

void BatchDriver::convertWmv(int index)
{
    if (!checkSource(index))
        return;
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
    for (int attempt = 0; attempt < kNameAttempts && !started; ++attempt) {
        m_outputPath = chooseOutputPath(m_host.outputFolderText(), stem, 1);
        started = m_media.ConvertToFile(m_outputPath);
        if (!started && !QFileInfo::exists(m_outputPath))
            break;
    }
    if (!started) {
        // Nothing started: say why on the Task and go on with the next one.
        m_batch.wmvRunning = 0;
        markFailed(index, m_media.LastError());
        return;
    }
    m_batch.wmvStartTick = tickCount();
    m_batch.wmvEndTick = 0;
    waitForWmv();
    m_batch.wmvEndTick = tickCount();
    if (m_batch.stopFlag)
        return;
    const QString error = m_media.LastError();
    const Task done = m_tasks.get(index);
    if (!error.isEmpty() || done.failed) {
        markFailed(index, error.isEmpty() ? done.failureReason : error);
        return;
    }
    if (QFileInfo(m_outputPath).size() <= 0) {
        markFailed(index, tr("No output file was written"));
        return;
    }
    Task finished = m_tasks.get(index);
    finished.wmvPercent = 100;
    m_tasks.set(index, finished);
    redrawProgress(index);
}

void BatchDriver::waitForWmv()
{
    QEventLoop loop;
    m_wmvLoop = &loop;
    while (m_batch.wmvRunning == 1) {
        if (m_batch.stopFlag) {
            m_batch.wmvRunning = 0;
            m_media.StopConversion();
            break;
        }
        loop.exec();
    }
    m_wmvLoop = nullptr;
}

void BatchDriver::convertMp4(int index)
{
    if (!checkSource(index))
        return;
    Task task = m_tasks.get(index);
    if (task.isRealMedia == 1) {
        if (!m_preConversion.run) {
            markFailed(index, tr("RealMedia sources cannot be converted here"));
            return;
        }
        m_preConversion.run(index);
        if (m_batch.stopFlag)
            return;
        task = m_tasks.get(index);
        if (task.failed || task.preDone != 1 || !QFileInfo::exists(task.intermediatePath)) {
            QFile::remove(task.intermediatePath);
            markFailed(index, task.failureReason.isEmpty()
                                  ? tr("The RealMedia source could not be read")
                                  : task.failureReason);
            return;
        }
    }

    const QString stem = outputStem(task.exportName, task.sourcePath);
    for (int attempt = 0;; ++attempt) {
        m_outputPath = chooseOutputPath(m_host.outputFolderText(), stem, 0);
        const QString command = expandCommand(m_tasks, index, m_outputPath, m_appFolder);
        m_batch.runStartTick = tickCount();
        m_runner.runEncoder(command, index, m_outputPath);
        if (m_batch.stopFlag)
            return;
        m_runner.closeOutput();
        m_runner.writeQuitAndCloseInput();
        // Another run took the name between our look and the encoder's creation of it.
        if (!m_runner.lastRunFoundOutputTaken() || attempt + 1 >= kNameAttempts)
            break;
    }

    task = m_tasks.get(index);
    if (task.isRealMedia == 1)
        QFile::remove(task.intermediatePath); // ours, and no longer needed
    if (m_runner.lastRunFailed()) {
        markFailed(index, m_runner.lastRunError());
        return;
    }
    if (QFileInfo(m_outputPath).size() <= 0) {
        const QString detail = m_runner.lastRunError();
        markFailed(index, detail.isEmpty() ? tr("The encoder wrote no output file") : detail);
        return;
    }
    warnWhenShort(index);
    task = m_tasks.get(index);
    task.finished = 1;
    m_tasks.set(index, task);
    redrawProgress(index);
}

void BatchDriver::stopConverting()
{
    m_batch.stopFlag = true;
    // A batch may mix MP4 and WMV Tasks: stop whatever is running now.
    int exportType = m_host.selectedExportType();
    if (m_converting && m_tasks.isValidIndex(m_batch.currentTaskIndex))
        exportType = m_tasks.get(m_batch.currentTaskIndex).exportType;

    if (exportType != 0) {
        m_converting = false;
        m_host.showConverting(false);
        if (m_wmvLoop)
            m_wmvLoop->quit();
        return;
    }
    m_runner.closeOutput();
    m_runner.writeQuitAndCloseInput();
    if (m_tasks.isValidIndex(m_batch.currentTaskIndex)) {
        const Task task = m_tasks.get(m_batch.currentTaskIndex);
        if (task.isRealMedia == 1) {
            // The pre-conversion may still be writing the intermediate file.
            m_media.StopConversion();
            if (!task.intermediatePath.isEmpty())
                QFile::remove(task.intermediatePath);
        }
    }
    if (m_preConversion.wake)
        m_preConversion.wake();
    m_runner.wake();
}

void BatchDriver::shutDownComputer()
{
    if (!m_power.canPowerOff() || !m_power.powerOff())
        message(QStringLiteral("Your computer cannot shutdown"), QStringLiteral("Warning"),
                BatchHost::MessageIcon::Stop);
}
