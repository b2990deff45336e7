#pragma once

#include "batchhost.h"
#include "batchstate.h"
#include "encoderrunner.h"
#include "mediacomponent.h"
#include "preconversion.h"
#include "progressdisplay.h"
#include "task.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <memory>
#include <vector>

// Converts the whole Task list in order when the user presses Start: MP4 Tasks through
// the encoder (RealMedia sources pre-converted by the media component first), WMV Tasks
// through the media component. A state machine on the user-interface thread: Start sets
// the batch up and returns; the encoder's and the component's own signals, and Stop,
// move it on from one step to the next. Nothing waits.
//
// Up to jobs() Tasks run at once, each in a slot of its own with its own encoder. The
// media component converts one file at a time, so WMV Tasks and RealMedia
// pre-conversions take turns on it beside the encoder runs; a Task that needs it while
// it is busy lets the Tasks after it go first.
class BatchDriver : public QObject
{
    Q_OBJECT
public:
    enum class TaskResult
    {
        Finished,
        Failed,
        Stopped
    };
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

    void setAppFolder(const QString& folder) { m_appFolder = folder; }
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
    // The output path of the Task started last.
    QString outputPath() const { return m_outputPath; }
    // The output each Task of the last batch was given, by Task index.
    QString outputOf(int index) const { return m_outputs.value(index); }

    // Which Tasks a batch converts: all (what Start does), or only those that are not
    // converted already (new, failed, stopped, or edited since they finished).
    enum class Scope
    {
        All,
        Unconverted
    };
    void startConverting() { startConverting(Scope::All); }
    void startConverting(Scope scope);
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
    enum class Step
    {
        Idle,
        PreConverting,
        Encoding,
        ConvertingWmv
    };
    // How many names are tried when other runs keep taking the chosen one first.
    static constexpr int kNameAttempts = 100;

    // One Task at work: its encoder, or its turn on the media component.
    struct Slot
    {
        std::unique_ptr<EncoderRunner> runner;
        Step step = Step::Idle;
        int index = -1; // the Task, -1 while the slot is free
        int nameAttempt = 0;
        QString outputPath;
        QSet<QString> refused; // names the encoder found taken for this Task
        // The media component's last report, in seconds: how far it got, of how much.
        double converted = 0.0;
        double length = 0.0;
    };

    void addSlot();
    void startNextTask();
    int takeNextTask();
    bool needsMedia(int index) const;
    Slot* mediaSlot();
    Slot* findFreeSlot();
    bool anySlotBusy() const;
    void releaseSlot(Slot& slot);
    QSet<QString> reservedOutputs(const Slot& except) const;
    bool beginWmv(Slot& slot, int index);
    bool beginMp4(Slot& slot, int index);
    bool beginEncoder(Slot& slot, int index);
    void onEncoderEnded(int slotNumber, const EncoderRunner::Result& result);
    void onConversionProgress(double position, double total);
    void onConversionComplete();
    void stopSlot(Slot& slot);
    void endTask(int index, TaskResult result);
    void endBatch();
    bool checkSource(int index);
    void warnWhenShort(int index, double converted, double asked);
    void markFailed(int index, FailureKind kind, const QString& reason);
    void setOutputPath(Slot& slot, int index, const QString& path);
    void changed(int index) { emit taskChanged(index); }
    void message(const QString& text, const QString& caption,
                 BatchHost::MessageIcon icon = BatchHost::MessageIcon::None);

    TaskList& m_tasks;
    BatchState& m_batch;
    MediaConverter& m_media;
    BatchHost& m_host;
    PowerControl& m_power;
    std::vector<Slot> m_slots; // never fewer than m_jobs; runners outlive a smaller count
    int m_jobs = 1;
    PreConversion m_preConversion;
    QString m_appFolder;
    QString m_outputPath;
    QHash<int, QString> m_outputs;
    bool m_converting = false;
    int m_next = 0;         // every Task before this one was taken
    QSet<int> m_takenAhead; // Tasks after m_next taken while a media Task waited
    bool m_skipConverted = false;
    Summary m_summary;
};
