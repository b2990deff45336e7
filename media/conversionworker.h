#pragma once

#include "conversionjob.h"
#include "task.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

// Shared between the component and the worker of one conversion: the component sets
// `cancel` and waits until the worker is no longer busy.
struct ConversionControl
{
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable idle;
    bool busy = true;

    void finish();
    // True when the worker finished within the time.
    bool waitIdle(int milliseconds);
};

// Lives on the conversion thread; runs one conversion at a time. Its signals carry the
// generation they belong to, so that the component can drop those of a stopped one.
class ConversionWorker : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    void convert(quint64 generation, const ConversionJob& job,
                 const std::shared_ptr<ConversionControl>& control);

signals:
    void progress(quint64 generation, double position, double total);
    // `error` is empty after a success.
    // `kind` is a FailureKind.
    void finished(quint64 generation, const QString& error, int kind, bool cancelled);
};
