#pragma once

#include "engine/task.h"
#include "media/conversionjob.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

// How one conversion ended.
struct ConversionOutcome
{
    bool cancelled = false;
    QString error; // empty after a success
    FailureKind kind = FailureKind::None;
};

// The work of one conversion, on the conversion thread: it reports through `progress`,
// looks at `cancel` as often as it can, and has let go of the job's output when it
// returns.
using ConversionRun = std::function<ConversionOutcome(
    const ConversionJob& job, const std::atomic<bool>& cancel,
    const std::function<void(double position, double total)>& progress)>;

// The conversion on the FFmpeg libraries.
ConversionOutcome transcode(const ConversionJob& job, const std::atomic<bool>& cancel,
                            const std::function<void(double position, double total)>& progress);

// Lives on the conversion thread and runs the conversions it is handed one after the
// other, so that a conversion asked for after a stop waits for the stopped one. Its
// signals carry the generation they belong to, so that the component can drop those of
// a stopped one.
class ConversionWorker : public QObject
{
    Q_OBJECT
public:
    explicit ConversionWorker(ConversionRun run = transcode) : m_run(std::move(run)) {}
    void convert(quint64 generation, const ConversionJob& job,
                 const std::shared_ptr<std::atomic<bool>>& cancel);

signals:
    void progress(quint64 generation, double position, double total);
    // `error` is empty after a success.
    // `kind` is a FailureKind.
    void finished(quint64 generation, const QString& error, int kind, bool cancelled);

private:
    ConversionRun m_run;
};
