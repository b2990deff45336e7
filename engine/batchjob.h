#pragma once

#include "engine/batchstate.h"
#include "engine/mediacomponent.h"
#include "engine/task.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class BatchJob;

// What the jobs of one batch share: the list, the media component, the batch's clock,
// its folders, and the output names of the other jobs running beside them.
struct JobContext
{
    TaskList& tasks;
    MediaConverter& media;
    BatchState& batch;
    QString outputFolder;
    QString appFolder;
    // The names other running jobs chose: taken, although their files may not exist yet.
    std::function<QSet<QString>(const BatchJob& asking)> takenNames;
};

// The conversion of one Task along its route, from start() to finished(). Like the
// batch around it, a job never waits: the encoder's and the media component's signals
// move it on. A job that needs the media component is handed the component's events
// while its turn lasts (holdsMedia()).
class BatchJob : public QObject
{
    Q_OBJECT
public:
    enum class Step
    {
        Idle,
        PreConverting,
        Encoding,
        ConvertingWmv
    };
    // How a job ended. A failure says why; the batch writes it on the Task.
    struct Result
    {
        enum class End
        {
            Finished,
            Failed,
            Stopped
        };
        End end = End::Finished;
        FailureKind kind = FailureKind::None;
        QString reason;
    };
    // How many names are tried when other runs keep taking the chosen one first.
    static constexpr int kNameAttempts = 100;

    BatchJob(JobContext& context, int taskIndex, QObject* parent = nullptr);

    int taskIndex() const { return m_index; }
    virtual Step step() const { return m_step; }
    // The job's turn on the media component lasts while it pre-converts or converts WMV.
    bool holdsMedia() const
    {
        return step() == Step::PreConverting || step() == Step::ConvertingWmv;
    }
    // The file the job writes, from the moment its name was chosen.
    virtual QString outputPath() const { return m_outputPath; }

    // Returns at once; finished() follows, before this returns when the Task ends at once
    // (a source that cannot be read, a conversion that cannot start).
    virtual void start() = 0;
    // Ends what runs at once. No finished() follows: the Task ends as stopped.
    virtual void stop() = 0;
    // The media component's events, while the job holds its turn.
    virtual void mediaProgress(double /*position*/, double /*total*/) {}
    virtual void mediaComplete() {}

signals:
    // The Task's progress, state or output name changed.
    void changed(int index);
    void outputChosen(int index, const QString& path);
    // The job is done with the media component but goes on without it.
    void mediaReleased();
    void finished(const BatchJob::Result& result);

protected:
    // Fails the job when the source cannot be read or the trimmed span is empty.
    bool checkSource();
    void setOutputPath(const QString& path);
    void fail(FailureKind kind, const QString& reason);
    // Fails a conversion run that broke off. When the output folder went meanwhile, or
    // cannot be written, or its disk is full, that is the cause the Task is given, as
    // the Tasks after it are: what the run itself saw ("no output file") followed from it.
    void failRun(FailureKind kind, const QString& reason);
    void end(Result::End how) { emit finished(Result{how, FailureKind::None, QString()}); }
    // Marks the Task finished (`mark` sets the route's own field), with a warning when
    // less than was asked for was converted.
    void finish(const std::function<void(Task&)>& mark, double converted, double asked);
    Task task() const { return m_context.tasks.get(m_index); }

    JobContext& m_context;
    const int m_index;
    Step m_step = Step::Idle;
    QString m_outputPath;
};
