#pragma once

#include "engine/batchjob.h"
#include "engine/encoderrunner.h"

// An MP4 Task through our encoder, on the runner of the slot it runs in. When another
// run takes the chosen output name between our look and the encoder's creation of the
// file, the encoder refuses it and the next free name is tried.
class EncoderJob : public BatchJob
{
    Q_OBJECT
public:
    EncoderJob(JobContext& context, int taskIndex, EncoderRunner& runner,
               QObject* parent = nullptr);

    // Checks the source, then runs the encoder.
    void start() override;
    // The encoder finishes its file on its own; the batch does not wait for it.
    void stop() override;
    // Runs the encoder on a source checked already (a RealMedia source's intermediate file).
    void startEncoder();

private:
    void runEncoder();
    void onRunEnded(const EncoderRunner::Result& result);
    void release();

    EncoderRunner& m_runner;
    QMetaObject::Connection m_runEnded;
    int m_nameAttempt = 0;
    QSet<QString> m_refused; // names the encoder found taken for this Task
};
