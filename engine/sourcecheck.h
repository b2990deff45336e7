#pragma once

#include <QString>

// Why a source cannot be converted, in a user's words, from what the file system says
// alone: missing, a folder, a pipe or device, unreadable, empty, or a name that is not
// valid UTF-8. Empty when the file may be read; whether it holds media is the media
// component's to say.
QString sourceFileProblem(const QString& path);
