#include "batchdriver.h"

#include "clock.h"
#include "commandexpander.h"
#include "messages.h"
#include "outputfolder.h"
#include "outputnaming.h"
#include "programfolder.h"
#include "sourcecheck.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>

BatchDriver::BatchDriver(TaskList& tasks, BatchState& batch, MediaConverter& media, BatchHost& host,
                         PowerControl& power, QObject* parent)
    : QObject(parent), m_tasks(tasks), m_batch(batch), m_media(media), m_host(host), m_power(power),
      m_preConversion(tasks, media)
{
    addSlot();
    connect(&m_media, &MediaConverter::ConversionProgress, this,
            &BatchDriver::onConversionProgress);
    connect(&m_media, &MediaConverter::ConversionComplete, this,
            &BatchDriver::onConversionComplete);
}

void BatchDriver::addSlot()
{
    const int number = int(m_slots.size());
    Slot slot;
    slot.runner = std::make_unique<EncoderRunner>(m_tasks);
    slot.runner->setRedrawProgress([this](int row) { changed(row); });
    connect(
        slot.runner.get(), &EncoderRunner::runEnded, this,
        [this, number](const EncoderRunner::Result& result) { onEncoderEnded(number, result); });
    connect(slot.runner.get(), &EncoderRunner::encoderStarting, this, &BatchDriver::encoderStarted);
    connect(slot.runner.get(), &EncoderRunner::outputRead, this, &BatchDriver::encoderOutput);
    connect(slot.runner.get(), &EncoderRunner::allEncodersEnded, this, [this] {
        if (runningEncoders() == 0)
            emit allEncodersEnded();
    });
    m_slots.push_back(std::move(slot));
}

void BatchDriver::setJobs(int jobs)
{
    m_jobs = std::max(1, jobs);
}

int BatchDriver::runningEncoders() const
{
    int count = 0;
    for (const Slot& slot : m_slots)
        count += slot.runner->runningEncoders();
    return count;
}

void BatchDriver::waitForEncoders()
{
    for (Slot& slot : m_slots)
        slot.runner->waitForEncoders();
}

void BatchDriver::message(const QString& text, const QString& caption, BatchHost::MessageIcon icon)
{
    m_host.showMessage(text, caption, icon);
}

void BatchDriver::markFailed(int index, FailureKind kind, const QString& reason)
{
    if (!m_tasks.isValidIndex(index))
        return;
    // The row says why the folder could not be written: gone, read-only or full.
    if (kind == FailureKind::OutputUnwritable)
        kind = outputFailureKind(m_host.outputFolderText(), reason);
    Task task = m_tasks.get(index);
    task.failed = 1;
    task.finished = 0;
    task.failureReason = reason.isEmpty() ? tr("The conversion failed") : reason;
    task.failureKind = kind == FailureKind::None ? FailureKind::Other : kind;
    m_tasks.set(index, task);
    changed(index);
}

void BatchDriver::setOutputPath(Slot& slot, int index, const QString& path)
{
    slot.outputPath = path;
    m_outputPath = path;
    m_outputs.insert(index, path);
    Task task = m_tasks.get(index);
    task.outputPath = path;
    m_tasks.set(index, task);
    changed(index);
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
    // Slots are added only while idle: the running ones are referred to by reference.
    while (int(m_slots.size()) < m_jobs)
        addSlot();
    for (Slot& slot : m_slots)
        slot.runner->setWorkingDirectory(m_appFolder);
    // Half files that a killed run left under their working names go before new ones come.
    removeLeftoverOutputs(m_host.outputFolderText());

    m_converting = true;
    m_host.showConverting(true);
    emit batchStarted();
    m_batch.stopFlag = false;
    m_skipConverted = scope == Scope::Unconverted;
    resetProgress(
        m_tasks, [this](int row) { changed(row); }, m_skipConverted);
    m_outputs.clear();
    m_summary = {};
    m_summary.total = total;
    m_next = 0;
    m_takenAhead.clear();
    startNextTask();
}

TaskState BatchDriver::taskState(int index) const
{
    if (!m_tasks.isValidIndex(index))
        return TaskState::New;
    for (const Slot& slot : m_slots) {
        if (slot.index == index && slot.step != Step::Idle)
            return slot.step == Step::PreConverting ? TaskState::PreConverting
                                                    : TaskState::Converting;
    }
    const Task task = m_tasks.get(index);
    const bool inBatch = m_converting && !(m_skipConverted && isConverted(task));
    if (inBatch && index >= m_next && !m_takenAhead.contains(index))
        return TaskState::Waiting;
    return ::taskState(task);
}

bool BatchDriver::needsMedia(int index) const
{
    const Task task = m_tasks.get(index);
    return task.exportType != 0 || task.isRealMedia == 1;
}

