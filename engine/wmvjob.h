#pragma once

#include "engine/batchjob.h"

// A WMV Task through the media component, which converts one file at a time: the job
// holds the component's turn from start() to its end.
class WmvJob : public BatchJob
{
    Q_OBJECT
public:
    using BatchJob::BatchJob;

    void start() override;
    void stop() override;
    void mediaProgress(double position, double total) override;
    void mediaComplete() override;

private:
    bool convertToFreeName(const QString& stem, QString& path);

    // The component's last report, in seconds: how far it got, of how much.
    double m_converted = 0.0;
    double m_length = 0.0;
};
