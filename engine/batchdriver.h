#pragma once

#include "engine/batchhost.h"
#include "engine/batchjob.h"
#include "engine/batchprogress.h"
#include "engine/batchstate.h"
#include "engine/encoderrunner.h"
#include "engine/mediacomponent.h"
#include "engine/progressdisplay.h"
#include "engine/task.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <memory>
#include <vector>

// Converts the whole Task list in order when the user presses Start. Each Task runs as
// a job of its route: MP4 Tasks through the encoder (EncoderJob; RealMediaJob for a
// RealMedia source, pre-converted by the media component first), WMV Tasks through the
// media component (WmvJob). All on the user-interface thread: Start sets the batch up and
// returns; the encoder's and the component's own signals, and Stop, move the jobs on.
// Nothing waits.
//
// The driver keeps the queue: up to jobs() Tasks run at once, each in a slot of its own
// with its own encoder. The media component converts one file at a time, so WMV Tasks
// and RealMedia pre-conversions take turns on it beside the encoder runs; a Task that
// needs it while it is busy lets the Tasks after it go first.
class BatchDriver : public QObject
{
    Q_OBJECT
public:
    using TaskResult = BatchJob::Result::End;
    struct Summary
    {
        int total = 0; // Tasks in the batch
        int finished = 0;
        int failed = 0;
        bool stopped = false; // ended by Stop
    };
    // What the end of a batch says: "Converting Finished" when every Task finished,
    // otherwise the counts, and whether Stop ended it. `counts` adds them always.
    static QString summaryText(const Summary& summary, bool counts = false);

    BatchDriver(TaskList& tasks, BatchState& batch, MediaConverter& media, BatchHost& host,
                PowerControl& power, QObject* parent = nullptr);

    void setAppFolder(const QString& folder) { m_context.appFolder = folder; }
    // How many Tasks run at once (at least 1); takes effect at the next Start.
    void setJobs(int jobs);
    int jobs() const { return m_jobs; }

    bool converting() const { return m_converting; }
    // Where the Task stands: Waiting while the running batch has yet to take it, and
    // PreConverting or Converting from the moment its slot begins it.
    TaskState taskState(int index) const;
    bool stoppedByUser() const { return m_batch.stopFlag; }
    // The first slot's runner: the only one while one Task runs at a time.
    EncoderRunner& runner() { return *m_slots.front().runner; }
    // Encoders of all slots still running, those let go after a stop included.
    int runningEncoders() const;
    // Asks every encoder left to finish and blocks until none runs; for closing.
    void waitForEncoders();
    // True when the running batch converts the Task (Start's scope took it).
    bool inBatch(int index) const { return m_converting && m_inBatch.contains(index); }
    // How far the running batch has come as a whole; no Tasks while none runs.
    BatchProgress progress(uint32_t now) const;
    // The output each Task of the last batch was given, by Task index.
    QString outputOf(int index) const { return m_outputs.value(index); }

    // Which Tasks a batch converts: all (what Start does), or only those that are not
    // converted already (new, failed, stopped, or edited since they finished).
    enum class Scope
    {
        All,
        Unconverted
    };
    // Converts into `outputFolder`, as shown to the user; an empty one is refused.
    void startConverting(Scope scope, const QString& outputFolder);
    void startConverting(const QString& outputFolder) { startConverting(Scope::All, outputFolder); }
    void stopConverting();
    void shutDownComputer();

signals:
    // The Task's progress, state or output name changed.
    void taskChanged(int index);
    void batchStarted();
    void taskStarted(int index);
    // An encoder's run for the Task: its command line, then what it prints.
    void encoderStarted(int index, const QString& commandLine);
    void encoderOutput(int index, const QByteArray& bytes);
    void taskEnded(int index, BatchDriver::TaskResult result);
    // After the converting flag was cleared, before the closing message or shutdown.
    void batchEnded(const BatchDriver::Summary& summary);
    // No encoder of any slot is left running (after a stop let them go too).
    void allEncodersEnded();

private:
    // Where one Task at a time runs: its encoder stays when the job ends, as encoders
    // let go at a stop finish their files on it.
    struct Slot
    {
        std::unique_ptr<EncoderRunner> runner;
        BatchJob* job = nullptr;
        int index = -1; // the Task, -1 while the slot is free
    };

    void addSlot();
    void startNextTask();
    int takeNextTask();
    // The job of the Task's route, on the slot's encoder where it needs one.
    BatchJob* makeJob(EncoderRunner& runner, int index);
    bool needsMedia(int index) const;
    BatchJob* mediaJob() const;
    Slot* findFreeSlot();
    bool anySlotBusy() const;
    void releaseSlot(Slot& slot);
    QSet<QString> takenNames(const BatchJob& asking) const;
    void onJobFinished(const BatchJob& job, const BatchJob::Result& result);
    void stopSlot(Slot& slot);
    void endTask(int index, const BatchJob::Result& result);
    void endBatch();
    void markFailed(int index, FailureKind kind, const QString& reason);
    void changed(int index) { emit taskChanged(index); }
    void message(const QString& text, const QString& caption,
                 BatchHost::MessageIcon icon = BatchHost::MessageIcon::None);

    TaskList& m_tasks;
    BatchState& m_batch;
    MediaConverter& m_media;
    BatchHost& m_host;
    PowerControl& m_power;
    JobContext m_context;      // the running batch's folders
    std::vector<Slot> m_slots; // never fewer than m_jobs; runners outlive a smaller count
    int m_jobs = 1;
    QHash<int, QString> m_outputs;
    bool m_converting = false;
    bool m_starting = false; // in startNextTask(): a job that ends at once does not re-enter
    int m_next = 0;          // every Task before this one was taken
    QSet<int> m_takenAhead;  // Tasks after m_next taken while a media Task waited
    bool m_skipConverted = false;
    QSet<int> m_inBatch; // the Tasks Start's scope took
    Summary m_summary;
    QStringList m_changed; // "source: change" of the Tasks this batch finished otherwise
};