BatchDriver::Slot* BatchDriver::mediaSlot()
{
    for (Slot& slot : m_slots) {
        if (slot.step == Step::PreConverting || slot.step == Step::ConvertingWmv)
            return &slot;
    }
    return nullptr;
}

BatchDriver::Slot* BatchDriver::findFreeSlot()
{
    for (int i = 0; i < m_jobs && i < int(m_slots.size()); ++i) {
        if (m_slots[i].index < 0)
            return &m_slots[i];
    }
    return nullptr;
}

bool BatchDriver::anySlotBusy() const
{
    return std::any_of(m_slots.begin(), m_slots.end(),
                       [](const Slot& slot) { return slot.index >= 0; });
}

void BatchDriver::releaseSlot(Slot& slot)
{
    slot.step = Step::Idle;
    slot.index = -1;
    slot.outputPath.clear();
}

int BatchDriver::takeNextTask()
{
    const bool mediaBusy = mediaSlot() != nullptr;
    for (int index = m_next; index < m_tasks.size(); ++index) {
        if (m_takenAhead.contains(index))
            continue;
        const bool skip = m_skipConverted && isConverted(m_tasks.get(index));
        if (!skip && mediaBusy && needsMedia(index))
            continue; // its turn on the component comes when the running one ends
        if (index == m_next) {
            ++m_next;
            while (m_takenAhead.remove(m_next))
                ++m_next;
        } else {
            m_takenAhead.insert(index);
        }
        if (!skip)
            return index;
    }
    return -1;
}

