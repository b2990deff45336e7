#include "media/conversionworker.h"

#include "media/segmenttranscoder.h"

ConversionOutcome transcode(const ConversionJob& job, const std::atomic<bool>& cancel,
                            const std::function<void(double position, double total)>& progress)
{
    using media::Transcoder;
    Transcoder transcoder(job, cancel, progress);
    const Transcoder::Result result =
        cancel.load() ? Transcoder::Result::Cancelled : transcoder.run();
    return {result == Transcoder::Result::Cancelled, transcoder.error(), transcoder.failureKind()};
} // an output that is not kept is gone before anyone hears of the end

void ConversionWorker::convert(quint64 generation, const ConversionJob& job,
                               const std::shared_ptr<std::atomic<bool>>& cancel)
{
    const ConversionOutcome outcome = m_run(job, *cancel, [&](double position, double total) {
        emit progress(generation, position, total);
    });
    emit finished(generation, outcome.error, int(outcome.kind), outcome.cancelled);
}
