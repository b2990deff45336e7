#pragma once

#include "engine/task.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>

#include <memory>

class QLockFile;

// The Task list kept between runs, as JSON in the user's data folder.

// $XDG_DATA_HOME/trelvo-converter/tasks.json (~/.local/share when unset).
QString userTaskListPath();

// Writes the list whole to a temporary file beside `path` and renames it over `path`,
// so that a crash leaves either the old file or the new one, never half of one.
// False with `error` set when the file could not be written; the old file is then kept.
bool saveTaskList(const TaskList& tasks, const QString& path, QString* error = nullptr);

struct TaskListLoad
{
    TaskList tasks;
    bool ok = true; // false: the file exists but cannot be read as a Task list
    QString error;  // why, when !ok
};

// Reads a list that saveTaskList wrote. A missing file is an empty list, not an error.
// Values are clamped into their ranges; a file too large, not JSON or of another shape
// is an error. A conversion that was running when the list was saved counts as stopped.
TaskListLoad loadTaskList(const QString& path);

struct TaskListRestore
{
    TaskList tasks;
    QString message; // for the user: the list could not be read and was set aside
};

// Loads the list for the start of the program. A damaged file is renamed to
// "<path>.damaged-<yyyyMMdd-hhmmss>" and an empty list is returned with a message.
// Tasks whose source is gone are marked as failed with the source missing.
TaskListRestore restoreTaskList(const QString& path);

// Limits of what a list file may hold.
constexpr qint64 kTaskListFileLimit = 16 * 1024 * 1024;
constexpr int kTaskListTaskLimit = 10000;

// Keeps a Task list in its file while the program runs: a change is looked for every
// half second and the list written whole when there is one. While `busy` says so (a
// batch, whose progress changes the Tasks many times a second) it is written at most
// every five seconds. Lives on the thread that changes the list.
class BatchDriver;

class TaskListKeeper
{
public:
    TaskListKeeper(TaskList& tasks, QString path);

    // Replaces the Tasks with those of the file (restoreTaskList) and starts keeping
    // them. Returns the message for the user, empty when the file could be read.
    QString restore(std::function<bool()> busy = {});
    // Writes the list now if it changed since it was last written. A failure is logged
    // once; the next change tries again.
    void saveIfChanged();
    // Also saves when a batch starts and whenever one of its Tasks ends: during a batch
    // the list is otherwise written at most every few seconds, and a crash in between
    // must not lose the files just added or the state of those just converted.
    void attach(BatchDriver& driver);

private:
    TaskList& m_tasks;
    QString m_path;
    std::function<bool()> m_busy;
    QTimer m_timer;
    quint64 m_savedChanges = 0;
    QElapsedTimer m_lastSave;
};

// Claims the list at `path` for one window, as "<path>.lock", held until the result is
// destroyed: two windows never both write the list. Null when another running program
// holds it; a lock left by a program that is gone is taken over.
std::unique_ptr<QLockFile> lockTaskList(const QString& path);