void BatchDriver::startNextTask()
{
    // Tasks that end at once (a source that cannot be read) are passed over here; the
    // others end in the handler of the event that finishes them, which comes back here.
    while (m_converting) {
        if (m_batch.stopFlag) {
            endBatch();
            return;
        }
        Slot* slot = findFreeSlot();
        const int index = slot ? takeNextTask() : -1;
        if (index < 0) {
            if (!anySlotBusy())
                endBatch();
            return;
        }
        slot->index = index;
        emit taskStarted(index);
        const bool waiting =
            m_tasks.get(index).exportType != 0 ? beginWmv(*slot, index) : beginMp4(*slot, index);
        if (!waiting)
            releaseSlot(*slot);
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
    for (Slot& slot : m_slots)
        releaseSlot(slot);
    m_converting = false;
    m_host.showConverting(false);
    m_summary.stopped = m_batch.stopFlag;
    emit batchEnded(m_summary);
    if (!m_batch.stopFlag && m_host.shutdownWhenFinished()) {
        shutDownComputer();
        return;
    }
    // The counts in every case: how many were converted is worth saying when all were.
    if (m_summary.failed > 0)
        message(summaryText(m_summary, true), tr("Warning"), BatchHost::MessageIcon::Warning);
    else
        message(summaryText(m_summary, true), QStringLiteral("Information"));
}

bool BatchDriver::checkSource(int index)
{
    const Task task = m_tasks.get(index);
    SourceVerdict verdict = ::checkSource(task.sourcePath, m_media);
    if (verdict.ok() && !(task.endTime - task.startTime > 0))
        verdict = {tr("The trimmed span is empty: its end is not after its start"),
                   FailureKind::EmptySpan};
    if (verdict.ok())
        return true;
    markFailed(index, verdict.kind, verdict.problem);
    return false;
}

void BatchDriver::warnWhenShort(int index, double converted, double asked)
{
    // A frame or two of difference is the encoder's rounding; a second is not.
    if (!(converted > 0) || converted >= asked - 1.0)
        return;
    Task task = m_tasks.get(index);
    task.warning = tr("The source ended early: %1 of %2 were converted")
                       .arg(preciseTimeText(converted), preciseTimeText(asked));
    m_tasks.set(index, task);
}

QSet<QString> BatchDriver::reservedOutputs(const Slot& except) const
{
    // Another slot's encoder may not have made its file yet: its name is taken all the same.
    QSet<QString> reserved = except.refused;
    for (const Slot& slot : m_slots) {
        if (&slot != &except && slot.index >= 0 && !slot.outputPath.isEmpty())
            reserved.insert(slot.outputPath);
    }
    return reserved;
}

bool BatchDriver::beginWmv(Slot& slot, int index)
{
    if (!checkSource(index)) {
        endTask(index, TaskResult::Failed);
        return false;
    }
    const Task task = m_tasks.get(index);
    m_media.SetOutputFormat(MediaConverter::FormatWmv);
    m_media.SetWmvProfileIndex(short(task.wmvProfile));
    m_media.SetTitle(task.title);
    m_media.SetTrackChoices(task.audioTrack, task.subtitleTrack, task.subtitleFile);
    m_media.Reset();
    m_media.AddVideoSegment(task.sourcePath, task.startTime, task.endTime, 0);
    m_media.AddAudioSegment(task.sourcePath, task.startTime, task.endTime);
    const QString stem = outputStem(task.exportName, task.sourcePath);
    // The component creates its output exclusively: when another run took the name
    // between our look and its creation, the next free name is tried.
    bool started = false;
    QString path;
    slot.converted = slot.length = 0.0;
    QSet<QString> reserved = reservedOutputs(slot);
    for (int attempt = 0; attempt < kNameAttempts && !started; ++attempt) {
        path = chooseOutputPath(m_host.outputFolderText(), stem, 1, &reserved);
        started = m_media.ConvertToFile(path);
        if (!started && !outputNameInUse(path))
            break;
        reserved.insert(path);
    }
    if (!started) {
        // Nothing started: say why on the Task and go on with the next one.
        markFailed(index, m_media.LastFailureKind(), m_media.LastError());
        endTask(index, TaskResult::Failed);
        return false;
    }
    setOutputPath(slot, index, path);
    m_batch.wmvStartTick = tickCount();
    m_batch.wmvEndTick = 0;
    slot.step = Step::ConvertingWmv;
    return true;
}

bool BatchDriver::beginMp4(Slot& slot, int index)
{
    if (!checkSource(index)) {
        endTask(index, TaskResult::Failed);
        return false;
    }
    slot.nameAttempt = 0;
    slot.refused.clear();
    if (m_tasks.get(index).isRealMedia != 1)
        return beginEncoder(slot, index);
    if (!m_preConversion.start(index)) {
        const Task task = m_tasks.get(index);
        QFile::remove(task.intermediatePath);
        markFailed(index, task.failureKind, task.failureReason);
        endTask(index, TaskResult::Failed);
        return false;
    }
    slot.step = Step::PreConverting;
    return true;
}

bool BatchDriver::beginEncoder(Slot& slot, int index)
{
    const Task task = m_tasks.get(index);
    const QSet<QString> reserved = reservedOutputs(slot);
    setOutputPath(slot, index,
                  chooseOutputPath(m_host.outputFolderText(),
                                   outputStem(task.exportName, task.sourcePath), 0, &reserved));
    const QString command =
        expandCommand(m_tasks, index, slot.outputPath, m_appFolder) + choiceArguments(task);
    EncoderRunner::Result notStarted;
    if (!slot.runner->runEncoder(command, index, slot.outputPath, &notStarted)) {
        if (task.isRealMedia == 1)
            QFile::remove(task.intermediatePath);
        markFailed(index, notStarted.kind, notStarted.reason);
        endTask(index, TaskResult::Failed);
        return false;
    }
    slot.step = Step::Encoding;
    return true;
}

void BatchDriver::onEncoderEnded(int slotNumber, const EncoderRunner::Result& result)
{
    Slot& slot = m_slots[slotNumber];
    if (slot.step != Step::Encoding)
        return;
    slot.step = Step::Idle;
    const int index = slot.index;
    const QString outputPath = slot.outputPath;
    EncoderRunner& runner = *slot.runner;
    runner.closeOutput();
    runner.writeQuitAndCloseInput();
    if (!m_tasks.isValidIndex(index))
        return; // started as the batch was being stopped: nobody waits for it
    // Another run took the name between our look and the encoder's creation of it.
    using End = EncoderRunner::Result::End;
    if (result.end == End::NameTaken && ++slot.nameAttempt < kNameAttempts) {
        slot.refused.insert(outputPath); // it may be written by another program still
        if (!beginEncoder(slot, index)) {
            releaseSlot(slot);
            startNextTask();
        }
        return;
    }

    Task task = m_tasks.get(index);
    if (task.isRealMedia == 1)
        QFile::remove(task.intermediatePath); // ours, and no longer needed
    if (result.end == End::Failed || result.end == End::NameTaken) {
        markFailed(index, result.kind, result.reason);
        endTask(index, TaskResult::Failed);
    } else if (result.end == End::Stopped) {
        task.stopped = 1;
        m_tasks.set(index, task);
        changed(index);
        endTask(index, TaskResult::Stopped);
    } else if (QFileInfo(outputPath).size() <= 0) {
        markFailed(index, FailureKind::EncoderStopped, tr("The encoder wrote no output file"));
        endTask(index, TaskResult::Failed);
    } else {
        warnWhenShort(index, task.encodedTime, task.endTime - task.startTime);
        task = m_tasks.get(index);
        task.finished = 1;
        task.doneSignature = conversionSignature(task);
        m_tasks.set(index, task);
        changed(index);
        endTask(index, TaskResult::Finished);
    }
    releaseSlot(slot);
    startNextTask();
}

void BatchDriver::onConversionProgress(double position, double total)
{
    Slot* slot = mediaSlot();
    if (!slot)
        return;
    const int index = slot->index;
    if (!m_tasks.isValidIndex(index))
        return;
    if (slot->step == Step::PreConverting) {
        m_preConversion.onConversionProgress(position, total);
    } else {
        Task task = m_tasks.get(index);
        // Rounded, a run near its end would read as finished: only the end says so.
        const int percent = total > 0 ? int(100.0 / total * position + 0.5) : 0;
        task.wmvPercent = std::clamp(percent, 0, kWmvDone - 1);
        m_tasks.set(index, task);
        slot->converted = position;
        slot->length = total;
    }
    changed(index);
}

void BatchDriver::onConversionComplete()
{
    Slot* slot = mediaSlot();
    if (!slot)
        return;
    const int index = slot->index;
    if (!m_tasks.isValidIndex(index)) {
        releaseSlot(*slot);
        return;
    }
    if (slot->step == Step::PreConverting) {
        slot->step = Step::Idle;
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
            releaseSlot(*slot);
            startNextTask();
            return;
        }
        if (beginEncoder(*slot, index)) {
            startNextTask(); // the component is free for a Task that waited for it
            return;
        }
        releaseSlot(*slot);
        startNextTask();
        return;
    }
    slot->step = Step::Idle;
    const QString outputPath = slot->outputPath;
    const QString error = m_media.LastError();
    const FailureKind kind = m_media.LastFailureKind();
    m_media.StopConversion();
    m_batch.wmvEndTick = tickCount();
    if (!error.isEmpty()) {
        markFailed(index, kind, error);
        endTask(index, TaskResult::Failed);
    } else if (QFileInfo(outputPath).size() <= 0) {
        markFailed(index, FailureKind::EncoderStopped, tr("No output file was written"));
        endTask(index, TaskResult::Failed);
    } else {
        warnWhenShort(index, slot->converted, slot->length);
        Task finished = m_tasks.get(index);
        finished.wmvPercent = kWmvDone;
        finished.doneSignature = conversionSignature(finished);
        m_tasks.set(index, finished);
        changed(index);
        endTask(index, TaskResult::Finished);
    }
    releaseSlot(*slot);
    startNextTask();
}

