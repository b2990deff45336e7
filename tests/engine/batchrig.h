#pragma once

// A batch driver on stand-in encoders and a stand-in media component, with helpers to
// add Tasks, run a batch to its end and read a row's progress text.

#include "common/fakemedia.h"
#include "engine/batchdriver.h"
#include "engine/progressdisplay.h"
#include "engine/standins.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>

struct BatchRig
{
    StandInApp app;
    TaskList tasks;
    BatchState batch;
    FakeMedia media;
    RecordingHost host;
    FakePower power;
    BatchDriver driver{tasks, batch, media.converter, host, power};
    QString folder;                         // the output folder Start is given
    std::function<void(int row)> onChanged; // each taskChanged()

    BatchRig()
    {
        folder = app.out();
        media.completeAfterMs = 40; // after a progress report
        driver.setAppFolder(app.app());
        QObject::connect(&driver, &BatchDriver::taskChanged, [this](int row) {
            if (onChanged)
                onChanged(row);
        });
    }
    // Start returns at once; the batch moves on from the encoder's and the component's
    // signals. Turns the event loop until it has ended.
    void run()
    {
        driver.startConverting(folder);
        QElapsedTimer timer;
        timer.start();
        while (driver.converting() && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    // A source file for the stand-ins: they read nothing, but it must exist.
    QString source(const QString& fileName)
    {
        QDir().mkpath(app.path("v"));
        QFile f(app.path("v/" + fileName));
        f.open(QIODevice::WriteOnly);
        f.write("stand-in source");
        return f.fileName();
    }
    void addMp4(const QString& name, int profile = 0)
    {
        Task t = makeTask(source(name + ".avi"), 10, 0, 0);
        t.mp4Profile = profile;
        tasks.add(t);
    }
    void addWmv(const QString& name) { tasks.add(makeTask(source(name + ".avi"), 10, 1, 0)); }
    QString progress(int row) { return taskProgress(tasks.get(row), 0, 0).text; }
};
