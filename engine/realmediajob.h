#pragma once

#include "engine/batchjob.h"
#include "engine/encoderjob.h"
#include "engine/preconversion.h"

// An MP4 Task from a RealMedia source: the encoder does not read RealMedia, so the
// media component first writes the trimmed segment into an intermediate file (its
// turn on the component lasts that long), then an encoder job converts that file. The
// intermediate file is ours and goes once the encoder is done with it, however it ended.
class RealMediaJob : public BatchJob
{
    Q_OBJECT
public:
    RealMediaJob(JobContext& context, int taskIndex, EncoderRunner& runner,
                 QObject* parent = nullptr);

    Step step() const override;
    QString outputPath() const override;
    void start() override;
    void stop() override;
    void mediaProgress(double position, double total) override;
    void mediaComplete() override;

private:
    void startEncoder();
    void removeIntermediate();

    PreConversion m_preConversion;
    EncoderRunner& m_runner;
    EncoderJob* m_encoder = nullptr; // from the end of the pre-conversion
};
