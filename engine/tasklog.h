#pragma once

#include "engine/task.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class BatchDriver;

// A log file per conversion run: what was run (the expanded command line) and all that
// the encoder printed, so that a failure can be looked into afterwards. Fed from the
// batch driver's signals; the file's path goes into the Task (logPath).
class TaskLog : public QObject
{
    Q_OBJECT
public:
    static constexpr int kKeptLogs = 200;

    // `folder` empty: userLogFolder().
    explicit TaskLog(TaskList& tasks, const QString& folder = {}, QObject* parent = nullptr);
    ~TaskLog() override;

    // $XDG_STATE_HOME/trelvo-converter/logs (~/.local/state when unset).
    static QString userLogFolder();
    QString folder() const { return m_folder; }

    // Logs every Task that the driver runs.
    void attach(BatchDriver& driver);

    void taskStarted(int index);
    void commandLine(int index, const QString& command);
    void output(int index, const QByteArray& bytes);
    void taskEnded(int index, const QString& result);

    // Removes the oldest logs beyond `keep`.
    void prune(int keep = kKeptLogs);

private:
    void write(int index, const QByteArray& bytes);

    TaskList& m_tasks;
    QString m_folder;
    QHash<int, std::shared_ptr<QFile>> m_open;
};
