#pragma once

#include "engine/task.h"

#include <QString>

class MediaConverter;

// Why a source cannot be converted, in a user's words, from what the file system says
// alone: missing, a folder, a pipe or device, unreadable, empty, or a name that is not
// valid UTF-8. Empty when the file may be read; whether it holds media is the media
// component's to say.
QString sourceFileProblem(const QString& path);

struct SourceVerdict
{
    QString problem; // in a user's words; empty when the file can be converted
    FailureKind kind = FailureKind::None;
    bool ok() const { return problem.isEmpty(); }
};

// Whether a file can be converted: the one answer, asked when a file is added and again
// before its conversion. What the file system says (sourceFileProblem), then whether the
// media component decodes a picture or sound in it, then whether its length can be read,
// for a trim needs one.
SourceVerdict checkSource(const QString& path, MediaConverter& media);

// Marks a Task whose source is gone as failed, with the reason its conversion would give;
// false when it was marked so already.
bool markSourceMissing(Task& task);
// Takes that mark off a Task whose source is back; false when it had none.
bool clearSourceMissing(Task& task);
