#pragma once

// A Task list for pre-conversions, and a run of one the way the batch driver does it.

#include "engine/batchstate.h"
#include "engine/mediacomponent.h"
#include "engine/preconversion.h"
#include "engine/task.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QVector>

struct PreConversionRig
{
    TaskList tasks;
    QVector<int> redrawn;

    // The component's events are handed to the pre-conversion until the component says
    // it has finished.
    bool preConvert(PreConversion& pre, MediaConverter& media, int index)
    {
        QObject scope;
        bool done = false;
        QObject::connect(&media, &MediaConverter::ConversionProgress, &scope,
                         [&](double position, double total) {
                             pre.onConversionProgress(position, total);
                             redrawn << index;
                         });
        QObject::connect(&media, &MediaConverter::ConversionComplete, &scope, [&] {
            pre.onConversionComplete();
            done = true;
        });
        if (!pre.start(index))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (!done && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done;
    }

    int addTask(const QString& source, double start, double end, int exportType = 0)
    {
        Task task = makeTask(source, end, exportType, 0);
        task.startTime = start;
        task.endTime = end;
        return tasks.add(task);
    }
};
