#pragma once

#include <QThread>
#include <memory>

// A thread that is asked to quit and waited for when its owner goes away.
struct WorkerThreadStopper
{
    void operator()(QThread* thread) const
    {
        thread->quit();
        thread->wait();
        delete thread;
    }
};
using WorkerThreadPtr = std::unique_ptr<QThread, WorkerThreadStopper>;

inline WorkerThreadPtr startWorkerThread(QObject* worker, const char* name)
{
    WorkerThreadPtr thread(new QThread);
    thread->setObjectName(QString::fromLatin1(name));
    worker->moveToThread(thread.get());
    thread->start();
    return thread;
}
