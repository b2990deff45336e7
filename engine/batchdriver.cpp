#include "engine/batchdriver.h"

#include "engine/encoderjob.h"
#include "engine/outputfolder.h"
#include "engine/outputnaming.h"
#include "engine/programfolder.h"
#include "engine/realmediajob.h"
#include "engine/wmvjob.h"

#include <QFileInfo>
#include <QPointer>

#include <algorithm>

BatchDriver::BatchDriver(TaskList& tasks, BatchState& batch, MediaConverter& media, BatchHost& host,
                         PowerControl& power, QObject* parent)
    : QObject(parent), m_tasks(tasks), m_batch(batch), m_media(media), m_host(host),
      m_power(power), m_context{
                          tasks, media,
                          batch, {},
                          {},    [this](const BatchJob& asking) { return takenNames(asking); }}
{
    addSlot();
    // The component's events go to the job whose turn it is.
    connect(&m_media, &MediaConverter::ConversionProgress, this,
            [this](double position, double total) {
                if (BatchJob* job = mediaJob())
                    job->mediaProgress(position, total);
            });
    connect(&m_media, &MediaConverter::ConversionComplete, this, [this] {
        if (BatchJob* job = mediaJob())
            job->mediaComplete();
    });
}

void BatchDriver::addSlot()
{
    Slot slot;
    slot.runner = std::make_unique<EncoderRunner>(m_tasks);
    slot.runner->setRedrawProgress([this](int row) { changed(row); });
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
        kind = outputFailureKind(m_context.outputFolder, reason);
    Task task = m_tasks.get(index);
    task.failed = 1;
    task.finished = 0;
    task.failureReason = reason.isEmpty() ? tr("The conversion failed") : reason;
    task.failureKind = kind == FailureKind::None ? FailureKind::Other : kind;
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

void BatchDriver::startConverting(Scope scope, const QString& outputFolder)
{
    if (m_converting)
        return;
    QSet<int> taken;
    for (int i = 0; i < m_tasks.size(); ++i) {
        if (scope == Scope::All || !isConverted(m_tasks.get(i)))
            taken.insert(i);
    }
    const int total = int(taken.size());
    if (total < 1)
        return;
    m_media.StopConversion();
    if (outputFolder.isEmpty()) {
        message(QStringLiteral("Please set the output directory firstly"), QStringLiteral("Error"));
        return;
    }
    m_context.outputFolder = outputFolder;
    if (m_context.appFolder.isEmpty())
        m_context.appFolder = appFolder();
    // Slots are added only while idle: the running ones are referred to by reference.
    while (int(m_slots.size()) < m_jobs)
        addSlot();
    for (Slot& slot : m_slots)
        slot.runner->setWorkingDirectory(m_context.appFolder);
    // Half files that a killed run left under their working names go before new ones come.
    removeLeftoverOutputs(outputFolder);

    m_inBatch = taken;
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
    m_changed.clear();
    m_next = 0;
    m_takenAhead.clear();
    startNextTask();
}

TaskState BatchDriver::taskState(int index) const
{
    if (!m_tasks.isValidIndex(index))
        return TaskState::New;
    for (const Slot& slot : m_slots) {
        if (slot.index != index || !slot.job || slot.job->step() == BatchJob::Step::Idle)
            continue;
        return slot.job->step() == BatchJob::Step::PreConverting ? TaskState::PreConverting
                                                                 : TaskState::Converting;
    }
    const Task task = m_tasks.get(index);
    const bool inBatch = m_converting && !(m_skipConverted && isConverted(task));
    if (inBatch && index >= m_next && !m_takenAhead.contains(index))
        return TaskState::Waiting;
    return ::taskState(task);
}

BatchProgress BatchDriver::progress(uint32_t now) const
{
    return batchProgress(
        m_tasks, [this](int index) { return inBatch(index); },
        [this](int index) { return taskState(index); }, m_batch.wmvClock(now),
        m_batch.wmvStartTick);
}

bool BatchDriver::needsMedia(int index) const
{
    const Task task = m_tasks.get(index);
    return task.exportType != 0 || task.isRealMedia == 1;
}

BatchJob* BatchDriver::mediaJob() const
{
    for (const Slot& slot : m_slots) {
        if (slot.job && slot.job->holdsMedia())
            return slot.job;
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
    // Not deleted here: the job may be on its way out of the handler that ended it.
    if (slot.job) {
        slot.job->disconnect(this);
        slot.job->deleteLater();
    }
    slot.job = nullptr;
    slot.index = -1;
}

QSet<QString> BatchDriver::takenNames(const BatchJob& asking) const
{
    QSet<QString> taken;
    for (const Slot& slot : m_slots) {
        if (slot.job && slot.job != &asking && !slot.job->outputPath().isEmpty())
            taken.insert(slot.job->outputPath());
    }
    return taken;
}

int BatchDriver::takeNextTask()
{
    const bool mediaBusy = mediaJob() != nullptr;
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

BatchJob* BatchDriver::makeJob(EncoderRunner& runner, int index)
{
    const Task task = m_tasks.get(index);
    BatchJob* job = nullptr;
    if (task.exportType != 0)
        job = new WmvJob(m_context, index, this);
    else if (task.isRealMedia == 1)
        job = new RealMediaJob(m_context, index, runner, this);
    else
        job = new EncoderJob(m_context, index, runner, this);
    connect(job, &BatchJob::changed, this, &BatchDriver::taskChanged);
    connect(job, &BatchJob::outputChosen, this,
            [this](int task, const QString& path) { m_outputs.insert(task, path); });
    connect(job, &BatchJob::mediaReleased, this, &BatchDriver::startNextTask);
    connect(job, &BatchJob::finished, this,
            [this, job](const BatchJob::Result& result) { onJobFinished(*job, result); });
    return job;
}

void BatchDriver::startNextTask()
{
    // Tasks that end at once (a source that cannot be read) are passed over here; the
    // others end in the handler of the event that finishes them, which comes back here.
    if (m_starting)
        return;
    m_starting = true;
    while (m_converting) {
        Slot* slot = findFreeSlot();
        const int index = slot ? takeNextTask() : -1;
        if (index < 0)
            break;
        slot->index = index;
        emit taskStarted(index);
        if (!m_converting)
            break; // stopped from taskStarted: the Task ended as stopped, nothing starts
        slot->job = makeJob(*slot->runner, index);
        slot->job->start();
    }
    m_starting = false;
    if (m_converting && !anySlotBusy())
        endBatch();
}

void BatchDriver::onJobFinished(const BatchJob& job, const BatchJob::Result& result)
{
    const auto slot = std::find_if(m_slots.begin(), m_slots.end(),
                                   [&job](const Slot& s) { return s.job == &job; });
    if (slot == m_slots.end())
        return; // let go at a stop: its Task ended then
    endTask(slot->index, result);
    releaseSlot(*slot);
    startNextTask();
}

void BatchDriver::endTask(int index, const BatchJob::Result& result)
{
    using End = BatchJob::Result::End;
    if (result.end == End::Finished) {
        ++m_summary.finished;
        const Task task = m_tasks.get(index);
        if (!task.change.isEmpty()) {
            QString line = QFileInfo(task.sourcePath).fileName();
            line += QStringLiteral(": ");
            line += QString(task.change).replace(u'\n', QStringLiteral("; "));
            m_changed << line;
        }
    } else if (result.end == End::Failed) {
        markFailed(index, result.kind, result.reason);
        ++m_summary.failed;
    } else {
        Task task = m_tasks.get(index);
        task.stopped = 1;
        m_tasks.set(index, task);
        changed(index);
    }
    emit taskEnded(index, result.end);
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
    QString text = summaryText(m_summary, true);
    // A file made with other settings than the user chose is said here, not only in its log.
    if (!m_changed.isEmpty()) {
        constexpr int kListed = 5;
        text += QStringLiteral("\n\n");
        text += tr("Converted with a setting changed:");
        for (const QString& line : m_changed.mid(0, kListed))
            text += u'\n' + line;
        if (m_changed.size() > kListed)
            text += u'\n' + tr("and %n more", nullptr, int(m_changed.size()) - kListed);
    }
    if (m_summary.failed > 0)
        message(text, tr("Warning"), BatchHost::MessageIcon::Warning);
    else
        message(text, QStringLiteral("Information"));
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
    if (slot.job)
        slot.job->stop();
    releaseSlot(slot);
    if (m_tasks.isValidIndex(index))
        endTask(index, {BatchJob::Result::End::Stopped, FailureKind::None, QString()});
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