void BatchDriver::stopConverting()
{
    // A stop asked for again while this one ends the batch (from a redraw it causes).
    if (m_converting && m_batch.stopFlag)
        return;
    m_batch.stopFlag = true;
    if (!m_converting) {
        for (Slot& slot : m_slots) {
            slot.runner->closeOutput();
            slot.runner->writeQuitAndCloseInput();
        }
        return;
    }
    // Every running Task ends as a single one would, in the order of the list.
    std::vector<Slot*> running;
    for (Slot& slot : m_slots) {
        if (slot.index >= 0)
            running.push_back(&slot);
    }
    std::sort(running.begin(), running.end(),
              [](const Slot* a, const Slot* b) { return a->index < b->index; });
    for (Slot* slot : running)
        stopSlot(*slot);
    endBatch();
}

void BatchDriver::stopSlot(Slot& slot)
{
    const int index = slot.index;
    switch (slot.step) {
    case Step::ConvertingWmv:
        m_media.StopConversion();
        m_batch.wmvEndTick = tickCount();
        break;
    case Step::Encoding:
        // The encoder finishes its file on its own; the batch does not wait for it.
        slot.runner->closeOutput();
        slot.runner->writeQuitAndCloseInput();
        slot.runner->letGo();
        if (m_tasks.isValidIndex(index) && m_tasks.get(index).isRealMedia == 1)
            QFile::remove(m_tasks.get(index).intermediatePath);
        break;
    case Step::PreConverting:
        m_preConversion.cancel();
        break;
    case Step::Idle:
        break;
    }
    releaseSlot(slot);
    if (m_tasks.isValidIndex(index)) {
        Task task = m_tasks.get(index);
        task.stopped = 1;
        m_tasks.set(index, task);
        changed(index);
        endTask(index, TaskResult::Stopped);
    }
}

void BatchDriver::shutDownComputer()
{
    // The answer may come after the window, and this driver with it, has gone.
    m_power.powerOff([self = QPointer<BatchDriver>(this)](PowerControl::Outcome outcome) {
        if (!self || outcome != PowerControl::Outcome::Refused)
            return;
        QString text = QStringLiteral("Your computer cannot shutdown");
        const QString reason = self->m_power.refusalReason();
        if (!reason.isEmpty())
            text += QStringLiteral(": ") + reason +
                    tr("\nSave your work and power it off from the desktop's menu, or ask "
                       "the computer's administrator to allow this user to do so.");
        self->message(text, QStringLiteral("Warning"), BatchHost::MessageIcon::Stop);
    });
}
