#pragma once

#include "task.h"

#include <QString>

// Why a source cannot be converted, in a user's words, from what the file system says
// alone: missing, a folder, a pipe or device, unreadable, empty, or a name that is not
// valid UTF-8. Empty when the file may be read; whether it holds media is the media
// component's to say.
QString sourceFileProblem(const QString& path);

// Marks a Task whose source is gone as failed, with the reason its conversion would give;
// false when it was marked so already.
bool markSourceMissing(Task& task);
