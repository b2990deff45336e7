#pragma once

#include "engine/task.h"

#include <QString>

// What stands in the way of writing into the output folder, looked at before a batch:
// OutputMissing when it is gone, OutputReadOnly when this user cannot write into it,
// None when nothing does.
FailureKind outputFolderProblem(const QString& folder);

// The class of a failure to write into `folder`: the folder's state first, then the
// system's own words in `reason` ("No space left on device"). OutputUnwritable when
// neither tells more.
FailureKind outputFailureKind(const QString& folder, const QString& reason);
