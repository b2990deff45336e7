#pragma once

#include "task.h"

#include <QString>

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

// Claims the list at `path` for one window, as "<path>.lock", held until the result is
// destroyed: two windows never both write the list. Null when another running program
// holds it; a lock left by a program that is gone is taken over.
std::unique_ptr<QLockFile> lockTaskList(const QString& path);
