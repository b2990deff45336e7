#include "conversionworker.h"

#include "transcoder.h"

#include <chrono>

void ConversionControl::finish()
{
    std::lock_guard lock(mutex);
    busy = false;
    idle.notify_all();
}

bool ConversionControl::waitIdle(int milliseconds)
{
    std::unique_lock lock(mutex);
    return idle.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return !busy; });
}

void ConversionWorker::convert(quint64 generation, const ConversionJob& job,
                               const std::shared_ptr<ConversionControl>& control)
{
    using media::Transcoder;
    Transcoder::Result result = Transcoder::Result::Cancelled;
    QString error;
    FailureKind kind = FailureKind::None;
    {
        Transcoder transcoder(job, control->cancel, [&](double position, double total) {
            emit progress(generation, position, total);
        });
        if (!control->cancel.load())
            result = transcoder.run();
        error = transcoder.error();
        kind = transcoder.failureKind();
    } // an output that is not kept is gone before anyone hears of the end
    control->finish();
    emit finished(generation, error, int(kind), result == Transcoder::Result::Cancelled);
}
